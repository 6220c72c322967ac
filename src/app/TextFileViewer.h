#pragma once
// Shows a text file to the user in their default viewer for its type, or
// in Notepad when no viewer is registered or it cannot be started. A path
// is a UTF-8 pathname (see win32/WideText.h), opened by its wide name.

#include <windows.h>

#include <functional>
#include <string>

namespace quillon::app {

// Opens the file at `path`; true when a viewer was started.
using TextFileOpener = std::function<bool(const std::string& path)>;

bool OpenInTextViewer(const std::string& path);

// The fallback: Notepad from the Windows folder on the file at `path`. The
// started process's handle, which the caller closes, or null.
HANDLE StartNotepad(const std::string& path);

}  // namespace quillon::app
