#include "common/EnvironmentHeader.h"

#include <cstdio>

#include "base/ErrorTrap.h"
#include "sysinfo/TrimBlanks.h"

namespace quillon {

namespace {

// Upper-case hexadecimal without leading zeros; a negative number shows its
// 32-bit two's complement.
std::string Hex(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<uint32_t>(value));
    return text;
}

}  // namespace

EnvironmentHeader::EnvironmentHeader(ErrorLog& log, ProgramInfoPort& program, OsIdentification& os,
                                     LocaleInfo& locale, CommonUi& commonUi, MrpModule& mrpModule)
    : log_(log),
      program_(program),
      os_(os),
      locale_(locale),
      commonUi_(commonUi),
      mrpModule_(mrpModule) {}

void EnvironmentHeader::WriteStartLine(const std::string& text) {
    log_.WriteOpenLine(log_.Stamp(log_.StartTime()) + " > " + text);
}

void EnvironmentHeader::WriteHeader() {
    // Runs inside WriteErrorLog with the file open. A query whose error trap
    // reports writes a nested line: ErrorLog keeps it from opening the file
    // again or starting a second header, and it lands among these lines.
    int32_t localeId = 0;
    IgnoreErrors([&] { localeId = locale_.GetLocaleID(); });

    IgnoreErrors([&] { log_.WriteOpenLine(""); });
    IgnoreErrors([&] {
        WriteStartLine(program_.ProductName() + " version " + std::to_string(program_.Major()) +
                       "." + std::to_string(program_.Minor()) + "." +
                       std::to_string(program_.Revision()));
    });
    IgnoreErrors([&] { WriteStartLine("App.Path          : " + program_.PathText()); });
    IgnoreErrors([&] { WriteStartLine("App.exe           : " + program_.ExeName()); });
    IgnoreErrors([&] {
        WriteStartLine("Operating System  : " + os_.GetOSName() + " (" +
                       std::to_string(os_.OSBitness) + "-bit) build " +
                       std::to_string(os_.GetOSBuild()));
    });
    IgnoreErrors([&] {
        WriteStartLine("Locale ID         : " + std::to_string(localeId) + " (0x" + Hex(localeId) +
                       ")");
    });
    IgnoreErrors([&] { WriteStartLine("ANSI CodePage     : " + locale_.GetLocaleANSICodePage()); });
    IgnoreErrors([&] { WriteStartLine("OEM CodePage      : " + locale_.GetLocaleOEMCodePage()); });
    IgnoreErrors([&] { WriteStartLine("Country           : " + locale_.GetLocaleCountry()); });
    IgnoreErrors([&] { WriteStartLine("Language          : " + locale_.GetLocaleLanguage()); });
    IgnoreErrors(
        [&] { WriteStartLine("DecimalSeparator  : " + locale_.GetLocaleDecimalSeparator()); });
    IgnoreErrors(
        [&] { WriteStartLine("ThousandSeparator : " + locale_.GetLocaleThousandSeparator()); });
    IgnoreErrors([&] {
        WriteStartLine("Quillon Apps      : " + TrimBlanks(mrpModule_.GetInteropCaption()));
    });

    // The monitor report follows the header lines while the file is open.
    IgnoreErrors([&] { commonUi_.Load(); });
    // ErrorLog marks the header written once this returns.
    IgnoreErrors([&] { mrpModule_.ErrorLogExists(); });
}

}  // namespace quillon
