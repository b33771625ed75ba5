// The engine against the plain reference (support/reference_scan): on
// randomised trees and on a tree of large files, for every combination of
// criteria, both must show the same groups in the same order with the same
// members in the same order, the same folder groups and zero-byte files,
// the same list at every rebuild, and end with the same rebuild counters.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/options.h"
#include "support/reference_scan.h"
#include "support/temp_tree.h"

namespace cs::engine {
namespace {

using test::Describe;
using test::DigestCache;
using test::ScanRecord;
using test::TempTree;

constexpr uint64_t MiB = 1024 * 1024;

std::vector<uint32_t> AllCriteria() {
    std::vector<uint32_t> out;
    for (uint32_t size : {0u, 0x004u}) {
        for (uint32_t names : {0u, 0x008u, 0x010u, 0x020u}) {
            for (uint32_t contents : {0u, 0x040u, 0x080u}) {
                for (uint32_t folders : {0u, 0x002u}) {
                    for (uint32_t zero : {0u, 0x100u}) {
                        for (uint32_t recursive : {0u, 0x001u}) {
                            out.push_back(size | names | contents | folders | zero | recursive);
                        }
                    }
                }
            }
        }
    }
    return out;
}

// Compares one scan; returns false (after reporting) when they differ.
bool SameAsReference(const ScanOptions& options, DigestCache& cache, ScanRecord* referenceOut) {
    const ScanRecord engine = test::RunEngineScan(options);
    const ScanRecord reference = test::ReferenceScan(options, cache);
    if (referenceOut)
        *referenceOut = reference;
    const std::string where =
        (testing::Message() << "criteria 0x" << std::hex << options.criteria << " filter \""
                            << test::Utf8(options.extensionFilter) << "\"")
            .GetString();
    bool same = true;
    if (engine.cancelled) {
        ADD_FAILURE() << where << ": the scan reports cancelled";
        same = false;
    }
    if (!(engine.final == reference.final)) {
        ADD_FAILURE() << where << "\n--- engine:\n"
                      << Describe(engine.final) << "--- reference:\n"
                      << Describe(reference.final);
        return false;
    }
    if (engine.atRebuilds.size() != reference.atRebuilds.size()) {
        ADD_FAILURE() << where << ": " << engine.atRebuilds.size() << " rebuilds, reference "
                      << reference.atRebuilds.size();
        same = false;
    } else {
        for (size_t i = 0; i < engine.atRebuilds.size(); ++i) {
            if (!(engine.atRebuilds[i] == reference.atRebuilds[i])) {
                ADD_FAILURE() << where << ": rebuild " << i << " showed\n"
                              << Describe(engine.atRebuilds[i]) << "--- reference:\n"
                              << Describe(reference.atRebuilds[i]);
                same = false;
                break;
            }
        }
    }
    if (engine.refreshCounter != reference.refreshCounter ||
        engine.refreshThreshold != reference.refreshThreshold) {
        ADD_FAILURE() << where << ": counter/threshold " << engine.refreshCounter << "/"
                      << engine.refreshThreshold << ", reference " << reference.refreshCounter
                      << "/" << reference.refreshThreshold;
        same = false;
    }
    return same;
}

// A folded form wide enough that names equal to a case-insensitive file
// system are never created side by side.
std::string FoldForUniqueness(const std::string& utf8) {
    std::u16string s = test::ToU16(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())));
    for (char16_t& c : s) {
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            c += 32;
    }
    return test::Utf8(s);
}

class RandomTree {
public:
    RandomTree(TempTree& tree, uint32_t seed) : tree_(tree), rng_(seed), seed_(seed) {
        Populate("", 0);
    }
    int files() const { return files_; }

private:
    uint32_t Pick(uint32_t n) { return rng_() % n; }

    std::string FileName() {
        static const char* const bases[] = {"x", "IMG", "a.b", "\xC3\xA9t\xC3\xA9"};
        static const char* const markers[] = {"",     "", " - copy", " (2)", " - Copy (3) old",
                                              "-copy"};
        static const char* const exts[] = {".jpg", ".JPG", ".txt", "", ".bin", ".tar.gz", "."};
        if (Pick(15) == 0)
            return Pick(2) ? ".hidden" : ".x.jpg";
        std::string ext = exts[Pick(sizeof exts / sizeof *exts)];
#ifdef _WIN32
        if (ext == ".")
            ext = "";  // Win32 drops a trailing dot
#endif
        return std::string(bases[Pick(sizeof bases / sizeof *bases)]) +
               markers[Pick(sizeof markers / sizeof *markers)] + ext;
    }

    std::string FolderName() {
        static const char* const names[] = {
            "Photos", "photos",   "Photos - old",     "Photos (2) x", "Photos-old",
            "Docs",   "docs (3)", "Docs - copy",      "misc",         "Misc - 2",
            "A",      "a b",      "\xC3\x89t\xC3\xA9"};
        return names[Pick(sizeof names / sizeof *names)];
    }

