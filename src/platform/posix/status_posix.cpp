#include <cerrno>

#include "platform/posix/errno_status.h"

namespace cs::platform {

const char* StatusName(Status status) {
    switch (status) {
        case Status::Ok: return "ok";
        case Status::NotFound: return "not found";
        case Status::AccessDenied: return "access denied";
        case Status::NotRegular: return "not a regular file";
        case Status::NotDirectory: return "not a directory";
        case Status::IoError: return "input/output error";
        case Status::Unsupported: return "not supported";
        case Status::Other: return "other error";
    }
    return "other error";
}

Status StatusFromErrno(int error) {
    switch (error) {
        case 0: return Status::Ok;
        case ENOENT: return Status::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
        case ETXTBSY: return Status::AccessDenied;
        case ELOOP:
        case ENXIO:
        case EISDIR: return Status::NotRegular;
        case ENOTDIR: return Status::NotDirectory;
        case EIO: return Status::IoError;
        case ENOTSUP:
#if EOPNOTSUPP != ENOTSUP
        case EOPNOTSUPP:
#endif
        case EXDEV: return Status::Unsupported;
        default: return Status::Other;
    }
}

}  // namespace cs::platform
