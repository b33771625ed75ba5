#include "platform/status.h"

namespace cs::platform {

const char* StatusName(Status status) {
    switch (status) {
        case Status::Ok:
            return "ok";
        case Status::NotFound:
            return "not found";
        case Status::AccessDenied:
            return "access denied";
        case Status::NotRegular:
            return "not a regular file";
        case Status::NotDirectory:
            return "not a directory";
        case Status::IoError:
            return "input/output error";
        case Status::Unsupported:
            return "not supported";
        case Status::Other:
            return "other error";
    }
    return "other error";
}

}  // namespace cs::platform
