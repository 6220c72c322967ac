#include <gtest/gtest.h>

#include "common/Common.h"
#include "fakes/CountOf.h"
#include "fakes/FakeControls.h"
#include "fakes/FakeDdeLink.h"
#include "fakes/FakeForm.h"
#include "fakes/FakePlatform.h"
#include "gateway/MrpUi.h"

namespace quillon {
namespace {

using fakes::FakeDdeLink;

struct GatewayFixture : ::testing::Test {
    // The texts the user sees (the user guide quotes them), written out once
    // for every case here: the expected values, never taken from the program.
    static constexpr const char* kCaption = "MRP-Ledgerly Gateway 1.0.2";
    static constexpr const char* kMrpUnknown = "MRP status: unknown";
    static constexpr const char* kMrpNotResponding = "MRP status: not responding";
    static constexpr const char* kMrpConnecting = "MRP status: connecting";
    static constexpr const char* kMrpConnected = "MRP status: connected to MRP40";
    static constexpr const char* kMrpConnectedSdr = "MRP status: connected to MRP40 SDR";
    static constexpr const char* kPalavanUnknown = "Palavan status: unknown";
    static constexpr const char* kPalavanNotResponding = "Palavan status: not responding";
    static constexpr const char* kPalavanConnecting = "Palavan status: connecting";
    static constexpr const char* kPalavanConnected = "Palavan status: connected";

    fakes::FakePlatform platform;
    Common common{platform.ports};
    fakes::FakeForm form;
    fakes::FakeLabel mrpStatus, palavanStatus, errorLogLabel;
    fakes::FakeTimer mrpTimer, palavanTimer;
    FakeDdeLink mrpDde, palavanDde;
    MrpUi ui{common,
             MrpUiControls{form, mrpStatus, palavanStatus, errorLogLabel, mrpTimer, palavanTimer,
                           mrpDde, palavanDde},
             platform.process};

    GatewayFixture() {
        form.borderStyle = kBorderFixedSingle;
        common.mrpModule.AttachMainWindow(&form, &errorLogLabel);
    }

