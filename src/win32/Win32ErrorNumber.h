#pragma once
// Win32 error codes (GetLastError) as the run-time error numbers of the
// file operations.

#include <windows.h>

#include <cstdint>

namespace quillon::win32 {

enum class FileOperation { kQuery, kOpen, kWrite };

// The run-time error number for `win32Error` during `operation`.
int32_t FileErrorNumber(DWORD win32Error, FileOperation operation);

}  // namespace quillon::win32
