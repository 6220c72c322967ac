#include <gtest/gtest.h>

#include "base/ErrorLog.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLog.h"
#include "fakes/FakeRegistry.h"
#include "sysinfo/RegistryReader.h"

namespace quillon {
namespace {

using fakes::FakeRegistry;
using fakes::FakeValue;
using namespace std::string_literals;

const std::string kKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";

struct RegistryReaderFixture : ::testing::Test, fakes::FakeLog {
    FakeRegistry registry;
    RegistryReader reader{registry, log};

    void Add(FakeValue value) { registry.Add(kHKeyLocalMachine, kKey, std::move(value)); }
    std::string Get(const std::string& name) {
        return reader.GetKeyValue(kHKeyLocalMachine, kKey, name);
    }
    bool Present(const std::string& name) {
        return reader.KeyValuePresent(kHKeyLocalMachine, kKey, name);
    }
};

TEST_F(RegistryReaderFixture, FirstNameContainingTheWantedOneWinsCaseSensitively) {
    Add(FakeRegistry::String("CurrentBuild", "9600\0"s));
    Add(FakeRegistry::String("CurrentBuildNumber", "10240\0"s));
    Add(FakeRegistry::String("ProductName", "Windows 10 Pro\0"s));

    EXPECT_EQ(Get("CurrentBuildNumber"), "10240");  // the shorter name does not match
    EXPECT_EQ(Get("CurrentBuild"), "9600");
    EXPECT_EQ(Get("Name"), "Windows 10 Pro");  // a containing name counts
    EXPECT_FALSE(Present("productname"));
    EXPECT_EQ(Get("productname"), "");
    EXPECT_TRUE(Present("ProductName"));

    EXPECT_EQ(registry.OpenHandles(), 0);
    EXPECT_EQ(Text(), "");
}

TEST_F(RegistryReaderFixture, ContainingNameEarlierInTheOrderShadowsTheExactOne) {
    Add(FakeRegistry::String("CurrentBuildNumber", "10240\0"s));
    Add(FakeRegistry::String("CurrentBuild", "9600\0"s));
    EXPECT_EQ(Get("CurrentBuild"), "10240");
}

TEST_F(RegistryReaderFixture, EmptyWantedNameMatchesAtTheFirstStep) {
    registry.AddKey(kHKeyLocalMachine, "Empty");
    EXPECT_TRUE(reader.KeyValuePresent(kHKeyLocalMachine, "Empty", ""));
    EXPECT_EQ(reader.GetKeyValue(kHKeyLocalMachine, "Empty", ""), "");

    Add(FakeRegistry::Dword("First", 7));
    Add(FakeRegistry::String("Second", "x\0"s));
    EXPECT_EQ(Get(""), "7");
    EXPECT_EQ(registry.OpenHandles(), 0);
    EXPECT_EQ(Text(), "");
}

TEST_F(RegistryReaderFixture, MissingSubkeyAnswersNothingAndLogsNothing) {
    EXPECT_FALSE(Present("ProductName"));
    EXPECT_EQ(Get("ProductName"), "");
    EXPECT_EQ(registry.opens, 0);
    EXPECT_TRUE(registry.closed.empty());
    EXPECT_FALSE(files.Exists("C:\\app\\ErrorLog.txt"));
}

TEST_F(RegistryReaderFixture, EmptySubkeyEnumeratesTheRootAndNeverClosesIt) {
    registry.Add(kHKeyCurrentUser, "", FakeRegistry::String("Direct", "yes\0"s));
    EXPECT_EQ(reader.GetKeyValue(kHKeyCurrentUser, "", "Direct"), "yes");
    EXPECT_EQ(registry.opens, 0);
    EXPECT_TRUE(registry.closed.empty());
}

TEST_F(RegistryReaderFixture, OversizedValueIsReadWithOneRetryOfTheReportedSize) {
    const std::string big(5000, 'b');
    Add(FakeRegistry::String("Big", big + '\0'));

    EXPECT_EQ(Get("Big"), big);
    ASSERT_EQ(registry.enumCalls.size(), 2u);
    EXPECT_EQ(registry.enumCalls[0], std::make_pair(0u, 4096u));
    EXPECT_EQ(registry.enumCalls[1], std::make_pair(0u, 5001u));
    EXPECT_EQ(Text(), "");
}

TEST_F(RegistryReaderFixture, FailedRetryEndsTheEnumeration) {
    Add(FakeRegistry::String("Big", std::string(5000, 'b')));
    Add(FakeRegistry::String("Later", "seen\0"s));
    registry.failRetryWith[0] = 5;

    EXPECT_FALSE(Present("Later"));
    EXPECT_EQ(registry.enumCalls.size(), 2u);  // no third call, no further index
    EXPECT_EQ(Get("Big"), "");                 // the name never reached the buffer
    EXPECT_EQ(registry.OpenHandles(), 0);
    EXPECT_EQ(Text(), "");
}

TEST_F(RegistryReaderFixture, ValueGrownBetweenTheCallsIsNotReadPastTheBuffer) {
    Add(FakeRegistry::String("Big", std::string(5000, 'b') + '\0'));
    registry.retryGrowsTo[0] = 9000;
    // The empty name matches the blank name buffer whatever the calls did.
    const std::string text = Get("");
    EXPECT_LE(text.size(), 5001u);
    EXPECT_EQ(Text(), "");
}

TEST_F(RegistryReaderFixture, NameLongerThanTheBufferIsCutAndEndsTheEnumeration) {
    Add(FakeRegistry::String(std::string(300, 'n'), "long\0"s));
    Add(FakeRegistry::String("Later", "seen\0"s));

    EXPECT_EQ(Get(std::string(259, 'n')), "long");  // 259 characters and the NUL
    EXPECT_FALSE(Present(std::string(260, 'n')));   // more than the buffer holds
    EXPECT_FALSE(Present("Later"));                 // ERROR_MORE_DATA ended the search
    EXPECT_EQ(registry.OpenHandles(), 0);
    EXPECT_EQ(Text(), "");
}

TEST_F(RegistryReaderFixture, StringsLoseOnlyTheTerminatorsThatAreThere) {
    Add(FakeRegistry::String("WithNul", "Windows 10 Pro\0"s));
    Add(FakeRegistry::String("WithoutNul", "abc"));
    Add(FakeRegistry::String("EmptyString", ""));
    Add(FakeRegistry::String("Expand", "%SystemRoot%\\x\0"s, 2));
    Add(FakeRegistry::String("Multi", "a\0bc\0\0"s, 7));
    Add(FakeRegistry::String("MultiUnterminated", "a\0bc"s, 7));
    Add(FakeRegistry::String("MultiOneNul", "a\0"s, 7));
    Add(FakeRegistry::String("MultiEmpty", "", 7));
    Add(FakeRegistry::String("Inner", "a\0b\0"s));

    EXPECT_EQ(Get("WithNul"), "Windows 10 Pro");
    EXPECT_EQ(Get("WithoutNul"), "abc");
    EXPECT_EQ(Get("EmptyString"), "");
    EXPECT_EQ(Get("Expand"), "%SystemRoot%\\x");
    EXPECT_EQ(Get("Multi"), "a\0bc"s);
    EXPECT_EQ(Get("MultiUnterminated"), "a\0bc"s);
    EXPECT_EQ(Get("MultiOneNul"), "a");
    EXPECT_EQ(Get("MultiEmpty"), "");
    EXPECT_EQ(Get("Inner"), "a\0b"s);  // nothing but the terminator is cut
    EXPECT_EQ(Text(), "");             // an empty value is no error
}

TEST_F(RegistryReaderFixture, NumbersBinaryAndOtherTypes) {
    Add(FakeRegistry::Dword("AllOnes", 0xFFFFFFFFu));
    Add(FakeRegistry::Dword("Plain", 10240));
    Add(FakeValue{"ShortDword", 4, {0x34, 0x12}});
    Add(FakeValue{"Binary", 3, {0x0A, 0xFF, 0x10, 0x00}});
    Add(FakeValue{"NoBytes", 3, {}});
    Add(FakeValue{"None", 0, {1, 2}});
    Add(FakeValue{"BigEndian", 5, {0, 0, 0, 1}});
    Add(FakeValue{"Link", 6, {'a', 0}});
    Add(FakeValue{"Qword", 11, {1, 0, 0, 0, 0, 0, 0, 0}});

    EXPECT_EQ(Get("AllOnes"), "-1");
    EXPECT_EQ(Get("Plain"), "10240");
    EXPECT_EQ(Get("ShortDword"), "4660");
    EXPECT_EQ(Get("Binary"), "0A FF 10 00");
    EXPECT_EQ(Get("NoBytes"), "");
    for (const char* name : {"None", "BigEndian", "Link", "Qword"}) {
        EXPECT_TRUE(Present(name)) << name;
        EXPECT_EQ(Get(name), "") << name;
    }
    EXPECT_EQ(Text(), "");
}

TEST_F(RegistryReaderFixture, RuntimeErrorIsReportedAndTheSubkeyStillClosed) {
    Add(FakeRegistry::String("ProductName", "x\0"s));
    registry.raiseOnEnum = kErrInternal;

    EXPECT_FALSE(Present("ProductName"));
    EXPECT_EQ(Get("ProductName"), "");
    EXPECT_EQ(registry.opens, 2);
    EXPECT_EQ(registry.OpenHandles(), 0);
    const std::string text = Text();
    EXPECT_NE(text.find("program error 51 in module SkerrinModule.KeyValuePresent: "),
              std::string::npos);
    EXPECT_NE(text.find("program error 51 in module SkerrinModule.GetKeyValue: "),
              std::string::npos);
}

}  // namespace
}  // namespace quillon
