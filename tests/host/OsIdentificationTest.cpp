#include <gtest/gtest.h>

#include "base/ErrorLog.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLog.h"
#include "fakes/FakeNumbers.h"
#include "fakes/FakeOsVersion.h"
#include "fakes/FakeRegistry.h"
#include "sysinfo/OsIdentification.h"
#include "sysinfo/RegistryReader.h"

namespace quillon {
namespace {

using fakes::FakeRegistry;
using namespace std::string_literals;

const std::string kKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";

struct OsIdentificationFixture : ::testing::Test, fakes::FakeLog {
    FakeRegistry registry;
    fakes::FakeNumbers numbers;
    fakes::FakeOsVersion os;
    RegistryReader reader{registry, log};
    OsIdentification id{os, reader, numbers, log};

    OsIdentificationFixture() {
        id.OSName = "Unknown";  // as Initialize presets it
    }
    void AddValue(const std::string& name, const std::string& text) {
        registry.Add(kHKeyLocalMachine, kKey, FakeRegistry::String(name, text + '\0'));
    }
};

struct Row {
    uint32_t platform, major, minor;
    uint16_t architecture;
    const char* name;
    int16_t bitness;
    bool nativeCheck;
};

TEST_F(OsIdentificationFixture, DecisionTableOutsideTheRegistryBranch) {
    const Row rows[] = {
        {0, 3, 10, 9, "Windows 3.1", 16, false},
        {1, 4, 0, 9, "Windows 95", 16, false},
        {1, 4, 10, 9, "Windows 98", 16, false},
        {1, 4, 90, 9, "Windows Millennium", 16, false},
        {1, 4, 50, 9, "unknown (1.4.50)", 16, false},
        {2, 3, 51, 9, "Windows NT 3.51", 32, false},
        {2, 4, 0, 9, "Windows NT 4.0", 32, false},
        {2, 5, 0, 9, "Windows 2000", 32, false},
        {2, 5, 1, 9, "Windows XP", 64, true},
        {2, 5, 1, 6, "Windows XP", 64, true},
        {2, 5, 1, 0, "Windows XP", 32, true},
        {2, 5, 2, 9, "Windows Server", 32, false},
        {2, 5, 3, 9, "unknown (2.5.3)", 16, false},
        {2, 6, 0, 9, "Vista", 64, true},
        {2, 6, 0, 0, "Vista", 32, true},
        {2, 2, 0, 9, "unknown (2.2.0)", 16, false},
        {2, 10, 0, 9, "unknown (2.10.0)", 16, false},
        {3, 6, 1, 9, "unknown (3.6.1)", 16, false},
    };
    // The registry would give a name; no row here may look at it.
    AddValue("ProductName", "Registry Name");
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.platform) + "/" + std::to_string(row.major) + "/" +
                     std::to_string(row.minor) + " arch " + std::to_string(row.architecture));
        os.Set(row.platform, row.major, row.minor, 0x80001234u, "Service Pack 3");
        os.architecture = row.architecture;
        os.nativeCalls = 0;
        id.OSName = "Unknown";
        id.GetOSVersion();

        EXPECT_EQ(id.OSName, row.name);  // fixed names never carry the service pack
        EXPECT_EQ(id.OSBitness, row.bitness);
        EXPECT_EQ(id.OSBuild, static_cast<int32_t>(0x80001234u));  // upper bits kept
        EXPECT_EQ(os.nativeCalls, row.nativeCheck ? 1 : 0);
    }
    EXPECT_EQ(registry.opens, 0);
    EXPECT_EQ(os.sizeSeen, 148u);
    EXPECT_EQ(os.csdSeen, std::string(128, ' '));
    EXPECT_EQ(Text(), "");
}

TEST_F(OsIdentificationFixture, RegistryNameAndBuildWithoutServicePack) {
    os.Set(2, 6, 2, 9200);             // Windows 10 without a compatibility declaration
    AddValue("CurrentBuild", "9600");  // enumerated first, must not be taken
    AddValue("CurrentBuildNumber", "19045");
    AddValue("ProductName", "Windows 10 Pro");
    os.architecture = 9;
    id.GetOSVersion();
    EXPECT_EQ(id.OSName, "Windows 10 Pro");
    EXPECT_EQ(id.OSBuild, 19045);
    EXPECT_EQ(id.OSBitness, 64);
    EXPECT_EQ(Text(), "");
}

