#include "support/temp_tree.h"

#include <atomic>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <system_error>

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/text.h"

namespace cs::test {

namespace fs = std::filesystem;

std::u16string ToU16(const fs::path& path) {
#ifdef _WIN32
    // The engine only ever sees backslashes; "\\?\" paths take no others.
    const std::wstring w = fs::path(path).make_preferred().native();
    return std::u16string(w.begin(), w.end());
#else
    return platform::Utf8ToUtf16Lossless(path.native());
#endif
}

std::string PseudoRandomBytes(uint64_t size, uint32_t seed) {
    std::string out(size, '\0');
    std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ull + 1);
    size_t i = 0;
    while (i + 8 <= size) {
        const uint64_t v = rng();
        for (int k = 0; k < 8; ++k)
            out[i++] = static_cast<char>(v >> (8 * k));
    }
    const uint64_t v = rng();
    for (int k = 0; i < size; ++k)
        out[i++] = static_cast<char>(v >> (8 * k));
    return out;
}

TempTree::TempTree() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate =
            base / ("cs-test-" + std::to_string(rd()) + "-" + std::to_string(counter.fetch_add(1)));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            // The canonical form, so paths the walk builds compare equal to
            // the ones the test builds (temp may be reached through a link).
            root_ = fs::canonical(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempTree::~TempTree() {
    std::error_code ec;
    // Restore permissions so a test that locked something out cannot leave
    // litter behind.
    for (auto it = fs::recursive_directory_iterator(
             root_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::remove_all(root_, ec);
}

std::u16string TempTree::Root16() const {
    return ToU16(root_);
}

fs::path TempTree::Path(std::string_view relative) const {
    return root_ / fs::path(std::u8string(relative.begin(), relative.end()));
}

std::u16string TempTree::Path16(std::string_view relative) const {
    return ToU16(Path(relative).make_preferred());
}

fs::path TempTree::Write(std::string_view relative, std::string_view contents) {
    const fs::path p = Path(relative);
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out)
        throw std::runtime_error("cannot write test file");
    return p;
}

fs::path TempTree::WriteSized(std::string_view relative, uint64_t size, uint32_t seed) {
    return Write(relative, PseudoRandomBytes(size, seed));
}

fs::path TempTree::MakeDir(std::string_view relative) {
    const fs::path p = Path(relative);
    fs::create_directories(p);
    return p;
}

#ifndef _WIN32
namespace {

// Every test process, and every program it starts, gets a home, a data and
// a cache folder of its own, on the file system of the test trees: whatever
// a test sends to the trash or caches lands there, never in the user's, and
// a test that forgets to choose cannot reach the user's. Tests that are
// about HOME, XDG_DATA_HOME or XDG_CACHE_HOME set them for their child.
class PrivateHome : public testing::Environment {
public:
    void SetUp() override {
        home_ = std::make_unique<TempTree>();
        fs::create_directories(home_->Path(".local/share"));
        setenv("HOME", home_->Root().c_str(), 1);
        setenv("XDG_DATA_HOME", home_->Path(".local/share").c_str(), 1);
        setenv("XDG_CACHE_HOME", home_->Path(".cache").c_str(), 1);
    }
    void TearDown() override { home_.reset(); }

private:
    std::unique_ptr<TempTree> home_;
};
testing::Environment* const privateHome = testing::AddGlobalTestEnvironment(new PrivateHome);

}  // namespace
#else
namespace {

// The same for the cache of the Windows build: every program a test
// starts finds a LOCALAPPDATA of this process's own.
class PrivateLocalAppData : public testing::Environment {
public:
    void SetUp() override {
        folder_ = std::make_unique<TempTree>();
        SetEnvironmentVariableW(L"LOCALAPPDATA", folder_->Root().c_str());
    }
    void TearDown() override { folder_.reset(); }

private:
    std::unique_ptr<TempTree> folder_;
};
testing::Environment* const privateLocalAppData =
    testing::AddGlobalTestEnvironment(new PrivateLocalAppData);

}  // namespace
#endif

}  // namespace cs::test
