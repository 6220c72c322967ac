#pragma once
// The error and debug log: ErrorLog.txt next to the executable, only ever
// appended to, opened and closed on every write.
//
// Line format: "dd-mmm-yyyy hh:nn:ss > text" (UTC) and CR LF. The first
// line written in a run is preceded by the environment header (LogHeader),
// written at most once per run even if the file is deleted later.

#include <cstdint>
#include <memory>
#include <string>

#include "ports/FilePort.h"

namespace quillon {

class UtcClock;

// Writes the environment header into the log file while it is open; see
// common/EnvironmentHeader.h.
class LogHeader {
  public:
    virtual ~LogHeader() = default;
    virtual void WriteHeader() = 0;
};

class ErrorLog {
  public:
    // A log larger than this many bytes is no longer written to.
    static constexpr int64_t kMaximumSize = 100000000;

    ErrorLog(FilePort& files, UtcClock& clock);

    void SetHeader(LogHeader* header) { header_ = header; }

    // Called by Initialize: clears the header, debug and log-open flags.
    void ClearRunState();
    void SetErrorLogPathname(const std::string& pathname) { pathname_ = pathname; }
    // Both of the above.
    void Reset(const std::string& pathname) {
        ClearRunState();
        SetErrorLogPathname(pathname);
    }
    void SetStartTime(double startTime) { startTime_ = startTime; }

    // Appends one stamped line; writes the header first on the run's first
    // write. Never fails and never reports.
    void WriteErrorLog(const std::string& message);
    // "program error <n> in module <name>: <description>".
    void ReportProgramError(int32_t number, const std::string& procedureName);

    void SetDebug(bool enabled);
    bool GetDebug();
    void DebugLog(const std::string& message);

    // Appends one raw line to the log file while a write holds it open
    // (the header and the monitor report). Raises 52 when it is not open.
    void WriteOpenLine(const std::string& line);
    // `dateTime` as the stamp of a log line, "dd-mmm-yyyy hh:nn:ss".
    std::string Stamp(double dateTime);

    const std::string& ErrorLogPathname() const { return pathname_; }
    double StartTime() const { return startTime_; }
    bool HeaderWritten() const { return headerWritten_; }
    bool LogOpen() const { return file_ != nullptr; }

  private:
    FilePort& files_;
    UtcClock& clock_;
    LogHeader* header_ = nullptr;

    std::string pathname_;
    double startTime_ = 0;
    bool headerWritten_ = false;
    bool headerInProgress_ = false;
    bool debugEnabled_ = false;
    std::unique_ptr<AppendFile> file_;  // the log-open flag is file_ != nullptr
};

}  // namespace quillon
