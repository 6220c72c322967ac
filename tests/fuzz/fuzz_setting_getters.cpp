// The typed setting getters over arbitrary stored values and defaults.
// Whatever the store holds, a getter returns the converted stored value, or
// else the converted default, or 0 / false with one report when the default
// does not convert; a bad stored value is never reported, and with debug on
// the result line shows exactly the value returned.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "base/ErrorTrap.h"
#include "base/Settings.h"
#include "fakes/FakeLog.h"
#include "fakes/FakeNumbers.h"
#include "fakes/FakeProgramInfo.h"
#include "fakes/FakeSettings.h"

using quillon::fuzz::Require;

namespace {

// The number conversion's contract: text that is no number raises Type
// mismatch, a number out of range Overflow, nothing else.
bool ConversionError(int32_t error) {
    return error == 0 || error == quillon::kErrOverflow || error == quillon::kErrTypeMismatch;
}

// What a getter must return, from the converter alone; `defaultError` is
// the error of the default's conversion, non-zero on the failure path.
template <class T, class Convert>
T Expected(const std::string& stored, const std::string& defaultValue, Convert convert,
           int32_t& defaultError) {
    T fallback{};
    defaultError = quillon::CollectError([&] { fallback = convert(defaultValue); });
    Require(ConversionError(defaultError),
            "a conversion fails only with Overflow or Type mismatch");
    if (defaultError != 0) {
        return T{};
    }
    T value{};
    const int32_t storedError = quillon::CollectError([&] { value = convert(stored); });
    Require(ConversionError(storedError), "a conversion fails only with Overflow or Type mismatch");
    return storedError != 0 ? fallback : value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    quillon::fakes::FakeLog log;
    quillon::fakes::FakeSettings store;
    quillon::fakes::FakeNumbers numbers;
    quillon::fakes::FakeProgramInfo program;
    quillon::Settings settings(store, numbers, program, log.log);

    const uint8_t mode = input.ConsumeIntegral<uint8_t>();
    const bool debug = (mode & 1) != 0;
    const bool present = (mode & 2) != 0;
    const bool unreadable = (mode & 4) != 0;
    const int member = (mode >> 3) % 3;
    const std::string section = input.ConsumeRandomLengthString(40);
    const std::string key = input.ConsumeRandomLengthString(40);
    const std::string defaultValue = input.ConsumeRandomLengthString(60);
    const std::string stored = input.ConsumeRemainingBytesAsString();

    // The store refuses an empty name or one holding a NUL (error 5), as
    // an unreadable store, and keeps a value up to its first NUL.
    const auto validName = [](const std::string& name) {
        return !name.empty() && name.find('\0') == std::string::npos;
    };
    const bool addressable = validName(section) && validName(key);
    if (present && addressable) {
        store.SaveSetting("MRP_Quillon", section, key, stored);
    }
    if (unreadable) {
        store.failReadWith = quillon::kErrPermissionDenied;
    }
    log.log.SetDebug(debug);
    // What the getter sees: the stored text, or the default when the value
    // is absent or the store cannot be read.
    const std::string seen =
        present && addressable && !unreadable ? stored.substr(0, stored.find('\0')) : defaultValue;

    int32_t defaultError = 0;
    std::string shown;
    const char* debugLabel = "";
    const char* reportPrefix = "";
    if (member == 0) {
        const int16_t expected = Expected<int16_t>(
            seen, defaultValue, [&](const std::string& t) { return numbers.ToInteger(t); },
            defaultError);
        const int16_t result =
            settings.GetIntegerSetting("MRP_Quillon", section, key, defaultValue);
        Require(result == expected, "GetIntegerSetting returns stored, default or 0");
        shown = std::to_string(result);
        debugLabel = "GetIntegerSetting, Section = ";
        reportPrefix = "Common.GetIntegerSetting, SectionName = ";
    } else if (member == 1) {
        const int32_t expected = Expected<int32_t>(
            seen, defaultValue, [&](const std::string& t) { return numbers.ToLong(t); },
            defaultError);
        const int32_t result = settings.GetLongSetting("MRP_Quillon", section, key, defaultValue);
        Require(result == expected, "GetLongSetting returns stored, default or 0");
        shown = std::to_string(result);
        debugLabel = "GetLongSetting,    Section = ";
        reportPrefix = "Common.GetLongSetting, SectionName = ";
    } else {
        const bool expected = Expected<bool>(
            seen, defaultValue, [&](const std::string& t) { return numbers.ToBoolean(t); },
            defaultError);
        const bool result = settings.GetBooleanSetting("MRP_Quillon", section, key, defaultValue);
        Require(result == expected, "GetBooleanSetting returns stored, default or false");
        shown = result ? "True" : "False";
        debugLabel = "GetBooleanSetting, Section = ";
        reportPrefix = "Common.GetBooleanSetting, SectionName = ";
    }

    const std::string stamp = log.clock.FormatLogStamp(log.clock.CurrentTime()) + " > ";
    std::string expectedLog;
    if (defaultError != 0) {
        expectedLog = stamp + "program error " + std::to_string(defaultError) + " in module " +
                      reportPrefix + section + ", Key = " + key + ", theSetting = " + seen +
                      ", DefaultValue = " + defaultValue + ": " +
                      quillon::ErrorDescription(defaultError) + "\r\n";
    } else if (debug) {
        expectedLog =
            stamp + debugLabel + section + ", Key = " + key + ", Result = " + shown + "\r\n";
    }
    Require(log.Text() == expectedLog,
            "only a default that does not convert is reported (with the text read), and with "
            "debug on a good result is shown exactly");
    return 0;
}
