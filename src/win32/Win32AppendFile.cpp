#include "win32/Win32AppendFile.h"

#include <algorithm>

#include "base/RuntimeError.h"
#include "win32/Win32ErrorNumber.h"

namespace quillon::win32 {

void Win32AppendFile::WriteLine(const std::string& text) {
    // One write for the text and its line end, so that a line appended by
    // another process cannot land between them.
    const std::string line = text + "\r\n";
    size_t done = 0;
    while (done < line.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(line.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file_.Get(), line.data() + done, chunk, &written, nullptr)) {
            Raise(FileErrorNumber(::GetLastError(), FileOperation::kWrite));
        }
        if (written == 0) {
            Raise(kErrDiskFull);  // the device took nothing: no room left
        }
        done += written;
    }
}

}  // namespace quillon::win32
