#include "sysinfo/LocaleInfo.h"

#include "base/ErrorTrap.h"

namespace quillon {

LocaleInfo::LocaleInfo(ErrorLog& log) : log_(log) {}

int32_t LocaleInfo::GetLocaleID() {
    int32_t result = 0;
    Trap(log_, "LocaleInfo.GetLocaleID", [&] { result = LocaleID; });
    return result;
}

std::string LocaleInfo::GetLocaleLanguage() {
    return UnknownAnswer("LocaleInfo.GetLocaleLanguage");
}

std::string LocaleInfo::GetLocaleOEMCodePage() {
    return UnknownAnswer("LocaleInfo.GetLocaleOEMCodePage");
}

std::string LocaleInfo::GetLocaleCountry() {
    return UnknownAnswer("LocaleInfo.GetLocaleCountry");
}

std::string LocaleInfo::GetLocaleANSICodePage() {
    return Answer("LocaleInfo.GetLocaleANSICodePage", ANSICodePage);
}

std::string LocaleInfo::GetLocaleThousandSeparator() {
    return Answer("LocaleInfo.GetLocaleThousandSeparator", ThousandSeparator);
}

std::string LocaleInfo::GetLocaleDecimalSeparator() {
    return Answer("LocaleInfo.GetLocaleDecimalSeparator", DecimalSeparator);
}

std::string LocaleInfo::UnknownAnswer(const char* qualifiedName) {
    std::string result = "?";
    // Only the "no locale" answer exists: no operation of this program
    // chooses a locale, so there is nothing to look up.
    Trap(log_, qualifiedName, [&] { result = "?"; });
    return result;
}

std::string LocaleInfo::Answer(const char* qualifiedName, const std::string& value) {
    std::string result;
    Trap(log_, qualifiedName, [&] { result = value; });
    return result;
}

}  // namespace quillon
