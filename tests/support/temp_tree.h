// A scratch folder tree for tests, removed (permissions restored first) when
// the owner goes out of scope. Paths are handed to the engine in its own
// UTF-16 form.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace cs::test {

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // The root in the engine's form (no trailing separator).
    std::u16string Root16() const;
    std::filesystem::path Path(std::string_view relative) const;
    std::u16string Path16(std::string_view relative) const;

    // Creates the file (and its folders) with exactly these bytes.
    std::filesystem::path Write(std::string_view relative, std::string_view contents);
    // Creates a file of `size` deterministic pseudo-random bytes from `seed`.
    std::filesystem::path WriteSized(std::string_view relative, uint64_t size, uint32_t seed);
    std::filesystem::path MakeDir(std::string_view relative);

private:
    std::filesystem::path root_;
};

std::u16string ToU16(const std::filesystem::path& path);
// Deterministic pseudo-random bytes (same seed, same bytes).
std::string PseudoRandomBytes(uint64_t size, uint32_t seed);

}  // namespace cs::test
