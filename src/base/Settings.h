#pragma once
// Typed access to the per-user settings store. The getters never fail: a
// missing or malformed stored value falls back to the converted default.

#include <cstdint>
#include <string>

#include "ports/NumberConversionPort.h"
#include "ports/ProgramInfoPort.h"
#include "ports/SettingsPort.h"

namespace quillon {

class ErrorLog;

class Settings {
  public:
    Settings(SettingsPort& store, NumberConversionPort& numbers, ProgramInfoPort& program,
             ErrorLog& log);

    int16_t GetIntegerSetting(const std::string& appName, const std::string& sectionName,
                              const std::string& key, const std::string& defaultValue);
    int32_t GetLongSetting(const std::string& appName, const std::string& sectionName,
                           const std::string& key, const std::string& defaultValue);
    bool GetBooleanSetting(const std::string& appName, const std::string& sectionName,
                           const std::string& key, const std::string& defaultValue);

    // Writes a string value; raises a RuntimeError when the store refuses.
    void SaveSetting(const std::string& appName, const std::string& sectionName,
                     const std::string& key, const std::string& value);

    // "major.minor.revision" in plain decimals; empty after an error.
    std::string Version();

  private:
    SettingsPort& store_;
    NumberConversionPort& numbers_;
    ProgramInfoPort& program_;
    ErrorLog& log_;
};

}  // namespace quillon