TEST_F(OsIdentificationFixture, RegistryNameCarriesTheServicePack) {
    os.Set(2, 6, 1, 7601, "Service Pack 1");
    os.architecture = 0;
    AddValue("CurrentBuildNumber", "7601");
    AddValue("ProductName", "Windows 7 Professional");
    id.GetOSVersion();
    EXPECT_EQ(id.OSName, "Windows 7 Professional [Service Pack 1]");
    EXPECT_EQ(id.OSBuild, 7601);
    EXPECT_EQ(id.OSBitness, 32);

    // A field that starts with a NUL has no service-pack text.
    os.Set(2, 6, 1, 7601, "");
    id.GetOSVersion();
    EXPECT_EQ(id.OSName, "Windows 7 Professional");
}

TEST_F(OsIdentificationFixture, NoProductNameChoosesByMinorAndBuild) {
    struct Case {
        uint32_t minor;
        const char* build;  // nullptr: no CurrentBuildNumber value
        const char* name;
        int32_t osBuild;
    };
    const Case cases[] = {
        {3, "9600", "Windows 8.1", 9600},
        {3, "10240", "Windows 10", 10240},
        {3, nullptr, "?", 0},
        {3, "abc", "?", 0},
        {3, "", "?", 0},
        {1, nullptr, "Windows 7", 0},
        {2, " 9200 ", "Windows 8", 9200},
        {4, "9999", "unknown (2.6.4)", 9999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.minor) + " " + (c.build ? c.build : "(none)"));
        registry.keys.clear();
        registry.AddKey(kHKeyLocalMachine, kKey);
        if (c.build != nullptr) {
            AddValue("CurrentBuildNumber", c.build);
        }
        os.Set(2, 6, c.minor, 1234, "Service Pack 9");  // never appended here
        id.GetOSVersion();
        EXPECT_EQ(id.OSName, c.name);
        EXPECT_EQ(id.OSBuild, c.osBuild);
        EXPECT_EQ(id.OSBitness, 64);
    }
    EXPECT_EQ(Text(), "");  // a build that does not convert is not reported
}

TEST_F(OsIdentificationFixture, MissingKeyFallsBackWithoutReport) {
    os.Set(2, 6, 1, 7601);
    id.GetOSVersion();
    EXPECT_EQ(id.OSName, "Windows 7");
    EXPECT_EQ(id.OSBuild, 0);
    EXPECT_EQ(Text(), "");
}

TEST_F(OsIdentificationFixture, ErrorIsReportedAndValuesStayAsFarAsTheyGot) {
    os.raiseOnVersion = kErrInternal;
    id.GetOSVersion();
    EXPECT_EQ(id.OSName, "Unknown");
    EXPECT_EQ(id.OSBitness, 0);
    EXPECT_NE(Text().find(" > program error 51 in module Common.GetOSVersion: "),
              std::string::npos);
}

TEST_F(OsIdentificationFixture, DebugLineOnlyWhileDebugging) {
    os.Set(2, 5, 1, 2600);
    id.GetOSVersion();
    EXPECT_EQ(Text(), "");
    log.SetDebug(true);
    id.GetOSVersion();
    EXPECT_NE(Text().find(" > Common.GetOSVersion\r\n"), std::string::npos);
    EXPECT_EQ(id.GetOSName(), "Windows XP");
    EXPECT_EQ(id.GetOSBuild(), 2600);
}

TEST_F(OsIdentificationFixture, CSDVersionTrimCutsBlanksThenAtTheFirstNul) {
    EXPECT_EQ(id.CSDVersionTrim("Service Pack 3\0     "s), "Service Pack 3");
    EXPECT_EQ(id.CSDVersionTrim("   Service Pack 3  "), "Service Pack 3");
    EXPECT_EQ(id.CSDVersionTrim("\0Service Pack 3"s), "");
    EXPECT_EQ(id.CSDVersionTrim("  \0 SP"s), "");
    EXPECT_EQ(id.CSDVersionTrim(""), "");
    EXPECT_EQ(id.CSDVersionTrim(std::string(128, ' ')), "");
    EXPECT_EQ(id.CSDVersionTrim("\tSP\t"), "\tSP\t");  // only the space is a blank
}

}  // namespace
}  // namespace quillon
