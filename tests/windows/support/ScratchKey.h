#pragma once
// A registry key under HKEY_CURRENT_USER that a test writes behind the
// program's back and reads what the program stored: removed with all its
// values when made and again when destroyed, so each test starts from
// nothing and leaves nothing.

#include <windows.h>

#include <string>

namespace quillon::testing {

// The key of one of the gateway's settings sections ("Windows", "General").
std::string GatewaySection(const std::string& section);

class ScratchKey {
  public:
    explicit ScratchKey(std::string path);
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    const std::string& Path() const { return path_; }
    // Removes the key with everything in it.
    void Clear() const;
    void Put(const std::string& name, const std::string& text) const;  // REG_SZ
    void PutDword(const std::string& name, DWORD number) const;
    // The stored text of a value, or "<absent>" / "<not text>".
    std::string Get(const std::string& name) const;

  private:
    void Set(const std::string& name, DWORD type, const void* data, DWORD size) const;

    std::string path_;
};

}  // namespace quillon::testing
