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

// Standard input is never a terminal for the program under test, so it can
// never wait for an answer.
// `asUser` other than 0 runs it as that user (and group), which needs root.
pid_t Spawn(const std::vector<std::string>& args, int& outFd, int& errFd,
            const Environment& env = {}, uid_t asUser = 0);
CliResult Finish(pid_t pid, int outFd, int errFd);
CliResult RunCli(const std::vector<std::string>& args, const Environment& env = {},
                 uid_t asUser = 0);

// Runs it on a pseudo-terminal: waits until `prompt` appears, calls
// `whilePromptWaits`, then types `answer`. `err` holds what the terminal
// showed; `out` standard output.
CliResult RunCliOnTerminal(const std::vector<std::string>& args, const std::string& prompt,
                           const std::function<void()>& whilePromptWaits,
                           const std::string& answer, const Environment& env = {});

}  // namespace cs::test::cli
