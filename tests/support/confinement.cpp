#include "support/confinement.h"

#ifndef _WIN32

#include <fcntl.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace cs::test {

namespace {

std::string Failed(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

bool DropFileModeOverride(std::string& why) {
    // Without CAP_SETPCAP (not root) the bounding set cannot shrink, but then
    // there is nothing in it a later exec could turn into a permission.
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
        prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) {
        why = Failed("capget");
        return false;
    }
    const uint32_t mask = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective &= ~mask;
    data[0].permitted &= ~mask;
    data[0].inheritable &= ~mask;
    if (syscall(SYS_capset, &header, data) != 0) {
        why = Failed("capset");
        return false;
    }
    // Proof rather than trust: a file of mode 000 of our own must not open.
    std::string probe = (std::filesystem::temp_directory_path() / "cs-mode-probe-XXXXXX").string();
    const int made = mkstemp(probe.data());
    if (made < 0) {
        why = Failed("mkstemp");
        return false;
    }
    close(made);
    chmod(probe.c_str(), 0);
    const int opened = open(probe.c_str(), O_RDONLY | O_CLOEXEC);
    unlink(probe.c_str());
    if (opened >= 0) {
        close(opened);
        why = "a file of mode 000 still opens without CAP_DAC_OVERRIDE";
        return false;
    }
    return true;
}

bool MountOverAccountHome(const std::string& folder, std::string& why) {
    const passwd* account = getpwuid(getuid());
    if (!account || !account->pw_dir || account->pw_dir[0] != '/') {
        why = "the password database gives no home for this user";
        return false;
    }
    if (unshare(CLONE_NEWNS) != 0) {
        why = Failed("unshare(CLONE_NEWNS)");
        return false;
    }
    // Private first, or the bind mount would propagate back to the real
    // namespace through a shared root.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why = Failed("making / private");
        return false;
    }
    if (mount(folder.c_str(), account->pw_dir, nullptr, MS_BIND, nullptr) != 0) {
        why = Failed("bind mount over the home folder");
        return false;
    }
    return true;
}

}  // namespace cs::test

#endif
