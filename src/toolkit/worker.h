// Threads: every thread of the toolkit and the program (the spinner, the
// wake ticker, the scan and the removal) starts through StartThread, and
// the loops that wait for one poll it between events with ThreadEnded.
// Starting and polling happen on the user-interface thread.
#pragma once

#include <windows.h>

#include "toolkit/handles.h"

namespace cs::toolkit {

// The exit code of a thread whose entry let an exception out; no entry
// returns it of its own.
inline constexpr DWORD kThreadFailed = 0xFFFFFFFFu;

// Runs `entry(parameter)` on a new thread. An exception that leaves `entry`
// ends that thread with kThreadFailed, never the process: the code that
// waits for the thread reports its work as failed. Empty when no thread
// could be made (the last error says why).
UniqueHandle StartThread(LPTHREAD_START_ROUTINE entry, void* parameter);

// The completion check: false while `thread` runs, or when it is null;
// once the thread has ended, true with its exit code.
bool ThreadEnded(HANDLE thread, DWORD& exitCode);

// Whether `thread` names a thread that has not ended yet.
bool ThreadRunning(HANDLE thread);

}  // namespace cs::toolkit
