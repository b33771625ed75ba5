// Runs the real clonesifter-cli as a child process, with pipes, or on a
// terminal of its own to answer its question.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace cs::test::cli {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Variables to set; an empty value unsets one.
using Environment = std::vector<std::pair<std::string, std::string>>;

std::string ReadAll(int fd);

// What the program runs without, beyond its environment.
struct Confinement {
    // Root's right to read any file whatever its mode: mode 000 then means
    // unreadable for the program as for any user, wherever the tree sits.
    bool withoutFileModeOverride = false;
    // A folder mounted over the account's home, in a mount namespace of the
    // program's own (needs root): where it falls back on the password
    // database's home, it meets this folder and never the user's.
    std::string homeMountedFrom;
};

// Standard input is never a terminal for the program under test, so it can
// never wait for an answer. A confinement the child cannot take up ends it
// with exit code 126 and the reason on its standard error.
pid_t Spawn(const std::vector<std::string>& args, int& outFd, int& errFd,
            const Environment& env = {}, const Confinement& confinement = {});
CliResult Finish(pid_t pid, int outFd, int errFd);
CliResult RunCli(const std::vector<std::string>& args, const Environment& env = {},
                 const Confinement& confinement = {});

#ifdef _WIN32
// The program as Wine sees it (the build gives the Linux path; Wine sees
// the Linux root as drive Z:).
std::wstring ProgramPath();
#endif

// Runs it on a pseudo-terminal: waits until `prompt` appears, calls
// `whilePromptWaits`, then types `answer`. `err` holds what the terminal
// showed; `out` standard output.
CliResult RunCliOnTerminal(const std::vector<std::string>& args, const std::string& prompt,
                           const std::function<void()>& whilePromptWaits,
                           const std::string& answer, const Environment& env = {});

}  // namespace cs::test::cli
