#include "base/Settings.h"

#include "base/ErrorLog.h"
#include "base/ErrorTrap.h"

namespace quillon {

namespace {

// The one algorithm behind the three typed getters, parameterised by the
// conversion and the texts of the debug and error lines.
template <class T, class Convert, class Show>
T GetTypedSetting(SettingsPort& store, ErrorLog& log, const std::string& appName,
                  const std::string& sectionName, const std::string& key,
                  const std::string& defaultValue, const char* debugLabel, const char* reportPrefix,
                  Convert convert, Show show) {
    std::string theSetting = "~uninitialized~";
    if (CollectError(
            [&] { theSetting = store.GetSetting(appName, sectionName, key, defaultValue); }) != 0) {
        theSetting = defaultValue;
    }

    T result{};
    const int32_t error = CollectError([&] { result = convert(defaultValue); });
    if (error != 0) {
        log.ReportProgramError(error, reportPrefix + sectionName + ", Key = " + key +
                                          ", theSetting = " + theSetting +
                                          ", DefaultValue = " + defaultValue);
        return T{};
    }
    IgnoreErrors([&] { result = convert(theSetting); });

    if (log.GetDebug()) {
        log.WriteErrorLog(debugLabel + sectionName + ", Key = " + key +
                          ", Result = " + show(result));
    }
    return result;
}

std::string ShowNumber(int32_t value) {
    return std::to_string(value);
}
std::string ShowBoolean(bool value) {
    return value ? "True" : "False";
}

}  // namespace

Settings::Settings(SettingsPort& store, NumberConversionPort& numbers, ProgramInfoPort& program,
                   ErrorLog& log)
    : store_(store), numbers_(numbers), program_(program), log_(log) {}

int16_t Settings::GetIntegerSetting(const std::string& appName, const std::string& sectionName,
                                    const std::string& key, const std::string& defaultValue) {
    return GetTypedSetting<int16_t>(
        store_, log_, appName, sectionName, key, defaultValue,
        "GetIntegerSetting, Section = ", "Common.GetIntegerSetting, SectionName = ",
        [&](const std::string& text) { return numbers_.ToInteger(text); }, ShowNumber);
}

int32_t Settings::GetLongSetting(const std::string& appName, const std::string& sectionName,
                                 const std::string& key, const std::string& defaultValue) {
    return GetTypedSetting<int32_t>(
        store_, log_, appName, sectionName, key, defaultValue,
        "GetLongSetting,    Section = ", "Common.GetLongSetting, SectionName = ",
        [&](const std::string& text) { return numbers_.ToLong(text); }, ShowNumber);
}

bool Settings::GetBooleanSetting(const std::string& appName, const std::string& sectionName,
                                 const std::string& key, const std::string& defaultValue) {
    return GetTypedSetting<bool>(
        store_, log_, appName, sectionName, key, defaultValue,
        "GetBooleanSetting, Section = ", "Common.GetBooleanSetting, SectionName = ",
        [&](const std::string& text) { return numbers_.ToBoolean(text); }, ShowBoolean);
}

void Settings::SaveSetting(const std::string& appName, const std::string& sectionName,
                           const std::string& key, const std::string& value) {
    store_.SaveSetting(appName, sectionName, key, value);
}

std::string Settings::Version() {
    std::string result;
    Trap(log_, "Common.Version", [&] {
        result = std::to_string(program_.Major()) + "." + std::to_string(program_.Minor()) + "." +
                 std::to_string(program_.Revision());
    });
    return result;
}

}  // namespace quillon
