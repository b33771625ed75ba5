#include <cerrno>

#include "platform/posix/errno_status.h"

namespace cs::platform {

Status StatusFromErrno(int error) {
    switch (error) {
        case 0:
            return Status::Ok;
        case ENOENT:
            return Status::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
        case ETXTBSY:
            return Status::AccessDenied;
        case ELOOP:
        case ENXIO:
        case EISDIR:
            return Status::NotRegular;
        case ENOTDIR:
            return Status::NotDirectory;
        case EIO:
            return Status::IoError;
        case ENOTSUP:
#if EOPNOTSUPP != ENOTSUP
        case EOPNOTSUPP:
#endif
        case EXDEV:
            return Status::Unsupported;
        default:
            return Status::Other;
    }
}

}  // namespace cs::platform
