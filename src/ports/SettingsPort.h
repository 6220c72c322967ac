#pragma once
// Port: the per-user settings store. A value is a string addressed by
// application, section and key; section and key names match without regard
// to letter case. On Windows: the REG_SZ value <key> of
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>.

#include <string>

namespace quillon {

class SettingsPort {
  public:
    virtual ~SettingsPort() = default;
    // The stored string, or `defaultValue` when nothing is stored.
    // Raises a RuntimeError when the store cannot be read.
    virtual std::string GetSetting(const std::string& application, const std::string& section,
                                   const std::string& key, const std::string& defaultValue) = 0;
    // Raises a RuntimeError when the value cannot be written.
    virtual void SaveSetting(const std::string& application, const std::string& section,
                             const std::string& key, const std::string& value) = 0;
};

}  // namespace quillon
