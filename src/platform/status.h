// Platform status: the one small vocabulary in which every operating-system
// failure reaches the engine. Each platform maps its own error codes to it
// in one place (posix/status_posix.cpp, win32/status_win32.cpp). Any thread.
#pragma once

namespace cs::platform {

enum class Status {
    Ok,
    NotFound,      // vanished, or a path component is missing
    AccessDenied,  // permission, sharing violation, locked
    NotRegular,    // a FIFO, socket, device or link where a file was expected
    NotDirectory,
    IoError,      // the medium failed part way
    Unsupported,  // e.g. no trash on that file system
    Other,
};

const char* StatusName(Status status);

}  // namespace cs::platform
