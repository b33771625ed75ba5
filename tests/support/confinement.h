// Ways to run a piece of a test with less than root's powers or in a home
// of its own, so that tests about unreadable files and the user's trash
// neither depend on where the checkout sits nor touch the user's files.
// Linux only; each call is meant for a child process that is about to
// run the code under test (forked, and possibly about to exec).
#pragma once

#ifndef _WIN32

#include <string>

namespace cs::test {

// Gives up the capabilities that let root read and search any file whatever
// its mode (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH): from the effective,
// permitted and inheritable sets, the ambient set and, where allowed, the
// bounding set, so a program exec'd afterwards does not regain them either.
// The process keeps its user, so a tree it made stays its own and reachable
// below a folder only its owner may enter. False, with `why`, when a file of
// mode 000 still opens afterwards.
bool DropFileModeOverride(std::string& why);

// Moves the calling process into a mount namespace of its own in which
// `folder` is mounted over the home folder the password database gives for
// its user: a program that finds no HOME in its environment meets `folder`
// there, and the user's real home stays untouched. Needs root.
bool MountOverAccountHome(const std::string& folder, std::string& why);

}  // namespace cs::test

#endif
