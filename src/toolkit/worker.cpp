#include "toolkit/worker.h"

#include <new>

namespace cs::toolkit {

namespace {

struct ThreadStart {
    LPTHREAD_START_ROUTINE entry;
    void* parameter;
};

// An exception that reached the thread's own entry would end the process,
// taking the user's list and whatever the other threads were doing with it.
DWORD WINAPI CatchingEntry(void* start) {
    const ThreadStart work = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    try {
        return work.entry(work.parameter);
    } catch (...) {
        return kThreadFailed;
    }
}

}  // namespace

UniqueHandle StartThread(LPTHREAD_START_ROUTINE entry, void* parameter) {
    auto* start = new (std::nothrow) ThreadStart{entry, parameter};
    if (start == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return UniqueHandle();
    }
    HANDLE thread = CreateThread(nullptr, 0, CatchingEntry, start, 0, nullptr);
    if (thread == nullptr)
        delete start;
    return UniqueHandle(thread);
}

bool ThreadEnded(HANDLE thread, DWORD& exitCode) {
    if (thread == nullptr || WaitForSingleObject(thread, 0) == WAIT_TIMEOUT)
        return false;
    exitCode = 0;
    if (!GetExitCodeThread(thread, &exitCode))
        exitCode = kThreadFailed;
    return true;
}

bool ThreadRunning(HANDLE thread) {
    return thread != nullptr && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
}

}  // namespace cs::toolkit
