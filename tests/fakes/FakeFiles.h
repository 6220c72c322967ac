#pragma once
// In-memory files with injectable faults.

#include <map>
#include <memory>
#include <string>

#include "base/RuntimeError.h"
#include "ports/FilePort.h"

namespace quillon::fakes {

class FakeFiles : public FilePort {
  public:
    std::map<std::string, std::string> contents;
    std::map<std::string, int64_t> sizeOverride;  // pretend a file is this large
    int32_t failOpenWith = 0;                     // raise this on OpenForAppend
    int32_t failWriteWith = 0;                    // raise this on WriteLine
    int opens = 0;
    int openNow = 0;

    int64_t FileLength(const std::string& path) override {
        auto size = sizeOverride.find(path);
        if (size != sizeOverride.end()) {
            return size->second;
        }
        auto it = contents.find(path);
        if (it == contents.end()) {
            Raise(kErrFileNotFound);
        }
        return static_cast<int64_t>(it->second.size());
    }

    std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) override {
        if (failOpenWith != 0) {
            Raise(failOpenWith);
        }
        ++opens;
        contents[path];  // creates
        return std::make_unique<File>(*this, path);
    }

    bool Exists(const std::string& path) const { return contents.count(path) != 0; }

  private:
    class File : public AppendFile {
      public:
        File(FakeFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {
            ++owner_.openNow;
        }
        ~File() override { --owner_.openNow; }
        void WriteLine(const std::string& text) override {
            if (owner_.failWriteWith != 0) {
                Raise(owner_.failWriteWith);
            }
            owner_.contents[path_] += text + "\r\n";
        }

      private:
        FakeFiles& owner_;
        std::string path_;
    };
};

}  // namespace quillon::fakes
