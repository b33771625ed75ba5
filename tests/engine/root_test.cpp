// The root is what the user named: a link to a folder, trailing or doubled
// separators and dot steps all scan that folder, and every result path
// starts with the one resolved form of it, which removal later walks down.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "engine/scan.h"
#include "platform/text.h"
#include "support/reference_scan.h"
#include "support/temp_tree.h"

namespace cs::engine {
namespace {

namespace fs = std::filesystem;
using test::Describe;
using test::PathList;
using test::TempTree;

TEST(ScanRoot, EveryWayOfNamingTheFolderFindsItsDuplicates) {
    TempTree tree;
    tree.Write("data/a.txt", "the same words");
    tree.Write("data/sub/b.txt", "the same words");
    const std::u16string data = tree.Path16("data");
    const std::u16string sep(1, platform::kPathSeparator);
    std::vector<std::u16string> forms = {data + sep, data + sep + sep, data + sep + u"." + sep,
                                         data + sep + u"sub" + sep + u".."};
#ifndef _WIN32
    fs::create_directory_symlink(tree.Path("data"), tree.Path("link"));
    fs::create_directory_symlink("link", tree.Path("link-to-link"));
    forms.push_back(tree.Path16("link"));
    forms.push_back(tree.Path16("link-to-link") + u"/");
    forms.push_back(test::ToU16("./" / fs::relative(tree.Path("data"), fs::current_path())));
#endif
    for (const std::u16string& given : forms) {
        SCOPED_TRACE(test::Utf8(given));
        ScanOptions o;
        o.rootPath = given;
        o.criteria = CRIT_RECURSIVE | CRIT_EXACT_CONTENTS;
        ScanResults results;
        std::atomic<uint8_t> cancel{0};
        ASSERT_EQ(RunScan(o, results, cancel), ScanOutcome::Completed);
        EXPECT_TRUE(results.rootListed);
        EXPECT_EQ(results.root, data);
        const test::ScanSnapshot s = test::SnapshotOf(results);
        ASSERT_EQ(s.matchGroups.size(), 1u) << Describe(s);
        EXPECT_EQ(s.matchGroups[0],
                  (PathList{tree.Path16("data/a.txt"), tree.Path16("data/sub/b.txt")}));
        EXPECT_EQ(results.folders.count(data), 1u);
        EXPECT_EQ(results.folders.count(tree.Path16("data/sub")), 1u);
        EXPECT_EQ(results.folders.size(), 2u);
    }
}

}  // namespace
}  // namespace cs::engine
