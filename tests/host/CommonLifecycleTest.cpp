#include <gtest/gtest.h>

#include "common/Common.h"
#include "fakes/FakePlatform.h"

namespace quillon {
namespace {

struct LifecycleFixture : ::testing::Test {
    fakes::FakePlatform platform;
    Common common{platform.ports};
};

TEST_F(LifecycleFixture, FirstStartOnCleanStoreRecordsVersionAndLeavesNoTrace) {
    common.placement.DualMonitor = true;
    common.placement.CascadeLeft = 720;
    common.Initialize();
    EXPECT_EQ(common.log.ErrorLogPathname(), "C:\\Radio\\MRP_Quillon\\ErrorLog.txt");
    EXPECT_FALSE(common.placement.DualMonitor);
    EXPECT_EQ(common.placement.CascadeLeft, 0);
    EXPECT_EQ(platform.settings.Get("General", "Version"), "102");
    EXPECT_NE(common.os.OSName, "Unknown") << "the operating system was identified";
    common.Terminate();
    EXPECT_FALSE(platform.LogExists());
    EXPECT_FALSE(common.commonUi.Loaded());
}

TEST_F(LifecycleFixture, StartTimeStampsTheHeaderAndDualMonitorIsRead) {
    platform.settings.Put("windows", "dualmonitor", "TRUE");
    platform.clock.Set(2026, 12, 6, 4, 55, 40);
    common.Initialize();
    EXPECT_TRUE(common.placement.DualMonitor);
    platform.clock.Set(2026, 12, 6, 5, 0, 1);
    common.log.WriteErrorLog("late");
    const std::string text = platform.LogText();
    EXPECT_NE(text.find("06-Dec-2026 04:55:40 > MRP_Quillon version 1.0.2\r\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("06-Dec-2026 05:00:01 > late\r\n"), std::string::npos);
}

TEST_F(LifecycleFixture, VersionRecordThatCannotBeWrittenIsReportedAndSkipsTheRest) {
    common.placement.CascadeLeft = 360;
    platform.settings.failWriteWith = kErrPermissionDenied;
    common.Initialize();
    EXPECT_NE(platform.LogText().find("program error 70 in module Common.Initialize: "
                                      "Permission denied\r\n"),
              std::string::npos);
    EXPECT_EQ(common.placement.CascadeLeft, 360) << "the cascade is not reset after the error";
}

TEST_F(LifecycleFixture, RunWithOneErrorLogsHeaderReportErrorAndShutdownInOrder) {
    common.Initialize();
    common.log.ReportProgramError(282, "MRP_UI.MRPDDE_Change");
    common.Terminate();
    const std::string text = platform.LogText();
    const size_t header = text.find("> MRP_Quillon version 1.0.2");
    const size_t monitors = text.find("> Monitors          : 1");
    const size_t error = text.find("> program error 282 in module MRP_UI.MRPDDE_Change");
    const size_t shutdown = text.find("> Common.Terminate: MRP_Quillon shutdown\r\n");
    EXPECT_EQ(text.rfind("\r\n", 0), 0u) << "the header opens with an empty line";
    ASSERT_NE(shutdown, std::string::npos) << text;
    EXPECT_LT(header, monitors);
    EXPECT_LT(monitors, error);
    EXPECT_LT(error, shutdown);
    EXPECT_FALSE(common.commonUi.Loaded()) << "Terminate unloads the monitor form";
}

TEST_F(LifecycleFixture, MissingProgramFolderStillLeavesTheRunUsable) {
    struct NoPath : fakes::FakeProgramInfo {
        std::string Path() override { Raise(kErrPathNotFound); }
    } program;
    Ports ports = platform.ports;
    Common broken{Ports{ports.clock, ports.files, ports.settings, ports.numbers, program,
                        ports.process, ports.monitors, ports.registry, ports.osVersion}};
    broken.Initialize();
    EXPECT_EQ(broken.os.OSName, "Unknown");
    EXPECT_FALSE(platform.settings.Has("General", "Version")) << "Initialize stopped early";
    EXPECT_EQ(broken.log.ErrorLogPathname(), "");
    EXPECT_NO_THROW(broken.Terminate());
    EXPECT_TRUE(platform.files.contents.empty()) << "no header, so no shutdown line either";
}

}  // namespace
}  // namespace quillon
