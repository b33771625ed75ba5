// The parts of cli/cli_runner.h both systems' runners share.
#include "cli/cli_runner.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace cs::test::cli {

std::string ReadAll(int fd) {
    std::string data;
    char buf[65536];
    for (;;) {
#ifdef _WIN32
        const int n = _read(fd, buf, sizeof buf);
#else
        const ssize_t n = read(fd, buf, sizeof buf);
#endif
        if (n <= 0)
            break;
        data.append(buf, static_cast<size_t>(n));
    }
    return data;
}

CliResult RunCli(const std::vector<std::string>& args, const Environment& env,
                 const Confinement& confinement) {
    int outFd, errFd;
    const pid_t pid = Spawn(args, outFd, errFd, env, confinement);
    return Finish(pid, outFd, errFd);
}

}  // namespace cs::test::cli
