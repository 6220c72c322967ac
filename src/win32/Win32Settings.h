#pragma once
// SettingsPort on the per-user registry: the REG_SZ value <key> of
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>.
// Registry key and value names compare without regard to letter case, which
// the program relies on (a state written as "...WindowState" is read back
// as "...Windowstate").

#include "ports/ProgramIdentity.h"
#include "ports/SettingsPort.h"

namespace quillon::win32 {

class Win32Settings : public SettingsPort {
  public:
    static constexpr const char* kRootPath = identity::kSettingsRoot;

    std::string GetSetting(const std::string& application, const std::string& section,
                           const std::string& key, const std::string& defaultValue) override;
    void SaveSetting(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& value) override;
};

}  // namespace quillon::win32
