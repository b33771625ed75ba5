// The walk filter's decisions on single entries: glob edge cases and the
// size, hidden and device rules. The walk's use of them is covered end to
// end by the command-line tests.
#include "engine/walk_filter.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

using cs::engine::EntryFilter;
using cs::engine::GlobMatches;
using cs::engine::WalkFilter;

TEST(Glob, StarStaysInOneNameAndDoubleStarCrossesFolders) {
    const std::u16string sep(1, cs::platform::kPathSeparator);
    const std::u16string abc = u"a" + sep + u"b" + sep + u"c.txt";
    EXPECT_TRUE(GlobMatches(u"*.txt", u"c.txt"));
    EXPECT_FALSE(GlobMatches(u"*.txt", abc));
    EXPECT_FALSE(GlobMatches(u"a/*.txt", abc));
    EXPECT_TRUE(GlobMatches(u"a/*/c.txt", abc));
    EXPECT_TRUE(GlobMatches(u"a/**", abc));
    EXPECT_TRUE(GlobMatches(u"**/c.txt", abc));
    EXPECT_TRUE(GlobMatches(u"a/**/b/c.txt", abc)) << "'**/' also matches no folder";
    EXPECT_FALSE(GlobMatches(u"?", sep));
    EXPECT_TRUE(GlobMatches(u"", u""));
    EXPECT_FALSE(GlobMatches(u"", u"x"));
    EXPECT_TRUE(GlobMatches(u"***", u""));
}

TEST(Glob, SetsRangesNegationAndAnUnclosedBracket) {
    EXPECT_TRUE(GlobMatches(u"[abc]x", u"bx"));
    EXPECT_FALSE(GlobMatches(u"[abc]x", u"dx"));
    EXPECT_TRUE(GlobMatches(u"[!a-c]x", u"dx"));
    EXPECT_FALSE(GlobMatches(u"[!a-c]x", u"bx"));
    EXPECT_TRUE(GlobMatches(u"[]]", u"]")) << "a leading ']' is a member";
    EXPECT_TRUE(GlobMatches(u"a[b", u"a[b")) << "no closing bracket: plain text";
    EXPECT_FALSE(GlobMatches(u"a[/]b", u"a/b")) << "a set never takes the separator";
}

TEST(Glob, CaseAndQuotingFollowThePlatform) {
#ifdef _WIN32
    EXPECT_TRUE(GlobMatches(u"*.JPG", u"photo.jpg"));
    EXPECT_TRUE(GlobMatches(u"a/b", u"a\\b"));
    EXPECT_TRUE(GlobMatches(u"a\\b", u"a\\b"));
#else
    EXPECT_FALSE(GlobMatches(u"*.JPG", u"photo.jpg"));
    EXPECT_TRUE(GlobMatches(u"\\*", u"*"));
    EXPECT_FALSE(GlobMatches(u"\\*", u"x"));
    EXPECT_TRUE(GlobMatches(u"[\\]]", u"]"));
#endif
}

cs::platform::DirEntry File(std::u16string name, uint64_t size, uint64_t device = 5) {
    cs::platform::DirEntry e;
    e.name = std::move(name);
    e.size = size;
    e.hasIdentity = true;
    e.device = device;
    return e;
}

TEST(EntryFilter, SizesAreInclusiveAndFoldersHaveNone) {
    WalkFilter f;
    f.minSize = 10;
    f.maxSize = 20;
    const EntryFilter filter(f, u"/r", 5);
    EXPECT_FALSE(filter.Admits(u"/r", File(u"a", 9)));
    EXPECT_TRUE(filter.Admits(u"/r", File(u"a", 10)));
    EXPECT_TRUE(filter.Admits(u"/r", File(u"a", 20)));
    EXPECT_FALSE(filter.Admits(u"/r", File(u"a", 21)));
    cs::platform::DirEntry folder = File(u"d", 0);
    folder.isDirectory = true;
    EXPECT_TRUE(filter.Admits(u"/r", folder));
}

TEST(EntryFilter, ExcludeSeesThePathBelowItsOwnRoot) {
    WalkFilter f;
    f.excludes = {u"sub/*.tmp"};
    const std::u16string sep(1, cs::platform::kPathSeparator);
    const std::u16string root = sep + u"data" + sep + u"sub";
    const EntryFilter filter(f, root, 5);
    // "sub" is the root's own name, not a folder below it.
    EXPECT_TRUE(filter.Admits(root, File(u"x.tmp", 1)));
    EXPECT_FALSE(filter.Admits(root + sep + u"sub", File(u"x.tmp", 1)));
    EXPECT_TRUE(filter.Admits(root + sep + u"sub" + sep + u"deeper", File(u"x.tmp", 1)));
    EXPECT_EQ(cs::engine::ExcludeMatchingRoot(f, root), u"");
    f.excludes.push_back(u"s?b");
    EXPECT_EQ(cs::engine::ExcludeMatchingRoot(f, root), u"s?b");
}

TEST(EntryFilter, OtherDeviceAndHiddenEntries) {
    WalkFilter f;
    f.oneFileSystem = true;
    f.hidden = false;
    const EntryFilter filter(f, u"/r", 5);
    EXPECT_TRUE(filter.Admits(u"/r", File(u"a", 1, 5)));
    EXPECT_FALSE(filter.Admits(u"/r", File(u"a", 1, 6)));
    cs::platform::DirEntry hidden = File(u".a", 1);
#ifdef _WIN32
    EXPECT_TRUE(filter.Admits(u"/r", hidden)) << "a dot is no hidden attribute";
    hidden.attributes = 0x2;
#endif
    EXPECT_FALSE(filter.Admits(u"/r", hidden));
    // With the device unknown, the file-system rule cannot tell and admits.
    const EntryFilter unknown(f, u"/r", 0);
    EXPECT_TRUE(unknown.Admits(u"/r", File(u"a", 1, 6)));
}

}  // namespace
