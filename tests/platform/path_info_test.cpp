// Sizes read back after the scan, for the result list.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/path_info.h"
#include "support/temp_tree.h"

namespace cs::platform {
namespace {

using test::TempTree;

TEST(FileSizeOfPath, PlainFilesOnly) {
    TempTree tree;
    tree.WriteSized("f.bin", 4 * 1024 * 1024 + 1, 5);
    tree.Write("empty", "");
    tree.MakeDir("folder");
    EXPECT_EQ(FileSizeOfPath(tree.Path16("f.bin")), 4u * 1024 * 1024 + 1);
    EXPECT_EQ(FileSizeOfPath(tree.Path16("empty")), 0u);
    EXPECT_EQ(FileSizeOfPath(tree.Path16("folder")), 0u);
    EXPECT_EQ(FileSizeOfPath(tree.Path16("missing")), 0u);
#ifndef _WIN32
    std::filesystem::create_symlink(tree.Path("f.bin"), tree.Path("link"));
    EXPECT_EQ(FileSizeOfPath(tree.Path16("link")), 0u);
#endif
}

#ifdef _WIN32
TEST(FileSizeOfPath, FileLockedByAnotherHandleStillHasItsSize) {
    TempTree tree;
    const auto path = tree.Write("locked.txt", "0123456789");
    const HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileSizeOfPath(tree.Path16("locked.txt")), 10u);
    CloseHandle(exclusive);
}
#endif

}  // namespace
}  // namespace cs::platform
