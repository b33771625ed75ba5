// clonesifter-cli.exe as a script on Windows runs it, output redirected:
// non-ASCII names must arrive as UTF-8 bytes, line feeds untranslated,
// whatever the console's code page (attached to a console it writes UTF-16
// through WriteConsoleW instead, which a redirect cannot observe); and names
// the Win32 rules would rewrite (trailing dots and spaces, device names,
// long paths) are read and removed as the names they are.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "support/temp_tree.h"

namespace {

using cs::test::TempTree;
using cs::test::cli::ProgramPath;

// Runs the program with standard output and standard error in files;
// returns the exit code.
// Wine may close the child's copies of the handles a moment after it
// ended; sharing lets the test read the files meanwhile.
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DWORD RunProgram(const std::wstring& arguments, const std::wstring& outFile, const std::wstring& errFile) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(outFile.c_str(), GENERIC_WRITE, kShare, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileW(errFile.c_str(), GENERIC_WRITE, kShare, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create the output files: " << GetLastError();
        return 998;
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = INVALID_HANDLE_VALUE;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + ProgramPath() + L"\" " + arguments;
    DWORD code = 999;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    return code;
}

std::string Slurp(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::wstring Wide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

TEST(CliWindowsConsole, RedirectedOutputIsUtf8) {
    TempTree tree;
    // "é", CJK and a character outside the BMP, in folder and file names.
    const std::string name = "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\xb7.dat";
    tree.Write("a/" + name, "same bytes");
    tree.Write("b\xc3\xa9/" + name, "same bytes");
    const std::wstring root = Wide(tree.Root16());
    // Outside the scanned tree, and new files for each run (see kShare).
    TempTree outputs;
    std::wstring out, err;
    int runs = 0;
    auto next = [&] {
        ++runs;
        out = Wide(outputs.Path16("out" + std::to_string(runs) + ".txt"));
        err = Wide(outputs.Path16("err" + std::to_string(runs) + ".txt"));
    };

    next();
    ASSERT_EQ(RunProgram(L"--contents exact \"" + root + L"\"", out, err), 0u) << Slurp(err);
    const std::string text = Slurp(out);
    EXPECT_NE(text.find("\\a\\" + name + "\t" + name + "\t10 bytes\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\\b\xc3\xa9\\" + name), std::string::npos) << text;
    EXPECT_EQ(text.find("\r\n"), std::string::npos) << "line feeds are not translated";
    // The summary and messages on standard error are UTF-8 as well.
    EXPECT_NE(Slurp(err).find("1 group of duplicate files"), std::string::npos) << Slurp(err);

    next();
    ASSERT_EQ(RunProgram(L"--quiet --json --contents exact \"" + root + L"\"", out, err), 0u);
    EXPECT_NE(Slurp(out).find("\\\\b\xc3\xa9\\\\" + name), std::string::npos) << Slurp(out);

    next();
    ASSERT_EQ(RunProgram(L"--quiet \"" + root + L"\\missing\xe9\"", out, err), 2u);
    EXPECT_NE(Slurp(err).find("no such folder: "), std::string::npos) << Slurp(err);
    EXPECT_NE(Slurp(err).find("\\missing\xc3\xa9\n"),
              std::string::npos)
        << Slurp(err);
}

// ---- names the Win32 rules would rewrite -----------------------------------
// Made, read and removed here through the "\\?\" form only, which the
// system passes on unchanged.

std::wstring Exact(const std::wstring& path) {
    return L"\\\\?\\" + path;
}

void WriteExactly(const std::wstring& root, const std::wstring& relative,
                  const std::string& contents) {
    for (size_t cut = relative.find(L'\\'); cut != std::wstring::npos;
         cut = relative.find(L'\\', cut + 1)) {
        CreateDirectoryW(Exact(root + L"\\" + relative.substr(0, cut)).c_str(), nullptr);
    }
    HANDLE file = CreateFileW(Exact(root + L"\\" + relative).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, contents.size());
}

// Every file below `folder` (relative path, contents); `remove` takes it all
// away, the folder too.
void Walk(const std::wstring& folder, const std::wstring& relative,
          std::vector<std::pair<std::wstring, std::string>>& files, bool remove) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileW(Exact(folder + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            const std::wstring below = relative.empty() ? name : relative + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                Walk(path, below, files, remove);
                continue;
            }
            HANDLE file = CreateFileW(Exact(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
            std::string bytes(entry.nFileSizeLow, '\0');
            DWORD got = 0;
            if (file != INVALID_HANDLE_VALUE) {
                ReadFile(file, bytes.data(), entry.nFileSizeLow, &got, nullptr);
                CloseHandle(file);
            }
            bytes.resize(got);
            files.emplace_back(below, bytes);
            if (remove)
                DeleteFileW(Exact(path).c_str());
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    if (remove)
        RemoveDirectoryW(Exact(folder).c_str());
}

std::set<std::string> DistinctContents(const std::wstring& root) {
    std::vector<std::pair<std::wstring, std::string>> files;
    Walk(root, L"", files, false);
    std::set<std::string> contents;
    for (const auto& f : files)
        contents.insert(f.second);
    return contents;
}

bool ExistsExactly(const std::wstring& path) {
    return GetFileAttributesW(Exact(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The members of each file group of a JSON listing, as the raw text of the
// group (names are found in it, backslashes doubled).
std::vector<std::string> FileGroups(const std::string& json) {
    std::vector<std::string> groups;
    const size_t start = json.find("\"file_groups\"");
    const size_t end = json.find("\"zero_byte_files\"");
    for (size_t at = json.find("\"members\"", start); at != std::string::npos && at < end;
         at = json.find("\"members\"", at + 1)) {
        groups.push_back(json.substr(at, json.find(']', at) - at));
    }
    return groups;
}

// Twins whose plain forms name each other, device names, a hard link, and
// copies deeper than MAX_PATH and than 1,000 characters, under every preset, both
// selection rules and both removal modes: no distinct contents may go.
TEST(CliWindowsNames, NamesTheSystemWouldRewriteAreThemselves) {
    std::wstring deep260, deep1000;
    for (int i = 0; i < 10; ++i)
        deep260 += L"folder-with-a-long-name-" + std::to_wstring(i) + L"\\";
    for (int i = 0; i < 40; ++i)
        deep1000 += L"folder-with-a-long-name-" + std::to_wstring(i) + L"\\";
    const std::vector<std::pair<std::wstring, std::string>> files = {
        {L"x\\doc.txt", "contents A"},        {L"trail.\\doc.txt", "contents A"},
        {L"trail\\doc.txt", "contents B"},    {L"sp \\y.bin", "contents C"},
        {L"sp\\y.bin", "contents D"},         {L"sp2\\y.bin", "contents C"},
        {L"d1\\nul.txt", "contents E"},       {L"d2\\nul.txt", "contents F"},
        {L"d1\\com1.log", "contents G"},      {L"d2\\com1.log", "contents G"},
        {L"d1\\CON", "contents H"},           {L"d2\\CON", "contents H"},
        {deep260 + L"deep.bin", "contents I"}, {deep1000 + L"deep.bin", "contents I"},
    };
    TempTree outputs;
    std::string trashReports;
    int runs = 0;
    for (int preset = 1; preset <= 12; ++preset) {
        for (const wchar_t* rule : {L"keep-first", L"keep-last"}) {
            for (const wchar_t* mode : {L"delete", L"trash"}) {
                TempTree tree;
                const std::wstring root = Wide(tree.Root16());
                for (const auto& [name, contents] : files)
                    WriteExactly(root, name, contents);
                // One physical file under two names is listed once.
                ASSERT_TRUE(CreateHardLinkW(Exact(root + L"\\d1\\linked.bin").c_str(),
                                            Exact(root + L"\\d1\\nul.txt").c_str(), nullptr))
                    << GetLastError();
                const std::set<std::string> before = DistinctContents(root);
                ++runs;
                const std::wstring out = Wide(outputs.Path16("out" + std::to_string(runs)));
                const std::wstring err = Wide(outputs.Path16("err" + std::to_string(runs)));
                const DWORD code = RunProgram(L"--quiet --json --preset " +
                                                  std::to_wstring(preset) + L" --select " + rule +
                                                  L" --remove " + mode + L" --yes \"" + root + L"\"",
                                              out, err);
                const std::string json = Slurp(out);
                const std::string where = "preset " + std::to_string(preset) + ", " +
                                          (rule[5] == L'f' ? "keep-first" : "keep-last") + ", " +
                                          (mode[0] == L'd' ? "delete" : "trash");
                EXPECT_TRUE(code == 0 || code == 1) << where << ": exit " << code << Slurp(err);
                EXPECT_EQ(DistinctContents(root), before) << where << "\n" << json;
                EXPECT_NE(json.find("\"files_not_read\": 0"), std::string::npos) << where;
                if (mode[0] == L't')
                    trashReports += json;
                if (preset == 4) {
                    // Exact contents: each twin with its real copy, never
                    // with the file its plain form would name.
                    for (const std::string& group : FileGroups(json)) {
                        const bool dotted = group.find("trail.\\\\doc.txt") != std::string::npos;
                        EXPECT_EQ(dotted, group.find("x\\\\doc.txt") != std::string::npos)
                            << where << group;
                        EXPECT_EQ(group.find("trail\\\\doc.txt"), std::string::npos)
                            << where << group;
                        EXPECT_EQ(group.find("sp\\\\y.bin"), std::string::npos) << where << group;
                        EXPECT_EQ(group.find("nul.txt"), std::string::npos) << where << group;
                        EXPECT_EQ(group.find("linked.bin"), std::string::npos) << where << group;
                    }
                    EXPECT_EQ(FileGroups(json).size(), 5u) << where << json;
                    if (mode[0] == L'd') {
                        // Every ticked copy went, the deep ones included.
                        EXPECT_EQ(code, 0u) << where << json;
                        EXPECT_NE(ExistsExactly(root + L"\\" + deep260 + L"deep.bin"),
                                  ExistsExactly(root + L"\\" + deep1000 + L"deep.bin"))
                            << where;
                    }
                }
                std::vector<std::pair<std::wstring, std::string>> ignored;
                Walk(root, L"", ignored, true);
            }
        }
    }
    // A root typed with a trailing dot is that folder, not its twin.
    {
        TempTree tree;
        const std::wstring root = Wide(tree.Root16());
        WriteExactly(root, L"trail.\\doc.txt", "contents A");
        WriteExactly(root, L"trail\\doc.txt", "contents B");
        const std::wstring out = Wide(outputs.Path16("root-out"));
        const std::wstring err = Wide(outputs.Path16("root-err"));
        EXPECT_EQ(RunProgram(L"--quiet --json --zero-byte \"" + root + L"\\trail.\"", out, err), 0u)
            << Slurp(err);
        EXPECT_NE(Slurp(out).find("trail.\"]"), std::string::npos) << Slurp(out);
        std::vector<std::pair<std::wstring, std::string>> ignored;
        Walk(root, L"", ignored, true);
    }
    // A plan whose keeper is the item itself under another name (a hard
    // link made after the plan, the plan edited to match) removes nothing.
    {
        TempTree tree;
        const std::wstring root = Wide(tree.Root16());
        WriteExactly(root, L"a.txt", "the same bytes");
        WriteExactly(root, L"b.txt", "the same bytes");
        const std::wstring plan = Wide(outputs.Path16("plan.json"));
        const std::wstring out = Wide(outputs.Path16("plan-out"));
        const std::wstring err = Wide(outputs.Path16("plan-err"));
        ASSERT_EQ(RunProgram(L"--quiet --contents exact --names none --select keep-first --plan-out \"" + plan +
                                 L"\" \"" + root + L"\"",
                             out, err),
                  0u)
            << Slurp(err);
        std::string text = Slurp(plan);
        auto fieldAfter = [&](const std::string& name, const std::string& field) {
            const size_t at = text.find(field, text.find("\\\\" + name + "\""));
            return at == std::string::npos ? std::string()
                                           : text.substr(at, text.find_first_of(",}", at) - at);
        };
        const bool bGoes = fieldAfter("b.txt", "\"remove\"") == "\"remove\": true";
        const std::string gone = bGoes ? "b.txt" : "a.txt";
        const std::string kept = bGoes ? "a.txt" : "b.txt";
        const std::string goneInode = fieldAfter(gone, "\"inode\"");
        const std::string keptInode = fieldAfter(kept, "\"inode\"");
        ASSERT_FALSE(goneInode.empty()) << text;
        // The same modification time, so only the identity tells them apart.
        for (const std::string& field : {std::string("\"mtime\""), std::string("\"mtime_ticks\"")})
            text.replace(text.find(fieldAfter(gone, field), text.find("\\\\" + gone + "\"")),
                         fieldAfter(gone, field).size(), fieldAfter(kept, field));
        text.replace(text.find(goneInode, text.find("\\\\" + gone + "\"")), goneInode.size(),
                     keptInode);
        std::ofstream(std::filesystem::path(plan), std::ios::binary | std::ios::trunc) << text;
        const std::wstring goneName = Wide(tree.Path16(gone));
        const std::wstring keptName = Wide(tree.Path16(kept));
        ASSERT_TRUE(DeleteFileW(goneName.c_str()));
        ASSERT_TRUE(CreateHardLinkW(goneName.c_str(), keptName.c_str(), nullptr)) << GetLastError();
        EXPECT_EQ(RunProgram(L"--quiet --apply-plan \"" + plan + L"\" --remove delete --yes", out, err),
                  1u)
            << Slurp(out) << Slurp(err);
        EXPECT_NE(Slurp(out).find("no other copy of its group stays"), std::string::npos)
            << Slurp(out);
        EXPECT_EQ(DistinctContents(root), std::set<std::string>{"the same bytes"}) << Slurp(out);
    }
    // The recycle bin takes only plain paths: what it would take for
    // another item is refused, each with its reason.
    for (const char* reason : {"the recycle bin cannot take a name that ends with a dot or a space",
                               "the recycle bin cannot take a name that Windows reserves for a "
                               "device",
                               "the recycle bin cannot take a path of 260 characters or more"}) {
        EXPECT_NE(trashReports.find(reason), std::string::npos) << reason;
    }
}

}  // namespace
