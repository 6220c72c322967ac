#include <gtest/gtest.h>

#include "base/ErrorLog.h"
#include "base/RuntimeError.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLog.h"

namespace quillon {
namespace {

// A header that writes one marker line, and can be told to write into the
// log again from inside (as a failing header query's error trap would).
class MarkerHeader : public LogHeader {
  public:
    explicit MarkerHeader(ErrorLog& log) : log_(log) {}
    int calls = 0;
    bool reportFromInside = false;
    void WriteHeader() override {
        ++calls;
        log_.WriteOpenLine("");
        log_.WriteOpenLine("HEADER");
        if (reportFromInside) {
            log_.ReportProgramError(5, "LocaleInfo.GetLocaleID");
        }
    }

  private:
    ErrorLog& log_;
};

struct ErrorLogFixture : ::testing::Test, fakes::FakeLog {
    MarkerHeader header{log};

    ErrorLogFixture() {
        log.SetHeader(&header);
        systemClock.Set(2026, 12, 6, 4, 55, 40);
    }
};

TEST_F(ErrorLogFixture, FirstWriteAddsHeaderOnceThenOneStampedLinePerWrite) {
    log.WriteErrorLog("first");
    systemClock.Set(2026, 12, 6, 4, 55, 41);
    log.WriteErrorLog("second");
    EXPECT_EQ(Text(),
              "\r\nHEADER\r\n"
              "06-Dec-2026 04:55:40 > first\r\n"
              "06-Dec-2026 04:55:41 > second\r\n");
    EXPECT_EQ(header.calls, 1);
    EXPECT_TRUE(log.HeaderWritten());
    EXPECT_EQ(files.openNow, 0) << "the file is closed between writes";
}

TEST_F(ErrorLogFixture, ProgramErrorLineCarriesNumberNameAndDescription) {
    log.ReportProgramError(282, "MRP_UI.MRPDDE_Change");
    log.ReportProgramError(-2147221504, "Common.Initialize");
    log.ReportProgramError(31337, "Common.Version");
    const std::string text = Text();
    EXPECT_NE(text.find("> program error 282 in module MRP_UI.MRPDDE_Change: "
                        "No foreign application responded to a DDE initiate\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("> program error -2147221504 in module Common.Initialize: "),
              std::string::npos);
    EXPECT_NE(text.find("> program error 31337 in module Common.Version: "
                        "Application-defined or object-defined error\r\n"),
              std::string::npos);
}

TEST(ErrorDescriptionTest, EachNamedDdeErrorNumberHasItsOwnDescription) {
    const struct {
        int32_t number;
        const char* description;
    } table[] = {
        {kErrNoForeignApplication, "No foreign application responded to a DDE initiate"},
        {kErrDdeChannelLocked, "DDE channel locked"},
        {kErrDdeNoResponse, "Foreign application won't perform DDE method or operation"},
        {kErrDdeTimeout, "Timeout while waiting for DDE response"},
        {kErrDdeUserEscape, "User pressed Escape key during DDE operation"},
        {kErrDdeBusy, "Destination is busy"},
        {kErrDdeNoData, "Data not provided in DDE operation"},
        {kErrDdeDataWrongFormat, "Data in wrong format"},
        {kErrDdeApplicationQuit, "Foreign application quit"},
        {kErrDdeConversationClosed, "DDE conversation closed or changed"},
        {kErrDdeMethodNoChannel, "DDE method invoked with no channel open"},
        {kErrDdeInvalidChannel, "Invalid DDE Link format"},
        {kErrDdeMessageLost, "Message queue filled; DDE message lost"},
        {kErrDdeTooManyLinks, "PasteLink already performed on this control"},
        {kErrDdeLinkModeNotSet, "Can't set LinkMode; invalid LinkTopic"},
    };
    for (const auto& entry : table) {
        EXPECT_EQ(ErrorDescription(entry.number), entry.description) << entry.number;
    }
}

TEST_F(ErrorLogFixture, SizeGuardAppendsAtExactlyTheLimitAndStopsAboveIt) {
    files.contents[kPath] = "old\r\n";
    files.sizeOverride[kPath] = ErrorLog::kMaximumSize;
    log.WriteErrorLog("at the limit");
    EXPECT_NE(Text().find("at the limit"), std::string::npos);

    ErrorLog fresh{files, clock};
    MarkerHeader freshHeader{fresh};
    fresh.Reset(kPath);
    fresh.SetHeader(&freshHeader);
    fresh.SetDebug(true);
    files.sizeOverride[kPath] = ErrorLog::kMaximumSize + 1;
    const std::string before = Text();
    fresh.WriteErrorLog("over the limit");
    EXPECT_EQ(Text(), before);
    EXPECT_FALSE(fresh.GetDebug()) << "the size guard switches debug lines off";
    EXPECT_EQ(freshHeader.calls, 0) << "no header when the write is refused";
    EXPECT_FALSE(fresh.HeaderWritten());
}

TEST_F(ErrorLogFixture, LogDeletedMidRunIsRecreatedWithoutHeader) {
    log.WriteErrorLog("one");
    files.contents.erase(kPath);
    log.WriteErrorLog("two");
    EXPECT_EQ(Text(), "06-Dec-2026 04:55:40 > two\r\n");
    EXPECT_EQ(header.calls, 1);
}

TEST_F(ErrorLogFixture, DebugLinesOnlyWhileDebugIsOnAndNoFileOtherwise) {
    log.DebugLog("quiet");
    EXPECT_FALSE(files.Exists(kPath));
    log.SetDebug(true);
    EXPECT_TRUE(log.GetDebug());
    log.DebugLog("loud");
    EXPECT_NE(Text().find("> loud\r\n"), std::string::npos);
}

TEST_F(ErrorLogFixture, UnwritableLogLosesTheLineSilently) {
    files.failOpenWith = kErrPermissionDenied;
    log.WriteErrorLog("lost");
    EXPECT_FALSE(files.Exists(kPath));
    files.failOpenWith = 0;
    log.WriteErrorLog("kept");
    EXPECT_NE(Text().find("> kept\r\n"), std::string::npos);
}

TEST_F(ErrorLogFixture, WriteFromInsideTheHeaderNeitherRecursesNorLosesTheOuterLine) {
    header.reportFromInside = true;
    log.WriteErrorLog("outer");
    EXPECT_EQ(header.calls, 1);
    EXPECT_EQ(Text(),
              "\r\nHEADER\r\n"
              "06-Dec-2026 04:55:40 > program error 5 in module LocaleInfo.GetLocaleID: "
              "Invalid procedure call or argument\r\n"
              "06-Dec-2026 04:55:40 > outer\r\n");
    EXPECT_EQ(files.opens, 1);
    EXPECT_EQ(files.openNow, 0);
}

TEST_F(ErrorLogFixture, WriteOpenLineOutsideAWriteRaisesBadFile) {
    try {
        log.WriteOpenLine("stray");
        FAIL() << "expected a run-time error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrBadFileNameOrNumber);
    }
}

}  // namespace
}  // namespace quillon
