#pragma once
// An in-memory settings store with injectable faults. As the registry
// store does, application, section and key names match without regard to
// letter case, an empty name or one holding a NUL raises 5, and a value is
// kept up to its first NUL.

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <tuple>

#include "base/RuntimeError.h"
#include "ports/SettingsPort.h"

namespace quillon::fakes {

class FakeSettings : public SettingsPort {
  public:
    int32_t failReadWith = 0;
    int32_t failWriteWith = 0;
    int writes = 0;

    std::string GetSetting(const std::string& application, const std::string& section,
                           const std::string& key, const std::string& defaultValue) override {
        CheckNames(application, section, key);
        if (failReadWith != 0) {
            Raise(failReadWith);
        }
        auto it = values_.find(Address(application, section, key));
        return it == values_.end() ? defaultValue : it->second;
    }

    void SaveSetting(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& value) override {
        CheckNames(application, section, key);
        if (failWriteWith != 0) {
            Raise(failWriteWith);
        }
        ++writes;
        values_[Address(application, section, key)] = value.substr(0, value.find('\0'));
    }

    void Put(const std::string& section, const std::string& key, const std::string& value) {
        values_[Address("MRP_Quillon", section, key)] = value;
    }
    bool Has(const std::string& section, const std::string& key) const {
        return values_.count(Address("MRP_Quillon", section, key)) != 0;
    }
    std::string Get(const std::string& section, const std::string& key) const {
        auto it = values_.find(Address("MRP_Quillon", section, key));
        return it == values_.end() ? std::string("<absent>") : it->second;
    }
    size_t Count() const { return values_.size(); }

  private:
    using Key = std::tuple<std::string, std::string, std::string>;
    static std::string Lower(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }
    static void CheckNames(const std::string& application, const std::string& section,
                           const std::string& key) {
        for (const std::string* name : {&application, &section, &key}) {
            if (name->empty() || name->find('\0') != std::string::npos) {
                Raise(kErrInvalidProcedureCall);
            }
        }
    }
    static Key Address(const std::string& app, const std::string& section, const std::string& key) {
        return {Lower(app), Lower(section), Lower(key)};
    }
    std::map<Key, std::string> values_;
};

}  // namespace quillon::fakes
