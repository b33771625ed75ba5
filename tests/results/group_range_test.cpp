// The group around a row, on rows laid out as the list rebuild lays them
// out: sections follow each other without a separator row between them.
#include "results/group_range.h"

#include <gtest/gtest.h>

#include "results/memory_rows.h"
#include "results/result_list.h"

namespace cs::results {
namespace {

// Rows:  0 1 folder group | 2 separator | 3 4 folder group | 5 6 7 file
// group | 8 separator | 9 10 file group | 11 separator | 12 13 14 zero-byte.
MemoryRows Sections() {
    MemoryRows rows;
    auto folder = [&](const char16_t* path) {
        rows.Append(MakeItemRow(kFolderGroup, kFolderImage, path, kFolderSizeText));
    };
    auto file = [&](int group, const char16_t* path) {
        rows.Append(MakeItemRow(group, kFileImage, path, u"1 KB"));
    };
    folder(u"C:\\a\\Photos");
    folder(u"C:\\b\\Photos");
    rows.Append(MakeSeparatorRow(kFolderGroup));
    folder(u"C:\\a\\Music");
    folder(u"C:\\b\\Music (2)");
    file(kFileGroup, u"C:\\a\\x.jpg");
    file(kFileGroup, u"C:\\b\\x.jpg");
    file(kFileGroup, u"C:\\c\\x.jpg");
    rows.Append(MakeSeparatorRow(kFileGroup));
    file(kFileGroup, u"C:\\a\\y.png");
    file(kFileGroup, u"C:\\b\\y.png");
    rows.Append(MakeSeparatorRow(kFileGroup));
    file(kZeroByteGroup, u"C:\\a\\e1");
    file(kZeroByteGroup, u"C:\\b\\e2");
    file(kZeroByteGroup, u"C:\\c\\e3");
    return rows;
}

void ExpectRange(const MemoryRows& rows, int32_t row, int32_t first, int32_t last) {
    const RowRange range = GroupAround(rows, row);
    EXPECT_EQ(range.first, first) << "row " << row;
    EXPECT_EQ(range.last, last) << "row " << row;
}

TEST(GroupAround, FindsTheRunFromAnyOfItsRowsAndStopsAtSectionBorders) {
    const MemoryRows rows = Sections();
    for (int32_t r : {0, 1})
        ExpectRange(rows, r, 0, 1);
    // The last folder group is followed directly by the file section.
    for (int32_t r : {3, 4})
        ExpectRange(rows, r, 3, 4);
    for (int32_t r : {5, 6, 7})
        ExpectRange(rows, r, 5, 7);
    for (int32_t r : {9, 10})
        ExpectRange(rows, r, 9, 10);
    for (int32_t r : {12, 13, 14})
        ExpectRange(rows, r, 12, 14);
    EXPECT_EQ(GroupAround(rows, 6).Count(), 3);
}

TEST(GroupAround, SeparatorsMissingRowsAndGroupsOfOneGiveNothing) {
    MemoryRows rows = Sections();
    for (int32_t r : {2, 8, 11, -1, 15})
        EXPECT_TRUE(GroupAround(rows, r).Empty()) << "row " << r;
    // A title row (Wine: a separator in the section's group) and a single
    // member left between two separators.
    MemoryRows single;
    single.Append(MakeSeparatorRow(kFileGroup));
    single.Append(MakeItemRow(kFileGroup, kFileImage, u"C:\\only.txt", u"1 KB"));
    single.Append(MakeSeparatorRow(kFileGroup));
    EXPECT_TRUE(GroupAround(single, 1).Empty());
    EXPECT_EQ(GroupAround(single, 1).Count(), 0);
}

TEST(GroupAround, TicksDoNotSplitARun) {
    MemoryRows rows = Sections();
    rows.SetStateImage(6, kTicked);
    ExpectRange(rows, 5, 5, 7);
    ExpectRange(rows, 7, 5, 7);
}

}  // namespace
}  // namespace cs::results
