#pragma once
// The environment header of the error log: written by the run's first
// WriteErrorLog into the open file before its message. An empty line, then
// the program, operating system and locale stamped with the run's start
// time, then the monitor report (by loading CommonUI) and finally the main
// window's "see ErrorLog" hint. Every step's errors are suppressed: a
// failing query loses its line only.

#include <cstdint>
#include <string>

#include "base/ErrorLog.h"
#include "common/CommonUi.h"
#include "common/MrpModule.h"
#include "ports/ProgramInfoPort.h"
#include "sysinfo/LocaleInfo.h"
#include "sysinfo/OsIdentification.h"

namespace quillon {

class EnvironmentHeader : public LogHeader {
  public:
    EnvironmentHeader(ErrorLog& log, ProgramInfoPort& program, OsIdentification& os,
                      LocaleInfo& locale, CommonUi& commonUi, MrpModule& mrpModule);

    void WriteHeader() override;

  private:
    // One line stamped with the run's start time, not the time of writing.
    void WriteStartLine(const std::string& text);

    ErrorLog& log_;
    ProgramInfoPort& program_;
    OsIdentification& os_;
    LocaleInfo& locale_;
    CommonUi& commonUi_;
    MrpModule& mrpModule_;
};

}  // namespace quillon
