// Reading one file the way the digests do: chunked reads, moves from the
// end, and refusing what is not a plain, unlocked file.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/file.h"
#include "platform/text.h"
#include "support/temp_tree.h"

namespace cs::platform {
namespace {

using test::PseudoRandomBytes;
using test::TempTree;
using test::ToU16;

constexpr size_t kChunk = 512 * 1024;

std::string ReadAll(FileReader& file, size_t request, std::vector<int64_t>* sizes = nullptr) {
    std::string out;
    std::vector<char> buffer(request);
    for (;;) {
        const int64_t got = file.Read(buffer.data(), buffer.size());
        if (sizes)
            sizes->push_back(got);
        if (got <= 0)
            break;
        out.append(buffer.data(), static_cast<size_t>(got));
    }
    return out;
}

TEST(FileReader, ReadsAcrossTheChunkBoundary) {
    for (const size_t size : {kChunk - 1, kChunk, kChunk + 1, 2 * kChunk + 1000}) {
        SCOPED_TRACE(size);
        TempTree tree;
        const std::string bytes = PseudoRandomBytes(size, static_cast<uint32_t>(size));
        tree.Write("f.bin", bytes);
        FileReader file;
        ASSERT_EQ(file.Open(tree.Path16("f.bin")), Status::Ok);
        std::vector<int64_t> sizes;
        EXPECT_EQ(ReadAll(file, kChunk, &sizes), bytes);
        // Full chunks until the last partial one, then 0 for the end.
        std::vector<int64_t> expected(size / kChunk, static_cast<int64_t>(kChunk));
        if (size % kChunk)
            expected.push_back(static_cast<int64_t>(size % kChunk));
        expected.push_back(0);
        EXPECT_EQ(sizes, expected);
    }
}

TEST(FileReader, OneRequestLargerThanAnyChunkReturnsEverything) {
    TempTree tree;
    const std::string bytes = PseudoRandomBytes(5 * 1024 * 1024 + 3, 9);
    tree.Write("f.bin", bytes);
    FileReader file;
    ASSERT_EQ(file.Open(tree.Path16("f.bin")), Status::Ok);
    std::vector<char> buffer(bytes.size() + 100);
    ASSERT_EQ(file.Read(buffer.data(), buffer.size()), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(std::string(buffer.data(), bytes.size()), bytes);
    EXPECT_EQ(file.Read(buffer.data(), buffer.size()), 0);
    EXPECT_EQ(file.Read(buffer.data(), 0), 0);
}

TEST(FileReader, SeekFromEndLandsExactlyOrFailsWithoutMoving) {
    TempTree tree;
    const size_t size = 1024 * 1024 + 3;
    const std::string bytes = PseudoRandomBytes(size, 3);
    tree.Write("f.bin", bytes);
    FileReader file;
    ASSERT_EQ(file.Open(tree.Path16("f.bin")), Status::Ok);
    char buffer[16];

    ASSERT_TRUE(file.SeekTo(100));
    EXPECT_FALSE(file.SeekFromEnd(size + 1));
    EXPECT_FALSE(file.SeekFromEnd(2 * 1024 * 1024));
    ASSERT_EQ(file.Read(buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), bytes.substr(100, 10)) << "a failed move moved";

    ASSERT_TRUE(file.SeekFromEnd(size));  // exactly the whole file: the start
    ASSERT_EQ(file.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), bytes.substr(0, 4));

    ASSERT_TRUE(file.SeekFromEnd(1));
    ASSERT_EQ(file.Read(buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], bytes.back());

    ASSERT_TRUE(file.SeekFromEnd(0));
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);

    // Past the end is a valid position with nothing to read.
    ASSERT_TRUE(file.SeekTo(size + 10));
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
}

TEST(FileReader, TwoMebibyteFileSeeksBackToItsStart) {
    TempTree tree;
    const size_t size = 2 * 1024 * 1024;
    const std::string bytes = PseudoRandomBytes(size, 4);
    tree.Write("f.bin", bytes);
    FileReader file;
    ASSERT_EQ(file.Open(tree.Path16("f.bin")), Status::Ok);
    EXPECT_EQ(ReadAll(file, kChunk), bytes);
    ASSERT_TRUE(file.SeekFromEnd(size));
    EXPECT_EQ(ReadAll(file, kChunk), bytes);
}

TEST(FileReader, EmptyFile) {
    TempTree tree;
    tree.Write("empty", "");
    FileReader file;
    ASSERT_EQ(file.Open(tree.Path16("empty")), Status::Ok);
    char buffer[4];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
    EXPECT_TRUE(file.SeekFromEnd(0));
    EXPECT_FALSE(file.SeekFromEnd(1));
}

TEST(FileReader, OpenFailuresSayWhy) {
    TempTree tree;
    tree.MakeDir("folder");
    FileReader file;
    EXPECT_EQ(file.Open(tree.Path16("missing")), Status::NotFound);
    EXPECT_EQ(file.Open(tree.Path16("missing/deeper.txt")), Status::NotFound);
    EXPECT_EQ(file.Open(tree.Path16("folder")), Status::NotRegular);
    EXPECT_FALSE(file.IsOpen());
    char buffer[4];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), -1);
    EXPECT_FALSE(file.SeekTo(0));
    EXPECT_FALSE(file.SeekFromEnd(0));
}

