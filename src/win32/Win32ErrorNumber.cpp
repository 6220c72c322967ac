#include "win32/Win32ErrorNumber.h"

#include "base/RuntimeError.h"

namespace quillon::win32 {

int32_t FileErrorNumber(DWORD win32Error, FileOperation operation) {
    switch (win32Error) {
        case ERROR_FILE_NOT_FOUND:
            return kErrFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_DRIVE:
            // Asking for the size of a file in a missing folder means the
            // file is missing; opening it there means the path is wrong.
            return operation == FileOperation::kQuery ? kErrFileNotFound : kErrPathNotFound;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return kErrBadFileNameOrNumber;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return kErrPermissionDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return kErrDiskFull;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return kErrOutOfMemory;
        default:
            return operation == FileOperation::kWrite ? kErrDeviceIO : kErrPathFileAccess;
    }
}

}  // namespace quillon::win32