    // Sizes collide on purpose; variants differ from the base in the last,
    // a middle or the first byte. The larger sizes put the middle byte
    // outside the first and last 4 KiB.
    std::string Contents() {
        if (Pick(10) == 0)
            return "";
        static const uint64_t sizes[] = {1, 7, 100, 5000, 9000, 20000};
        const uint64_t size = sizes[Pick(6)];
        std::string s = test::PseudoRandomBytes(size, static_cast<uint32_t>(size * 31 + seed_ % 3));
        switch (Pick(7)) {
            case 4:
                s.back() = static_cast<char>(s.back() ^ 0x40);
                break;
            case 5:
                s[size / 2] = static_cast<char>(s[size / 2] ^ 0x01);
                break;
            case 6:
                s[0] = static_cast<char>(s[0] ^ 0x10);
                break;
            default:
                break;
        }
        return s;
    }

    void Populate(const std::string& dir, int depth) {
        std::set<std::string> used;
        const uint32_t fileCount = depth == 0 ? 20 + Pick(10) : 4 + Pick(12);
        for (uint32_t i = 0; i < fileCount; ++i) {
            const std::string name = FileName();
            if (!used.insert(FoldForUniqueness(name)).second)
                continue;
            tree_.Write(dir + name, Contents());
            ++files_;
        }
        if (depth >= 3)
            return;
        const uint32_t folders = depth == 0 ? 4 + Pick(3) : 1 + Pick(3);
        for (uint32_t i = 0; i < folders; ++i) {
            const std::string name = FolderName();
            if (!used.insert(FoldForUniqueness(name)).second)
                continue;
            tree_.MakeDir(dir + name);
            Populate(dir + name + "/", depth + 1);
        }
    }

    TempTree& tree_;
    std::mt19937 rng_;
    uint32_t seed_;
    int files_ = 0;
};

TEST(Differential, RandomTreesUnderEveryCriteriaCombination) {
    const std::u16string filters[] = {u"", u"|jpg|txt|", u"||bin|", u"|JPG|gz||"};
    const std::vector<uint32_t> criteria = AllCriteria();
    ASSERT_EQ(criteria.size(), 192u);
    int failures = 0;
    int withGroups = 0, withFolderGroups = 0, withRebuilds = 0, withZeroBytes = 0, scans = 0;
    for (uint32_t seed = 1; seed <= 6 && failures < 5; ++seed) {
        TempTree tree;
        const RandomTree built(tree, seed);
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", " << built.files() << " files");
        DigestCache cache;
        for (size_t i = 0; i < criteria.size() && failures < 5; ++i) {
            ScanOptions o;
            o.rootPath = tree.Root16();
            o.criteria = criteria[i];
            o.extensionFilter = filters[(i + seed) % 4];
            ScanRecord ref;
            if (!SameAsReference(o, cache, &ref))
                ++failures;
            ++scans;
            withGroups += !ref.final.matchGroups.empty();
            withFolderGroups += !ref.final.folderGroups.empty();
            withRebuilds += !ref.atRebuilds.empty();
            withZeroBytes += !ref.final.zeroByteFiles.empty();
        }
    }
    // The trees must actually exercise what is compared.
    if (failures == 0) {
        // Folder groups and zero-byte files can only appear in a quarter
        // and a half of the combinations respectively.
        EXPECT_GT(withGroups, scans * 3 / 5);
        EXPECT_GT(withFolderGroups, scans / 8);
        EXPECT_GT(withRebuilds, scans / 5);
        EXPECT_GT(withZeroBytes, scans / 4);
    }
}

