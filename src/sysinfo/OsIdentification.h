#pragma once
// Operating-system identification (part of module Common): the name, build
// and word length of the running Windows, found once at start-up.
//
// Every NT 6.x but 6.0 takes its product name and build from the registry
// (HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion); the
// version numbers only give a fallback name. This relies on the executable
// declaring no supported operating systems: without a declaration Windows
// 8.1 and later report 6.2 and so take the registry path, with one Windows
// 10 would report 10.0 and get the fallback name.

#include <cstdint>
#include <string>

#include "ports/NumberConversionPort.h"
#include "ports/OsVersionPort.h"

namespace quillon {

class ErrorLog;
class RegistryReader;

class OsIdentification {
  public:
    OsIdentification(OsVersionPort& osVersion, RegistryReader& registry,
                     NumberConversionPort& numbers, ErrorLog& log);

    // Fills OSName, OSBuild and OSBitness. Initialize sets OSName to
    // "Unknown" first; after an error the values stay as far as they got.
    void GetOSVersion();
    std::string GetOSName();
    int32_t GetOSBuild();
    // The service-pack text without surrounding blanks, cut at its first NUL.
    std::string CSDVersionTrim(const std::string& text);

    std::string OSName;
    int32_t OSBuild = 0;
    int16_t OSBitness = 0;

  private:
    // Returns true when the row asks for the native-architecture check.
    bool ApplyDecisionTable(const OsVersionInfoA& info, const std::string& csdText);
    void ReadRegistry(const OsVersionInfoA& info, const std::string& csdText);

    OsVersionPort& osVersion_;
    RegistryReader& registry_;
    NumberConversionPort& numbers_;
    ErrorLog& log_;
};

}  // namespace quillon