TEST(FileReader, NonAsciiNameOpens) {
    TempTree tree;
    tree.Write("\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80.txt", "content");
    FileReader file;
    ASSERT_EQ(file.Open(JoinPath(tree.Root16(), u"\u00E9t\u00E9 \U0001F600.txt")), Status::Ok);
    EXPECT_EQ(ReadAll(file, 64), "content");
}

TEST(FileReader, MoveHandsOverThePosition) {
    TempTree tree;
    tree.Write("f.txt", "0123456789");
    FileReader first;
    ASSERT_EQ(first.Open(tree.Path16("f.txt")), Status::Ok);
    char buffer[4];
    ASSERT_EQ(first.Read(buffer, 3), 3);

    FileReader second(std::move(first));
    EXPECT_FALSE(first.IsOpen());          // NOLINT: moved-from is closed, not broken
    EXPECT_EQ(first.Read(buffer, 1), -1);  // NOLINT
    ASSERT_TRUE(second.IsOpen());
    ASSERT_EQ(second.Read(buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "34");

    FileReader third;
    ASSERT_EQ(third.Open(tree.Path16("f.txt")), Status::Ok);
    third = std::move(second);  // closes third's own handle, takes second's
    EXPECT_EQ(ReadAll(third, 64), "56789");
    third.Close();
    EXPECT_FALSE(third.IsOpen());
}

#ifdef _WIN32

HANDLE OpenOther(const std::filesystem::path& path, DWORD access, DWORD share) {
    return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(FileReaderWindows, FileOpenForWritingElsewhereIsRefused) {
    TempTree tree;
    const auto path = tree.Write("busy.txt", "content");
    FileReader file;

    // The writer shares everything, but our read-sharing-only request
    // cannot coexist with its write access.
    HANDLE writer = OpenOther(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.Open(ToU16(path)), Status::AccessDenied);
    CloseHandle(writer);

    HANDLE exclusive = OpenOther(path, GENERIC_READ, 0);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.Open(ToU16(path)), Status::AccessDenied);
    CloseHandle(exclusive);

    // Another reader that allows reading does not stand in the way.
    HANDLE reader = OpenOther(path, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.Open(ToU16(path)), Status::Ok);
    CloseHandle(reader);
}

TEST(FileReaderWindows, WhileOpenNobodyCanWrite) {
    TempTree tree;
    const auto path = tree.Write("f.txt", "content");
    FileReader file;
    ASSERT_EQ(file.Open(ToU16(path)), Status::Ok);
    HANDLE writer = OpenOther(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    const DWORD error = GetLastError();
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    file.Close();
    writer = OpenOther(path, GENERIC_WRITE, 0);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
}

TEST(FileReaderWindows, PipesAndDevicesAreRefused) {
    const std::wstring name =
        L"\\\\.\\pipe\\clonesifter-test-" + std::to_wstring(GetCurrentProcessId());
    HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                   4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    FileReader file;
    EXPECT_EQ(file.Open(FromNative(name)), Status::NotRegular);
    EXPECT_FALSE(file.IsOpen());
    CloseHandle(pipe);

    // The device itself, named in the device namespace. A bare "NUL" is a
    // file of that name in the current folder: every path is opened in its
    // long form, which turns no name into a device.
    EXPECT_EQ(file.Open(u"\\\\.\\NUL"), Status::NotRegular);
    EXPECT_EQ(file.Open(u"NUL"), Status::NotFound);
}

#else

TEST(FileReaderPosix, FifoIsRefusedWithoutBlocking) {
    TempTree tree;
    const std::string fifo = tree.Path("pipe").native();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::u16string path = tree.Path16("pipe");
    auto opened = std::async(std::launch::async, [&path] {
        FileReader file;
        return file.Open(path);
    });
    if (opened.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "opening a FIFO blocked";
        // A writer releases the blocked open, so the test can end.
        const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        opened.wait();
        if (writer >= 0)
            close(writer);
        return;
    }
    EXPECT_EQ(opened.get(), Status::NotRegular);
}

TEST(FileReaderPosix, LinksAreNotFollowed) {
    TempTree tree;
    tree.Write("target.txt", "content");
    std::filesystem::create_symlink(tree.Path("target.txt"), tree.Path("link.txt"));
    FileReader file;
    EXPECT_EQ(file.Open(tree.Path16("link.txt")), Status::NotRegular);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Open(tree.Path16("target.txt")), Status::Ok);
}

#endif

#ifndef _WIN32

// What removal compares against later must be what the open file is, read
// from the descriptor itself.
TEST(FileReaderPosix, FactsOfTheOpenFile) {
    TempTree tree;
    tree.Write("f", "twelve bytes");
    const timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 999999999}};
    ASSERT_EQ(utimensat(AT_FDCWD, tree.Path("f").c_str(), times, 0), 0);
    struct stat st;
    ASSERT_EQ(lstat(tree.Path("f").c_str(), &st), 0);
    FileReader file;
    ItemFacts facts;
    EXPECT_FALSE(file.ReadFacts(facts));  // nothing open
    ASSERT_EQ(file.Open(tree.Path16("f")), Status::Ok);
    ASSERT_TRUE(file.ReadFacts(facts));
    EXPECT_EQ(facts.size, 12u);
    EXPECT_EQ(facts.mtime, (1700000000ull + 11644473600ull) * 10000000ull + 9999999ull);
    EXPECT_EQ(facts.device, static_cast<uint64_t>(st.st_dev));
    EXPECT_EQ(facts.inode, static_cast<uint64_t>(st.st_ino));
    EXPECT_FALSE(facts.isFolder);
}

#endif

}  // namespace
}  // namespace cs::platform
