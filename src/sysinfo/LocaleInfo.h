#pragma once
// Locale answers (module LocaleInfo) for the error log's environment header.
// Nothing assigns the locale state during a run, so the answers are fixed:
// identifier 0, "?" for language, OEM code page and country (the answer
// while the identifier is 0), and empty text for the ANSI code page and the
// two separators.

#include <cstdint>
#include <string>

namespace quillon {

class ErrorLog;

class LocaleInfo {
  public:
    explicit LocaleInfo(ErrorLog& log);

    int32_t GetLocaleID();
    std::string GetLocaleLanguage();
    std::string GetLocaleOEMCodePage();
    std::string GetLocaleCountry();
    std::string GetLocaleANSICodePage();
    std::string GetLocaleThousandSeparator();
    std::string GetLocaleDecimalSeparator();

    int32_t LocaleID = 0;
    std::string ANSICodePage, ThousandSeparator, DecimalSeparator;

  private:
    // "?": the answer of the name-like queries while no locale is chosen.
    std::string UnknownAnswer(const char* qualifiedName);
    std::string Answer(const char* qualifiedName, const std::string& value);

    ErrorLog& log_;
};

}  // namespace quillon
