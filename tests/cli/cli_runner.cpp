// Runs the real clonesifter-cli as a child process.
#include "cli/cli_runner.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/confinement.h"

namespace cs::test::cli {

namespace {

void ApplyEnvironment(const Environment& env) {
    for (const auto& [name, value] : env) {
        if (value.empty())
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
}

// `program`, when given, is the binary opened beforehand: a home mounted
// over the account's may hide the path it was found by (a checkout below
// root's home).
[[noreturn]] void Exec(const std::vector<std::string>& args, int program = -1) {
    std::vector<char*> argv;
    std::string path = CS_CLI_PATH;
    argv.push_back(path.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (program >= 0)
        fexecve(program, argv.data(), environ);
    else
        execv(path.c_str(), argv.data());
    _exit(127);
}

}  // namespace



pid_t Spawn(const std::vector<std::string>& args, int& outFd, int& errFd,
            const Environment& env, const Confinement& confinement) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        ApplyEnvironment(env);
        dup2(out[1], 1);
        dup2(err[1], 2);
        const int program = open(CS_CLI_PATH, O_PATH | O_CLOEXEC);
        std::string why;
        if ((!confinement.homeMountedFrom.empty() &&
             !MountOverAccountHome(confinement.homeMountedFrom, why)) ||
            (confinement.withoutFileModeOverride && !DropFileModeOverride(why))) {
            why = "cannot confine the program: " + why + "\n";
            (void)!write(2, why.data(), why.size());
            _exit(126);
        }
        close(out[0]);
        close(err[0]);
        Exec(args, program);
    }
    close(out[1]);
    close(err[1]);
    outFd = out[0];
    errFd = err[0];
    return pid;
}

CliResult Finish(pid_t pid, int outFd, int errFd) {
    CliResult r;
    // stderr is small; read stdout to the end first, then stderr.
    std::thread errReader([&] { r.err = ReadAll(errFd); });
    r.out = ReadAll(outFd);
    errReader.join();
    close(outFd);
    close(errFd);
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

CliResult RunCliOnTerminal(const std::vector<std::string>& args, const std::string& prompt,
                           const std::function<void()>& whilePromptWaits,
                           const std::string& answer, const Environment& env) {
    int out[2], err[2];
    CliResult r;
    if (pipe(out) != 0 || pipe(err) != 0)
        return r;
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        ApplyEnvironment(env);
        // The terminal is standard input and the prompt's stream; the
        // listing and the report go to pipes to be read apart.
        dup2(out[1], 1);
        close(out[0]);
        close(err[0]);
        Exec(args);
    }
    close(out[1]);
    close(err[1]);
    close(err[0]);
    std::string seen;
    char buf[4096];
    while (seen.find(prompt) == std::string::npos) {
        const ssize_t n = read(terminal, buf, sizeof buf);
        if (n <= 0)
            break;
        seen.append(buf, static_cast<size_t>(n));
    }
    r.err = seen;
    if (seen.find(prompt) != std::string::npos) {
        whilePromptWaits();
        const std::string line = answer + "\n";
        (void)!write(terminal, line.data(), line.size());
    }
    std::thread drain([&] {
        for (;;) {
            const ssize_t n = read(terminal, buf, sizeof buf);
            if (n <= 0)
                break;
            r.err.append(buf, static_cast<size_t>(n));
        }
    });
    r.out = ReadAll(out[0]);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    // Closing the terminal before the drain read everything would lose
    // what the program wrote last; with the program gone, reads end.
    drain.join();
    close(terminal);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

}  // namespace cs::test::cli
