#pragma once
// The read-only registry value reader (module SkerrinModule): whether a key
// holds a value of a given name, and that value as text.
//
// Neither query reads a value by name. Both enumerate the key's values in
// the platform's order and take the first whose name CONTAINS the wanted
// name (case-sensitive): "CurrentBuild" matches "CurrentBuildNumber" when
// that comes first, and an empty name matches at the first step, even in a
// key with no values. A key that does not open gives false or empty text
// without a report.

#include <cstdint>
#include <string>

#include "ports/RegistryPort.h"

namespace quillon {

class ErrorLog;

class RegistryReader {
  public:
    RegistryReader(RegistryPort& registry, ErrorLog& log);

    bool KeyValuePresent(RegistryKey root, const std::string& subkey, const std::string& name);
    std::string GetKeyValue(RegistryKey root, const std::string& subkey, const std::string& name);

  private:
    struct Match;
    // Runs the shared enumeration loop; returns true when a value matched,
    // with its type and data in `match`.
    bool FindValue(RegistryKey root, const std::string& subkey, const std::string& name,
                   Match& match);

    RegistryPort& registry_;
    ErrorLog& log_;
};

}  // namespace quillon
