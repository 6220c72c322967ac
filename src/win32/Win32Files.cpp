#include "win32/Win32Files.h"

#include <windows.h>

#include "base/RuntimeError.h"
#include "win32/ScopedHandle.h"
#include "win32/WideText.h"
#include "win32/Win32AppendFile.h"
#include "win32/Win32ErrorNumber.h"

namespace quillon::win32 {

int64_t Win32Files::FileLength(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        Raise(kErrBadFileNameOrNumber);
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(WidePathname(path).c_str(), GetFileExInfoStandard, &data)) {
        Raise(FileErrorNumber(::GetLastError(), FileOperation::kQuery));
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Raise(kErrFileNotFound);  // a folder is not a file with a length
    }
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                data.nFileSizeLow);
}

std::unique_ptr<AppendFile> Win32Files::OpenForAppend(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        Raise(kErrBadFileNameOrNumber);
    }
    // FILE_APPEND_DATA without FILE_WRITE_DATA makes every write land at the
    // current end of the file, even when another process appends as well.
    // Other programs may read, write, rename or delete the log while it is open.
    ScopedHandle file(::CreateFileW(WidePathname(path).c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        Raise(FileErrorNumber(::GetLastError(), FileOperation::kOpen));
    }
    return std::make_unique<Win32AppendFile>(file.Release());
}

}  // namespace quillon::win32
