// cli/cli_runner.h for the Windows build: the real clonesifter-cli.exe as a
// child process, its output through pipes, so that the command line's
// cases written for both systems (cli/cache_test.cpp) run here too.
#include "cli/cli_runner.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <thread>

namespace cs::test::cli {

namespace {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

// As the C runtime splits a command line: backslashes are literal except
// before a quote.
std::wstring Quoted(const std::wstring& arg) {
    std::wstring q = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        q.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        q += c;
    }
    q.append(slashes * 2, L'\\');
    return q + L"\"";
}

// The children are started by the process's id; Finish needs its handle.
std::mutex childrenLock;
std::map<pid_t, HANDLE> children;

// Its read end stays here, not inherited, so that a second child started
// meanwhile holds no copy and the first one's end is seen.
bool OutputPipe(HANDLE& read, HANDLE& write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&read, &write, &inherit, 0))
        return false;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    return true;
}

}  // namespace

std::wstring ProgramPath() {
    std::wstring path = L"Z:";
    for (const char* c = CS_CLI_PATH; *c; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path;
}

pid_t Spawn(const std::vector<std::string>& args, int& outFd, int& errFd, const Environment& env,
            const Confinement& confinement) {
    outFd = errFd = -1;
    if (confinement.withoutFileModeOverride || !confinement.homeMountedFrom.empty())
        return -1;  // no such confinement here; Finish reports it as 126
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!OutputPipe(outRead, outWrite) || !OutputPipe(errRead, errWrite))
        return -1;
    std::wstring commandLine = Quoted(ProgramPath());
    for (const std::string& a : args)
        commandLine += L" " + Quoted(Wide(a));

    // The child takes the environment as it is at its start; the test's
    // own is put back at once.
    std::vector<std::pair<std::wstring, std::wstring>> saved;
    for (const auto& [name, value] : env) {
        const std::wstring wname = Wide(name);
        wchar_t old[32768];
        const DWORD n = GetEnvironmentVariableW(wname.c_str(), old, 32768);
        saved.emplace_back(wname, n ? std::wstring(old, n) : std::wstring());
        SetEnvironmentVariableW(wname.c_str(), value.empty() ? nullptr : Wide(value).c_str());
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = INVALID_HANDLE_VALUE;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    PROCESS_INFORMATION pi{};
    const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    for (const auto& [name, value] : saved)
        SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        return -1;
    }
    CloseHandle(pi.hThread);
    outFd = _open_osfhandle(reinterpret_cast<intptr_t>(outRead), _O_RDONLY | _O_BINARY);
    errFd = _open_osfhandle(reinterpret_cast<intptr_t>(errRead), _O_RDONLY | _O_BINARY);
    const std::lock_guard<std::mutex> hold(childrenLock);
    children[static_cast<pid_t>(pi.dwProcessId)] = pi.hProcess;
    return static_cast<pid_t>(pi.dwProcessId);
}

CliResult Finish(pid_t pid, int outFd, int errFd) {
    CliResult r;
    HANDLE process = nullptr;
    {
        const std::lock_guard<std::mutex> hold(childrenLock);
        const auto found = children.find(pid);
        if (found != children.end()) {
            process = found->second;
            children.erase(found);
        }
    }
    if (!process) {
        r.exitCode = 126;
        r.err = "cannot start or confine the program here";
        return r;
    }
    std::thread errReader([&] { r.err = ReadAll(errFd); });
    r.out = ReadAll(outFd);
    errReader.join();
    _close(outFd);
    _close(errFd);
    WaitForSingleObject(process, INFINITE);
    DWORD code = 999;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    r.exitCode = static_cast<int>(code);
    return r;
}

}  // namespace cs::test::cli
