#include "base/ErrorLog.h"

#include "base/ErrorTrap.h"
#include "base/UtcClock.h"

namespace quillon {

ErrorLog::ErrorLog(FilePort& files, UtcClock& clock) : files_(files), clock_(clock) {}

void ErrorLog::ClearRunState() {
    headerWritten_ = false;
    headerInProgress_ = false;
    debugEnabled_ = false;
    file_.reset();
}

void ErrorLog::WriteErrorLog(const std::string& message) {
    // Every step runs with errors suppressed: a failed step is skipped.
    int64_t size = 0;  // a missing file counts as 0 bytes
    IgnoreErrors([&] { size = files_.FileLength(pathname_); });
    if (size > kMaximumSize) {
        IgnoreErrors([&] { SetDebug(false); });
        return;
    }

    // A write that arrives while another holds the file open (from an
    // error trap of a header query, or the clock's error path during the
    // monitor report) finds the log-open flag set: it neither opens the
    // file again nor starts a second header, and it leaves closing the file
    // to the outer write. Its line lands where the header has got to.
    const bool nested = file_ != nullptr;
    if (!nested) {
        IgnoreErrors([&] { file_ = files_.OpenForAppend(pathname_); });
    }
    if (!headerWritten_ && !headerInProgress_) {
        headerInProgress_ = true;
        IgnoreErrors([&] {
            if (header_ != nullptr) {
                header_->WriteHeader();
            }
        });
        headerInProgress_ = false;
        headerWritten_ = true;
    }
    IgnoreErrors([&] { WriteOpenLine(Stamp(clock_.CurrentTime()) + " > " + message); });
    if (!nested) {
        IgnoreErrors([&] { file_.reset(); });
    }
}

void ErrorLog::WriteOpenLine(const std::string& line) {
    if (file_ == nullptr) {
        Raise(kErrBadFileNameOrNumber);
    }
    file_->WriteLine(line);
}

std::string ErrorLog::Stamp(double dateTime) {
    return clock_.FormatLogStamp(dateTime);
}

void ErrorLog::ReportProgramError(int32_t number, const std::string& procedureName) {
    WriteErrorLog("program error " + std::to_string(number) + " in module " + procedureName + ": " +
                  ErrorDescription(number));
}

void ErrorLog::SetDebug(bool enabled) {
    Trap(*this, "Common.SetDebug", [&] { debugEnabled_ = enabled; });
}

bool ErrorLog::GetDebug() {
    bool result = false;
    Trap(*this, "Common.GetDebug", [&] { result = debugEnabled_; });
    return result;
}

void ErrorLog::DebugLog(const std::string& message) {
    Trap(*this, "Common.DebugLog", [&] {
        if (debugEnabled_) {
            WriteErrorLog(message);
        }
    });
}

}  // namespace quillon