// Large files where the two content criteria part ways: at the head and
// tail boundaries, at the read-chunk size, and across sizes (similar
// contents can match files of different sizes above 2 MiB).
class LargeTree {
public:
    LargeTree() {
        const std::string h5 = test::PseudoRandomBytes(5 * MiB, 501);
        Put("a5.bin", h5);
        Put("big/b5.bin", Flip(h5, 5 * MiB / 2));
        Put("big/c5 - copy.bin", h5);

        const std::string z3 = test::PseudoRandomBytes(3 * MiB, 502);
        Put("z3.bin", z3);
        Put("big/z3.bin", Flip(z3, 3 * MiB - 1));

        const std::string t2 = test::PseudoRandomBytes(2 * MiB, 503);
        Put("t2.dat", t2);
        Put("big/t2 (2).dat", t2);

        const std::string e4p1 = test::PseudoRandomBytes(4 * MiB + 1, 504);
        Put("e4p1.bin", e4p1);
        Put("big/Photos/e4p1.bin", Flip(e4p1, 2 * MiB));  // the byte neither digest covers

        const std::string e4 = test::PseudoRandomBytes(4 * MiB, 505);
        Put("e4.bin", e4);
        Put("big/e4.bin", Flip(e4, 2 * MiB));

        // 2 MiB and 4 MiB files whose first and last 2 MiB agree.
        const std::string h = test::PseudoRandomBytes(2 * MiB, 506);
        Put("twin2.bin", h);
        Put("big/twin4.bin", h + h);

        // 3 MiB and 5 MiB files with equal first and last 2 MiB.
        const std::string tPrime = test::PseudoRandomBytes(MiB, 507);
        Put("mix3.bin", h + tPrime);
        Put("big/mix5.bin", h + test::PseudoRandomBytes(MiB, 508) + h.substr(MiB) + tPrime);

        for (uint64_t size : {MiB / 2 - 1, MiB / 2, MiB / 2 + 1, 2 * MiB - 1, 2 * MiB + 1}) {
            const std::string s = test::PseudoRandomBytes(size, static_cast<uint32_t>(size));
            const std::string n = std::to_string(size);
            Put("chunk" + n + ".bin", s);
            Put("photos/chunk" + n + ".bin", s);
            Put("big/chunk" + n + " (2).bin", Flip(s, size - 1));
        }
        Put("small.txt", "small");
        Put("big/small - copy.txt", "small");
        Put("empty.bin", "");
        Put("big/empty.txt", "");
    }
    TempTree tree;

private:
    void Put(const std::string& rel, const std::string& bytes) { tree.Write(rel, bytes); }
    static std::string Flip(std::string s, uint64_t at) {
        s[at] = static_cast<char>(s[at] ^ 0x5A);
        return s;
    }
};

TEST(Differential, LargeFilesUnderEveryCriteriaCombination) {
    LargeTree large;
    DigestCache cache;
    int failures = 0;
    for (uint32_t criteria : AllCriteria()) {
        ScanOptions o;
        o.rootPath = large.tree.Root16();
        o.criteria = criteria;
        if (!SameAsReference(o, cache, nullptr) && ++failures >= 5)
            break;
    }

    // The tree must tell the criteria apart, or the comparison above proves
    // little: similar contents must group strictly more than exact.
    ScanOptions o;
    o.rootPath = large.tree.Root16();
    auto groupedFiles = [&](uint32_t criteria) {
        o.criteria = criteria | CRIT_RECURSIVE;
        size_t n = 0;
        for (const auto& g : test::ReferenceScan(o, cache).final.matchGroups)
            n += g.size();
        return n;
    };
    const size_t exact = groupedFiles(CRIT_EXACT_CONTENTS);
    const size_t similar = groupedFiles(CRIT_SIMILAR_CONTENTS);
    const size_t similarSameSize = groupedFiles(CRIT_SIMILAR_CONTENTS | CRIT_SAME_SIZE);
    EXPECT_GT(similar, similarSameSize);  // the 2/4 MiB and 3/5 MiB pairs
    EXPECT_GT(similarSameSize, exact);    // the 4 MiB + 1 and 5 MiB pairs
}

// One size, one first and last 4 KiB, many contents: more classes than are
// told apart by comparison, so the later ones go through their digests,
// and copies arrive while the classes they belong to are still being
// founded (several placements of one bucket wait at once).
TEST(Differential, ManyContentsBehindOneSignature) {
    TempTree tree;
    // Large enough that a comparison outlasts a step of the walk.
    const std::string base = test::PseudoRandomBytes(400000, 77);
    constexpr int kClasses = 7;
    for (int i = 0; i < 40; ++i) {
        const int variant = (i * 3) % kClasses;
        std::string bytes = base;
        const size_t at = 390000 - variant * 100;
        if (variant > 0)
            bytes[at] = static_cast<char>(bytes[at] ^ 0x21);
        char name[32];
        std::snprintf(name, sizeof name, "%s/f%02d.bin", i % 2 ? "a" : "b", i);
        tree.Write(name, bytes);
    }
    DigestCache cache;
    int failures = 0;
    for (uint32_t criteria : AllCriteria()) {
        if (!(criteria & (CRIT_EXACT_CONTENTS | CRIT_SIMILAR_CONTENTS)))
            continue;
        ScanOptions o;
        o.rootPath = tree.Root16();
        o.criteria = criteria;
        if (!SameAsReference(o, cache, nullptr) && ++failures >= 3)
            break;
    }
    ScanOptions o;
    o.rootPath = tree.Root16();
    o.criteria = CRIT_EXACT_CONTENTS | CRIT_RECURSIVE;
    EXPECT_EQ(test::ReferenceScan(o, cache).final.matchGroups.size(), size_t{kClasses});
}

}  // namespace
}  // namespace cs::engine
