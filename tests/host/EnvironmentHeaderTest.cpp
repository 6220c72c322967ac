#include <gtest/gtest.h>

#include <string>

#include "base/ErrorLog.h"
#include "common/CommonUi.h"
#include "common/EnvironmentHeader.h"
#include "common/MrpModule.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeControls.h"
#include "fakes/FakeForm.h"
#include "fakes/FakeLog.h"
#include "fakes/FakeMonitors.h"
#include "fakes/FakeNumbers.h"
#include "fakes/FakeOsVersion.h"
#include "fakes/FakeProgramInfo.h"
#include "fakes/FakeRegistry.h"
#include "placement/MonitorReport.h"
#include "sysinfo/LocaleInfo.h"
#include "sysinfo/OsIdentification.h"
#include "sysinfo/RegistryReader.h"

namespace quillon {
namespace {

class ProgramWithoutPath : public fakes::FakeProgramInfo {
  public:
    bool failPath = false;
    std::string PathText() override {
        if (failPath) {
            Raise(kErrPathNotFound);
        }
        return FakeProgramInfo::PathText();
    }
};

const char kHeaderLines[] =
    "\r\n"
    "07-Dec-2026 08:00:00 > MRP_Quillon version 1.0.2\r\n"
    "07-Dec-2026 08:00:00 > App.Path          : C:\\Radio\\MRP_Quillon\r\n"
    "07-Dec-2026 08:00:00 > App.exe           : MRP_Quillon\r\n"
    "07-Dec-2026 08:00:00 > Operating System  : Windows 7 Professional (64-bit) build 7601\r\n"
    "07-Dec-2026 08:00:00 > Locale ID         : 0 (0x0)\r\n"
    "07-Dec-2026 08:00:00 > ANSI CodePage     : \r\n"
    "07-Dec-2026 08:00:00 > OEM CodePage      : ?\r\n"
    "07-Dec-2026 08:00:00 > Country           : ?\r\n"
    "07-Dec-2026 08:00:00 > Language          : ?\r\n"
    "07-Dec-2026 08:00:00 > DecimalSeparator  : \r\n"
    "07-Dec-2026 08:00:00 > ThousandSeparator : \r\n"
    "07-Dec-2026 08:00:00 > Quillon Apps      : \r\n";

const char kMonitorLines[] =
    "07-Dec-2026 09:15:30 > Monitors          : 1\r\n"
    "07-Dec-2026 09:15:30 > Monitor 1\r\n"
    "07-Dec-2026 09:15:30 >    width          : 1920\r\n"
    "07-Dec-2026 09:15:30 >    height         : 1080\r\n"
    "07-Dec-2026 09:15:30 >    dimensions     : (0, 0)-(1920, 1080)\r\n";

struct HeaderFixture : ::testing::Test, fakes::FakeLog {
    ProgramWithoutPath program;
    fakes::FakeOsVersion osVersion;
    fakes::FakeRegistry registry;
    fakes::FakeNumbers numbers;
    RegistryReader registryReader{registry, log};
    OsIdentification os{osVersion, registryReader, numbers, log};
    LocaleInfo locale{log};
    fakes::FakeMonitors monitors;
    MonitorReport report{monitors, clock, log};
    CommonUi commonUi{report};
    MrpModule mrpModule{log};
    fakes::FakeForm mainForm;
    fakes::FakeLabel errorLogLabel;
    EnvironmentHeader header{log, program, os, locale, commonUi, mrpModule};

    HeaderFixture() {
        log.SetHeader(&header);
        systemClock.Set(2026, 12, 7, 8, 0, 0);
        log.SetStartTime(clock.CurrentTime());
        systemClock.Set(2026, 12, 7, 9, 15, 30);
        os.OSName = "Windows 7 Professional";
        os.OSBuild = 7601;
        os.OSBitness = 64;
        errorLogLabel.SetVisible(false);
        mrpModule.AttachMainWindow(&mainForm, &errorLogLabel);
    }
};

TEST_F(HeaderFixture, FirstWriteCreatesTheLogWithHeaderReportAndMessage) {
    mainForm.state = kStateMinimized;
    log.WriteErrorLog("program error 5 in module MRP_UI.Form_Load: Invalid procedure call");
    log.WriteErrorLog("second");
    EXPECT_EQ(Text(), std::string(kHeaderLines) + kMonitorLines +
                          "07-Dec-2026 09:15:30 > program error 5 in module MRP_UI.Form_Load: "
                          "Invalid procedure call\r\n"
                          "07-Dec-2026 09:15:30 > second\r\n");
    EXPECT_TRUE(log.HeaderWritten());
    EXPECT_TRUE(errorLogLabel.Visible());
    EXPECT_EQ(mainForm.state, kStateNormal);
    EXPECT_TRUE(commonUi.Loaded());
    EXPECT_EQ(files.openNow, 0);
}

TEST_F(HeaderFixture, LocaleIdentifierIsShownInDecimalAndUpperCaseHex) {
    locale.LocaleID = 1033;
    log.WriteErrorLog("x");
    EXPECT_NE(Text().find("> Locale ID         : 1033 (0x409)\r\n"), std::string::npos);

    files.contents.clear();
    log.Reset(kPath);
    locale.LocaleID = -1;
    log.WriteErrorLog("x");
    EXPECT_NE(Text().find("> Locale ID         : -1 (0xFFFFFFFF)\r\n"), std::string::npos);
}

TEST_F(HeaderFixture, FailingQueryLosesOnlyItsLine) {
    program.failPath = true;
    log.WriteErrorLog("x");
    std::string expected =
        std::string(kHeaderLines) + kMonitorLines + "07-Dec-2026 09:15:30 > x\r\n";
    expected.erase(
        expected.find("07-Dec-2026 08:00:00 > App.Path"),
        std::string("07-Dec-2026 08:00:00 > App.Path          : C:\\Radio\\MRP_Quillon\r\n")
            .size());
    EXPECT_EQ(Text(), expected);
}

TEST_F(HeaderFixture, NestedReportDuringTheHeaderStartsNoSecondHeader) {
    // ErrorLogExists finds no main window; its error trap writes while the
    // header holds the file open.
    mrpModule.AttachMainWindow(nullptr, nullptr);
    log.WriteErrorLog("outer");
    EXPECT_EQ(Text(), std::string(kHeaderLines) + kMonitorLines +
                          "07-Dec-2026 09:15:30 > program error 51 in module "
                          "MRP_Module.ErrorLogExists: " +
                          ErrorDescription(51) +
                          "\r\n"
                          "07-Dec-2026 09:15:30 > outer\r\n");
    EXPECT_EQ(files.opens, 1);
    EXPECT_EQ(files.openNow, 0);
    EXPECT_TRUE(log.HeaderWritten());

    log.WriteErrorLog("later");
    EXPECT_EQ(Text().find("App.Path"), Text().rfind("App.Path"));
}

}  // namespace
}  // namespace quillon
