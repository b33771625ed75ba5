// clonesifter-cli.exe with its output redirected, as a script on Windows
// runs it: non-ASCII names must arrive as UTF-8 bytes, line feeds
// untranslated, whatever the console's code page. (Attached to a console
// it writes UTF-16 through WriteConsoleW instead, which a redirect cannot
// observe.)
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_tree.h"

namespace {

using cs::test::TempTree;

// The build gives the program's path as the Linux side sees it; Wine sees
// the Linux root as drive Z:.
std::wstring ProgramPath() {
    std::wstring path = L"Z:";
    for (const char* c = CS_CLI_PATH; *c; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path;
}

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

}  // namespace
