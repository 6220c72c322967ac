#pragma once
// Port: the files the program touches (only the error log, appended to).
//
// Every operation raises a RuntimeError on failure: 53 for a missing file,
// 70 when access is denied, 75 or 76 for a bad path, 57 or 61 for a failed
// write. An AppendFile is open from OpenForAppend until it is destroyed.
// A path is a pathname as ProgramInfoPort::Path gives it (on Windows UTF-8),
// never shown to a reader.

#include <cstdint>
#include <memory>
#include <string>

namespace quillon {

class AppendFile {
  public:
    virtual ~AppendFile() = default;  // closes the file
    // Appends `text` and CR LF. The bytes of `text` are written unchanged.
    virtual void WriteLine(const std::string& text) = 0;
};

class FilePort {
  public:
    virtual ~FilePort() = default;
    // Size in bytes of the file at `path`; raises 53 when it does not exist.
    virtual int64_t FileLength(const std::string& path) = 0;
    // Opens `path` for appending, creating it when missing.
    virtual std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) = 0;
};

}  // namespace quillon
