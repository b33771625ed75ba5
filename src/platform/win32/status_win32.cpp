#include <windows.h>

#include "platform/win32/error_status.h"

namespace cs::platform {

Status StatusFromWin32Error(unsigned long error) {
    switch (error) {
        case ERROR_SUCCESS:
            return Status::Ok;

        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        // A file deleted while another program still holds it open stays
        // visible until the last handle closes, but cannot be opened: for
        // the scan it is already gone.
        case ERROR_DELETE_PENDING:
            return Status::NotFound;

        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
        case ERROR_NETWORK_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
        case ERROR_BUSY:
        case ERROR_USER_MAPPED_FILE:
            return Status::AccessDenied;

        // Reparse points whose target cannot be reached (a symbolic link to
        // a missing file, a junction into nowhere).
        case ERROR_CANT_ACCESS_FILE:
        case ERROR_CANT_RESOLVE_FILENAME:
            return Status::NotRegular;

        case ERROR_DIRECTORY:
            return Status::NotDirectory;

        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
        case ERROR_IO_DEVICE:
        case ERROR_FILE_CORRUPT:
        case ERROR_DISK_CORRUPT:
        case ERROR_NETNAME_DELETED:
        case ERROR_UNEXP_NET_ERR:
            return Status::IoError;

        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_CALL_NOT_IMPLEMENTED:
        case ERROR_NOT_SAME_DEVICE:
            return Status::Unsupported;

        default:
            return Status::Other;
    }
}

}  // namespace cs::platform
