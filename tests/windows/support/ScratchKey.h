#pragma once
// A registry key under HKEY_CURRENT_USER that a test writes behind the
// program's back and reads what the program stored: removed with all its
// values when made and again when destroyed, so each test starts from
// nothing and leaves nothing.

#include <windows.h>

#include <string>
#include <vector>

namespace quillon::testing {

// The key of the gateway's settings, and of one of their sections
// ("Windows", "General").
std::string GatewaySettings();
std::string GatewaySection(const std::string& section);

// A value under HKEY_CURRENT_USER\`path` as text: a string as it is, a
// DWORD as "dword:<n>", otherwise "<absent>" or "<not text>".
std::string ReadUserValue(const std::string& path, const std::string& name);
bool UserKeyExists(const std::string& path);
// The names of the subkeys of HKEY_CURRENT_USER\`path`, or the text of its
// values; none when it does not exist.
enum class KeyEntries { Subkeys, ValueTexts };
std::vector<std::string> ListUserKey(const std::string& path, KeyEntries what);

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
    // A value as ReadUserValue reads it.
    std::string Get(const std::string& name) const { return ReadUserValue(path_, name); }
    bool Exists() const { return UserKeyExists(path_); }

  private:
    void Set(const std::string& name, DWORD type, const void* data, DWORD size) const;

    std::string path_;
};

}  // namespace quillon::testing
