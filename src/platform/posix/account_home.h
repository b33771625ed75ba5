// The home folder of the account that runs the program, as GLib finds it
// for the trash: $HOME when set, else the home the password database gives
// (GLib moves a file there when HOME is unset, so every place that looks
// for that trash must look there too). Any thread.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace cs::platform::posix {

// Empty when neither names a folder.
inline std::string AccountHome() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    passwd entry;
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
        return found->pw_dir;
    return {};
}

}  // namespace cs::platform::posix