    void Load() { ui.Form_Load(); }
    void ConnectBoth() {
        mrpDde.opens.push_back({});
        palavanDde.opens.push_back({});
        mrpTimer.Tick();
        palavanTimer.Tick();
        ASSERT_EQ(ui.MRPLinkState, LinkConnected);
        ASSERT_EQ(ui.PalavanLinkState, LinkConnected);
    }
    size_t CountInLog(const std::string& needle) {
        return static_cast<size_t>(fakes::CountOf(platform.LogText(), needle));
    }
};

// --- load and unload ----------------------------------------------------------

TEST_F(GatewayFixture, LoadShowsCaptionUnknownStatesAndStartsBothTimers) {
    errorLogLabel.SetVisible(true);
    mrpTimer.SetEnabled(false);
    Load();
    EXPECT_EQ(form.caption, kCaption);
    EXPECT_EQ(mrpStatus.Caption(), kMrpUnknown);
    EXPECT_EQ(palavanStatus.Caption(), kPalavanUnknown);
    EXPECT_FALSE(errorLogLabel.Visible());
    EXPECT_TRUE(mrpTimer.Enabled());
    EXPECT_TRUE(palavanTimer.Enabled());
    EXPECT_EQ(mrpTimer.Interval(), 500u);
    EXPECT_EQ(palavanTimer.Interval(), 500u);
    EXPECT_TRUE(mrpDde.calls.empty()) << "the load opens no link itself";
    EXPECT_EQ(platform.settings.Get("General", "Version"), "102");
    EXPECT_FALSE(platform.LogExists()) << "a clean start logs nothing";
    EXPECT_EQ(platform.process.endProcessCalls, 0);
}

TEST_F(GatewayFixture, SecondCopyShowsMessageTerminatesAndEndsWithoutTouchingAnything) {
    platform.process.prevInstance = true;
    platform.settings.Put("Windows", "MRP_UILeft", "2000");
    // The box's modal loop delivers the retry timers' ticks while it is open.
    bool ticked = false;
    platform.process.whileMessageOpen = [&] {
        mrpTimer.Tick();
        palavanTimer.Tick();
        ticked = true;
    };
    Load();
    EXPECT_TRUE(ticked);
    ASSERT_EQ(platform.process.messages.size(), 1u);
    EXPECT_EQ(platform.process.messages[0].text, "MRP_Quillon is already running on this PC");
    EXPECT_EQ(platform.process.messages[0].title, "MRP_Quillon");
    EXPECT_EQ(platform.process.endProcessCalls, 1);
    EXPECT_EQ(platform.settings.Get("General", "Version"), "102") << "Initialize ran";
    EXPECT_EQ(form.left, 1200) << "no position restored";
    EXPECT_TRUE(form.caption.empty());
    EXPECT_EQ(mrpStatus.Caption(), "Label") << "the load stops before the links";
    EXPECT_TRUE(mrpDde.calls.empty()) << "no link attempted";
    EXPECT_TRUE(palavanDde.calls.empty()) << "no link attempted";
    EXPECT_FALSE(platform.settings.Has("Windows", "MRP_UIWindowState")) << "no position saved";
}

TEST_F(GatewayFixture, UnloadSavesPositionLogsShutdownAfterAnErrorAndEnds) {
    Load();
    ui.MRPLinkState = LinkConnected;
    mrpDde.Deliver("CQ");  // no command link: one program error
    ui.Form_Unload();
    EXPECT_EQ(platform.settings.Get("Windows", "MRP_UILeft"), "1200");
    EXPECT_EQ(platform.settings.Get("Windows", "MRP_UIWindowState"), "0");
    EXPECT_EQ(CountInLog("> Common.Terminate: MRP_Quillon shutdown\r\n"), 1u);
    EXPECT_FALSE(common.commonUi.Loaded());
    EXPECT_EQ(platform.process.endProcessCalls, 1);
    for (const auto* link : {&mrpDde, &palavanDde}) {
        ASSERT_FALSE(link->calls.empty()) << "the conversation ends before the process";
        EXPECT_EQ(link->calls.back(), "mode:0") << "the conversation ends before the process";
    }
    ui.Form_Unload();  // a session end after the close: nothing more
    EXPECT_EQ(CountInLog("> Common.Terminate: MRP_Quillon shutdown\r\n"), 1u);
    EXPECT_EQ(platform.process.endProcessCalls, 1);
}

TEST_F(GatewayFixture, CleanRunLeavesAnExistingLogUntouched) {
    platform.files.contents[platform.LogPath()] = "older run\r\n";
    Load();
    ui.Form_Unload();
    EXPECT_EQ(platform.LogText(), "older run\r\n");
}

TEST_F(GatewayFixture, HintShownByAnErrorDuringLoadStaysVisible) {
    platform.settings.Put("Windows", "MRP_UIWindowState", "7");
    Load();
    EXPECT_EQ(CountInLog("program error 380 in module Common.RestoreWindowPosition: "
                         "Invalid property value\r\n"),
              1u);
    EXPECT_TRUE(errorLogLabel.Visible()) << "the load does not hide a hint already shown";
    mrpDde.opens.push_back({});
    mrpTimer.Tick();
    mrpDde.Deliver("X");  // no command link: a forwarding error
    EXPECT_EQ(CountInLog("in module MRP_UI.MRPDDE_Change"), 1u);
    EXPECT_TRUE(errorLogLabel.Visible());
}

TEST_F(GatewayFixture, FailingLoadStepIsReportedOnceAndTheWindowStillOpens) {
    // A label that refuses to be hidden fails the load handler itself.
    struct ThrowingLabel : fakes::FakeLabel {
        void SetVisible(bool) override { Raise(kErrInvalidPropertyValue); }
    } badLabel;
    MrpUi other{common,
                MrpUiControls{form, mrpStatus, palavanStatus, badLabel, mrpTimer, palavanTimer,
                              mrpDde, palavanDde},
                platform.process};
    other.Form_Load();
    EXPECT_EQ(CountInLog("program error 380 in module MRP_UI.Form_Load: Invalid property value"),
              1u);
    EXPECT_EQ(form.caption, kCaption) << "steps before the error stay";
    EXPECT_EQ(mrpStatus.Caption(), "Label") << "steps after the error do not run";
}

// --- decoder link ---------------------------------------------------------------

TEST_F(GatewayFixture, DecoderAttemptTriesBothNamesThenReportsNotResponding) {
    Load();
    mrpTimer.Tick();
    EXPECT_EQ(mrpDde.topicsTried,
              (std::vector<std::string>{"MRP40|MRP40Form", "MRP40 SDR|MRP40Form"}));
    EXPECT_EQ(mrpDde.calls, (std::vector<std::string>{
                                "topic:MRP40|MRP40Form", "item:RXSymbol", "mode:1", "mode:0",
                                "topic:MRP40 SDR|MRP40Form", "item:RXSymbol", "mode:1"}));
    EXPECT_EQ(ui.MRPLinkState, LinkNotResponding);
    EXPECT_EQ(mrpStatus.Caption(), kMrpNotResponding);
    EXPECT_TRUE(mrpTimer.Enabled());
    EXPECT_EQ(platform.process.doEvents, 0) << "no dispatch when nobody answered";
    EXPECT_FALSE(platform.LogExists()) << "not responding is no program error";

    mrpTimer.Tick();  // the next attempt starts with the first name again
    EXPECT_EQ(mrpDde.topicsTried[2], "MRP40|MRP40Form");
}

TEST_F(GatewayFixture, DecoderConnectsToSecondNameAndStopsRetrying) {
    Load();
    mrpDde.opens.push_back({kErrNoForeignApplication, false});
    mrpDde.opens.push_back({});
    mrpTimer.Tick();
    EXPECT_EQ(ui.MRPLinkState, LinkConnected);
    EXPECT_EQ(mrpStatus.Caption(), kMrpConnectedSdr);
    EXPECT_FALSE(mrpTimer.Enabled());
    EXPECT_EQ(platform.process.doEvents, 1) << "one dispatch before the read-back";
}

TEST_F(GatewayFixture, RefusedHotLinkReadsBackAsConnectingAndRetries) {
    Load();
    mrpDde.opens.push_back({kErrDdeNoResponse, false});  // answered, advise refused
    mrpTimer.Tick();
    EXPECT_EQ(ui.MRPLinkState, LinkConnecting);
    EXPECT_EQ(mrpStatus.Caption(), kMrpConnecting);
    EXPECT_TRUE(mrpTimer.Enabled());
    EXPECT_EQ(mrpDde.topicsTried.size(), 1u) << "any error other than 282 skips the fallback";
    EXPECT_FALSE(platform.LogExists());
}

TEST_F(GatewayFixture, LinkDroppedDuringTheDispatchReadsBackAsConnecting) {
    Load();
    mrpDde.opens.push_back({});
    platform.process.onDoEvents = [&] { mrpDde.DropHotLink(); };
    mrpTimer.Tick();
    EXPECT_EQ(ui.MRPLinkState, LinkConnecting);
}

TEST_F(GatewayFixture, CloseOrErrorNotificationDropsToNotRespondingAndRestartsRetries) {
    Load();
    ConnectBoth();
    mrpDde.ServerCloses();
    EXPECT_EQ(mrpStatus.Caption(), kMrpNotResponding);
    EXPECT_TRUE(mrpTimer.Enabled());
    // The Win32 link never raises the error notification; the handlers are
    // part of the window's design and are called directly.
    ui.PalavanDDECommand_LinkError(7);
    EXPECT_EQ(palavanStatus.Caption(), kPalavanNotResponding);
    EXPECT_TRUE(palavanTimer.Enabled());

    mrpDde.opens.push_back({});
    mrpTimer.Tick();
    EXPECT_EQ(mrpStatus.Caption(), kMrpConnected);
    ui.MRPDDE_LinkError(3);
    EXPECT_EQ(ui.MRPLinkState, LinkNotResponding);
    palavanDde.opens.push_back({});
    palavanTimer.Tick();
    palavanDde.ServerCloses();
    EXPECT_EQ(ui.PalavanLinkState, LinkNotResponding);
    EXPECT_FALSE(platform.LogExists());
}

TEST_F(GatewayFixture, UnknownStateLeavesLabelAndDisablesTimer) {
    Load();
    ui.MRPLinkState = 9;
    ui.UpdateMRPStatus();
    EXPECT_EQ(mrpStatus.Caption(), kMrpUnknown);
    EXPECT_FALSE(mrpTimer.Enabled());
    ui.PalavanLinkState = -1;
    ui.UpdatePalavanStatus();
    EXPECT_EQ(palavanStatus.Caption(), kPalavanUnknown);
    EXPECT_FALSE(palavanTimer.Enabled());
}

// --- command link ---------------------------------------------------------------

TEST_F(GatewayFixture, CommandLinkSetsItemBeforeTopicAndHasNoFallback) {
    Load();
    palavanTimer.Tick();
    EXPECT_EQ(palavanDde.calls,
              (std::vector<std::string>{"item:DDECommand", "topic:Palavan|DDEServer", "mode:1"}));
    EXPECT_EQ(palavanStatus.Caption(), kPalavanNotResponding);
    palavanDde.opens.push_back({kErrDdeNoResponse, false});
    palavanTimer.Tick();
    EXPECT_EQ(palavanStatus.Caption(), kPalavanConnecting);
    palavanDde.opens.push_back({});
    palavanTimer.Tick();
    EXPECT_EQ(palavanStatus.Caption(), kPalavanConnected);
    EXPECT_FALSE(palavanTimer.Enabled());
}

TEST_F(GatewayFixture, CommandLinkDroppedDuringTheDispatchReadsConnectingAndRetries) {
    Load();
    palavanDde.opens.push_back({});
    platform.process.onDoEvents = [&] { palavanDde.DropHotLink(); };
    palavanTimer.Tick();
    EXPECT_EQ(ui.PalavanLinkState, LinkConnecting);
    EXPECT_EQ(palavanStatus.Caption(), kPalavanConnecting);
    EXPECT_TRUE(palavanTimer.Enabled());
}

// --- forwarding -----------------------------------------------------------------

TEST_F(GatewayFixture, EveryDeliveredValueBecomesOneCommandRepeatsIncluded) {
    Load();
    ConnectBoth();
    for (const char* value : {"C", "Q", " ", "5", "N", "N", "\xD8", "\xB7", "\xAD"}) {
        mrpDde.Deliver(value);
    }
    palavanDde.AnswerAll();
    EXPECT_EQ(palavanDde.executed,
              (std::vector<std::string>{"006displaycwC", "006displaycwQ", "006displaycw ",
                                        "006displaycw5", "006displaycwN", "006displaycwN",
                                        "006displaycw0", "006displaycw.", "006displaycw-"}));
    EXPECT_FALSE(platform.LogExists());
}

TEST_F(GatewayFixture, EmptyValuesAndValuesBeforeTheLinkStandsAreDropped) {
    Load();
    mrpDde.Deliver("lost while unknown");
    mrpDde.opens.push_back({});
    palavanDde.opens.push_back({});
    palavanTimer.Tick();
    // A value pushed during the attempt's dispatch finds state 0: dropped.
    platform.process.onDoEvents = [&] { mrpDde.Deliver("pushed during attempt"); };
    mrpTimer.Tick();
    platform.process.onDoEvents = nullptr;
    mrpDde.Deliver("");
    mrpDde.Deliver("kept");
    EXPECT_EQ(palavanDde.executed, (std::vector<std::string>{"006displaycwkept"}));
}

TEST_F(GatewayFixture, FailedExecuteIsReportedPerValueAndChangesNoState) {
    Load();
    mrpDde.opens.push_back({});
    mrpTimer.Tick();  // command link never connected
    mrpDde.Deliver("A");
    mrpDde.Deliver("B");
    EXPECT_EQ(CountInLog("program error 293 in module MRP_UI.MRPDDE_Change: "
                         "DDE method invoked with no channel open\r\n"),
              2u);
    EXPECT_EQ(ui.MRPLinkState, LinkConnected);
    EXPECT_EQ(ui.PalavanLinkState, LinkUnknown);
    EXPECT_TRUE(errorLogLabel.Visible()) << "the first logged line shows the hint";

    palavanDde.opens.push_back({});
    palavanTimer.Tick();
    palavanDde.executeError = kErrDdeNoResponse;
    mrpDde.Deliver("C");
    palavanDde.Settle();
    EXPECT_EQ(CountInLog("program error 285 in module MRP_UI.MRPDDE_Change"), 1u);
    EXPECT_EQ(ui.PalavanLinkState, LinkConnected);
}

TEST_F(GatewayFixture, OverlongValueIsReportedAndNotSentAndForwardingGoesOn) {
    Load();
    ConnectBoth();
    mrpDde.Deliver(std::string(32766, 'E'));
    mrpDde.Deliver(std::string(32767, 'E'));
    mrpDde.Deliver("K");
    palavanDde.AnswerAll();
    ASSERT_EQ(palavanDde.executed.size(), 2u);
    EXPECT_EQ(palavanDde.executed[0].size(), 12u + 32766u);
    EXPECT_EQ(palavanDde.executed[1], "006displaycwK");
    EXPECT_EQ(CountInLog("program error 6 in module MRP_UI.MRPDDE_Change: Overflow"), 1u);
}

// The command link takes one command at a time; what arrives meanwhile
// waits and follows in order, and each failed outcome is one line.
TEST_F(GatewayFixture, ValuesWhileACommandWaitsFollowInOrderAndEachFailureIsOneLine) {
    Load();
    ConnectBoth();
    mrpDde.Deliver("A");
    mrpDde.Deliver("B");
    mrpDde.Deliver("C");
    mrpDde.Deliver("D");
    EXPECT_EQ(palavanDde.executed, (std::vector<std::string>{"006displaycwA"}));
    palavanDde.Answer(kErrDdeTimeout);
    palavanDde.Answer(0);
    palavanDde.Answer(kErrDdeBusy);
    EXPECT_EQ(palavanDde.executed, (std::vector<std::string>{"006displaycwA", "006displaycwB",
                                                             "006displaycwC", "006displaycwD"}));
    EXPECT_EQ(CountInLog("program error 286 in module MRP_UI.MRPDDE_Change: "
                         "Timeout while waiting for DDE response\r\n"),
              1u);
    EXPECT_EQ(CountInLog("program error 288 in module MRP_UI.MRPDDE_Change"), 1u);
    EXPECT_EQ(CountInLog("program error"), 2u);

    // The link goes down with D waiting and E, F queued: each is one 293.
    mrpDde.Deliver("E");
    mrpDde.Deliver("F");
    palavanDde.ServerCloses();
    EXPECT_EQ(CountInLog("program error 293 in module MRP_UI.MRPDDE_Change"), 3u);
    EXPECT_EQ(palavanDde.executed.size(), 4u);
    EXPECT_EQ(ui.PalavanLinkState, LinkNotResponding);
    palavanDde.opens.push_back({});
    palavanTimer.Tick();
    mrpDde.Deliver("G");  // nothing left over: sent at once
    EXPECT_EQ(palavanDde.executed.back(), "006displaycwG");
}

// While the logger answers, a burst of up to 10,000 waiting commands passes
// whole; past that, the oldest waiting command is dropped with one 286 line.
// Once a command goes unanswered for its full wait, at most 500 commands
// and 256 KiB stay waiting, the oldest dropped with a line each, until the
// logger answers again.
TEST_F(GatewayFixture, WaitingCommandsAreBoundedAndTrimmedWhenTheLoggerStalls) {
    Load();
    ConnectBoth();
    for (int value = 0; value <= 10001; ++value) {  // 0 is sent, 1 to 10,001 wait
        mrpDde.Deliver(std::to_string(value));
    }
    EXPECT_EQ(CountInLog("program error 286 in module MRP_UI.MRPDDE_Change"), 1u);
    palavanDde.AnswerAll();
    ASSERT_EQ(palavanDde.executed.size(), 10001u);
    EXPECT_EQ(palavanDde.executed[1], "006displaycw2");
    EXPECT_EQ(palavanDde.executed[10000], "006displaycw10001");

    palavanDde.executed.clear();
    for (int value = 0; value <= 600; ++value) {  // 0 is sent, 1 to 600 wait
        mrpDde.Deliver(std::to_string(value));
    }
    palavanDde.Answer(kErrDdeTimeout);  // 1 to 100 are dropped, 101 goes
    EXPECT_EQ(CountInLog("program error 286 in module MRP_UI.MRPDDE_Change"), 1u + 1u + 100u);
    for (int value = 601; value <= 700; ++value) {  // still silent: 102 to 200 go
        mrpDde.Deliver(std::to_string(value));
    }
    EXPECT_EQ(CountInLog("program error 286 in module MRP_UI.MRPDDE_Change"), 102u + 99u);
    palavanDde.AnswerAll();
    ASSERT_EQ(palavanDde.executed.size(), 502u);
    EXPECT_EQ(palavanDde.executed[1], "006displaycw101");
    EXPECT_EQ(palavanDde.executed[2], "006displaycw201");
    EXPECT_EQ(palavanDde.executed[501], "006displaycw700");

    // Commands of 10,012 bytes: 26 fit in 256 KiB.
    palavanDde.executed.clear();
    for (char value = 'A'; value <= 'A' + 30; ++value) {  // 'A' is sent, 30 wait
        mrpDde.Deliver(std::string(10000, value));
    }
    palavanDde.Answer(kErrDdeTimeout);  // 'B' to 'E' are dropped, 'F' goes
    palavanDde.AnswerAll();
    ASSERT_EQ(palavanDde.executed.size(), 27u);
    EXPECT_EQ(palavanDde.executed[1], "006displaycw" + std::string(10000, 'F'));
    EXPECT_EQ(CountInLog("program error 286 in module MRP_UI.MRPDDE_Change"), 201u + 1u + 4u);
}

// Far fewer than 10,000 commands, but at most 2 MiB of them wait while the
// logger answers: 209 commands of 10,012 bytes (2,092,508 bytes) fit, 210 not.
TEST_F(GatewayFixture, WaitingCommandsAreBoundedTo2MiBWhileTheLoggerAnswers) {
    Load();
    ConnectBoth();
    auto value = [](int number) { return std::to_string(number) + std::string(9997, '.'); };
    for (int number = 100; number <= 320; ++number) {  // 100 is sent, 101 to 320 wait
        mrpDde.Deliver(value(number));
    }
    EXPECT_EQ(CountInLog("program error 286 in module MRP_UI.MRPDDE_Change"), 11u);
    palavanDde.AnswerAll();
    ASSERT_EQ(palavanDde.executed.size(), 1u + 209u);
    EXPECT_EQ(palavanDde.executed[1], "006displaycw" + value(112));  // 101 to 111 were dropped
    EXPECT_EQ(palavanDde.executed[209], "006displaycw" + value(320));
}

TEST_F(GatewayFixture, FirstErrorBringsAMinimisedWindowBackWithTheHint) {
    Load();
    form.SetWindowState(kStateMinimized);
    mrpDde.opens.push_back({});
    mrpTimer.Tick();
    mrpDde.Deliver("X");
    EXPECT_TRUE(errorLogLabel.Visible());
    EXPECT_EQ(form.state, kStateNormal);
}

}  // namespace
}  // namespace quillon
