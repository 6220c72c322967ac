// The client link adapter against the two simulators, under Wine. What
// every link does with servers that answer, refuse, stall, quit or die is
// the shared table in contract/DdeLinkContract.h, run here against logger
// simulators; the cases below are this link's own.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "contract/DdeLinkContract.h"
#include "win32/Win32DdeLink.h"
#include "windows/support/ChildProcess.h"
#include "windows/support/DdePeers.h"

namespace quillon::win32 {
namespace {

using testing::ChildProcess;
using testing::HeldEvent;
using testing::kDeadlineMs;
using testing::PumpFor;
using testing::PumpUntil;
using testing::ReadLines;
using testing::ScratchDir;
using testing::ToolsDir;
using testing::WriteWholeFile;

class Recorder : public DdeLinkEvents {
  public:
    explicit Recorder(DdeLinkPort& link) : link_(link) {}
    void OnLinkChange() override {
        values.push_back(link_.Text());
        if (inside) {
            inside();
        }
    }
    void OnLinkClose() override { ++closes; }
    void OnLinkError(int16_t code) override { errors.push_back(code); }
    void OnExecuteDone(int32_t error) override {
        outcomes.push_back(error);
        if (onOutcome) {
            onOutcome();
        }
    }

    std::vector<std::string> values;
    std::vector<int32_t> outcomes;
    int closes = 0;
    std::vector<int16_t> errors;
    std::function<void()> inside;     // runs inside every change handler
    std::function<void()> onOutcome;  // runs inside every outcome handler

  private:
    DdeLinkPort& link_;
};

std::string ControlText(HWND control) {
    const int length = GetWindowTextLengthA(control);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(control, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

class DdeLinkAdapterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        control_ = CreateWindowExA(0, "EDIT", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(control_, nullptr);
        link_ = std::make_unique<Win32DdeLink>(control_);
        recorder_ = std::make_unique<Recorder>(*link_);
        link_->SetEvents(recorder_.get());
    }
    void TearDown() override {
        link_.reset();
        DestroyWindow(control_);
    }

    void Describe(const std::string& topic, const std::string& item) {
        link_->SetLinkTopic(topic);
        link_->SetLinkItem(item);
    }

    // Opens the hot link once the server has registered: the result of the
    // first attempt that is not "no application answered".
    int32_t ConnectWhenReady() {
        int32_t error = kErrNoForeignApplication;
        PumpUntil(
            [&] {
                error = CollectError([&] { link_->SetLinkMode(1); });
                return error != kErrNoForeignApplication;
            },
            kDeadlineMs);
        return error;
    }

    bool StartDecoder(ChildProcess& decoder, std::vector<std::string> arguments) {
        Describe("MRP40|MRP40Form", "RXSymbol");
        return decoder.Start(ToolsDir() + "decoder_sim.exe", arguments);
    }

    bool StartLogger(ChildProcess& logger, std::vector<std::string> arguments) {
        Describe("Palavan|DDEServer", "DDECommand");
        return logger.Start(ToolsDir() + "logger_sim.exe", arguments);
    }

    HWND control_ = nullptr;
    std::unique_ptr<Win32DdeLink> link_;
    std::unique_ptr<Recorder> recorder_;
};

TEST_F(DdeLinkAdapterTest, KeepsTheDdeLinkContract) {
    using contract::Peer;
    std::unique_ptr<ChildProcess> logger;
    contract::DdeLinkContractDriver driver;
    driver.open = [&](Peer peer) {
        const std::map<Peer, std::vector<std::string>> options = {
            {Peer::kAnswers, {}},
            {Peer::kRefusesAdvise, {"--refuse-advise"}},
            {Peer::kRefusesExecutes, {"--refuse-executes"}},
            {Peer::kAnswersBusy, {"--busy"}},
            {Peer::kNeverAnswers, {"--slow", "6500"}},
        };
        logger = std::make_unique<ChildProcess>();  // the one before is killed
        EXPECT_TRUE(StartLogger(*logger, options.at(peer)));
        return ConnectWhenReady();
    };
    driver.end = [&](bool killed) {
        if (killed) {
            logger->Kill();
        } else {
            EXPECT_TRUE(logger->Quit());
        }
    };
    driver.settle = [] { PumpFor(700); };
    contract::RunDdeLinkContract(*link_, driver);
}

TEST_F(DdeLinkAdapterTest, EveryValueIsDeliveredInOrderWithRepeatsAndEmptyValues) {
    ScratchDir dir;
    // Every byte from 1 to 255 in one value, escaped for the script.
    std::string allBytes;
    std::string allBytesEscaped;
    for (int byte = 1; byte < 256; ++byte) {
        allBytes += static_cast<char>(byte);
        char hex[5];
        snprintf(hex, sizeof(hex), "\\x%02X", byte);
        allBytesEscaped += hex;
    }
    ASSERT_TRUE(WriteWholeFile(dir.Path() + "script.txt",
                               "CQ\nN\nN\n\n\\xD8\\xB7\\xAD\n" + allBytesEscaped + "\nN\n"));
    ChildProcess decoder;
    const HeldEvent go("QuillonAdapterGo");
    ASSERT_TRUE(
        StartDecoder(decoder, {"--start-event", go.Name(), "--script", dir.Path() + "script.txt"}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    EXPECT_EQ(link_->LinkMode(), 1);

    go.Set();
    const std::vector<std::string> expected = {"CQ", "N", "N", "", "\xD8\xB7\xAD", allBytes, "N"};
    PumpUntil([&] { return recorder_->values.size() >= expected.size(); }, kDeadlineMs);
    PumpFor(300);
    EXPECT_EQ(recorder_->values, expected);
    EXPECT_EQ(link_->Text(), "N");
    // The control catches up on a tick of the link's watch timer.
    PumpUntil([&] { return ControlText(control_) == "N"; }, 5000);
    EXPECT_EQ(ControlText(control_), "N");
}

// A change handler that lets the message loop run (a modal dialog, a
// synchronous call that dispatches) while the next value is queued does not
// get that value delivered inside itself: it follows once the handler returns.
TEST_F(DdeLinkAdapterTest, ValueQueuedWhileAHandlerPumpsFollowsItsReturn) {
    ScratchDir dir;
    const std::string published = dir.Path() + "published.txt";
    const HeldEvent start("QuillonAdapterGo");
    ChildProcess decoder;
    ASSERT_TRUE(StartDecoder(decoder, {"--start-event", start.Name(), "--stamp-log", published,
                                       "--value", "A", "--value", "B"}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    size_t deliveredInside = 0;
    bool secondQueued = false;
    recorder_->inside = [&] {
        if (recorder_->values.size() != 1) {
            return;
        }
        // The log is written once both values are posted to us; the pump
        // after it dispatches them.
        secondQueued = PumpUntil([&] { return ReadLines(published).size() >= 2; }, kDeadlineMs);
        PumpFor(0);
        deliveredInside = recorder_->values.size();
    };
    start.Set();
    PumpUntil([&] { return recorder_->values.size() >= 2; }, kDeadlineMs);
    EXPECT_TRUE(secondQueued);
    EXPECT_EQ(deliveredInside, 1u) << "the second value was delivered inside the first handler";
    EXPECT_EQ(recorder_->values, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(link_->Text(), "B");
}

TEST_F(DdeLinkAdapterTest, ValueWithoutTerminatingNulEndsAtTheDataSize) {
    ChildProcess decoder;
    const HeldEvent go("QuillonAdapterGo");
    ASSERT_TRUE(StartDecoder(decoder, {"--start-event", go.Name(), "--no-nul", "--value", "ABC",
                                       "--value", "X", "--value", ""}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    go.Set();
    PumpUntil([&] { return recorder_->values.size() >= 3; }, kDeadlineMs);
    EXPECT_EQ(recorder_->values, (std::vector<std::string>{"ABC", "X", ""}));
}

TEST_F(DdeLinkAdapterTest, ExecuteSendsTheCommandBytesUnchanged) {
    ScratchDir dir;
    ChildProcess logger;
    ASSERT_TRUE(StartLogger(logger, {"--out", dir.Path() + "received.txt"}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    EXPECT_EQ(link_->LinkMode(), 1);
    for (const std::string command : {"006displaycwCQ", "006displaycw\x01\x7F\x80\xFF\\"}) {
        EXPECT_EQ(CollectError([&] { link_->LinkExecute(command); }), 0);
        const size_t outcomes = recorder_->outcomes.size();
        EXPECT_TRUE(PumpUntil([&] { return recorder_->outcomes.size() > outcomes; }, kDeadlineMs));
    }
    EXPECT_EQ(recorder_->outcomes, (std::vector<int32_t>{0, 0}));
    ASSERT_TRUE(logger.Quit());
    EXPECT_EQ(ReadLines(dir.Path() + "received.txt"),
              (std::vector<std::string>{"006displaycwCQ", "006displaycw\\x01\\x7F\\x80\\xFF\\\\"}));
}

TEST_F(DdeLinkAdapterTest, CloseIsNoticedOnceWhenTheServerQuitsOrIsKilled_AndReconnectWorks) {
    for (int round = 0; round < 4; ++round) {
        const bool kill = round % 2 == 1;
        SCOPED_TRACE(kill ? "killed" : "quit");
        ChildProcess decoder;
        ASSERT_TRUE(StartDecoder(decoder, {}));
        ASSERT_EQ(ConnectWhenReady(), 0);
        ASSERT_EQ(link_->LinkMode(), 1);
        const int closesBefore = recorder_->closes;
        if (kill) {
            decoder.Kill();
        } else {
            ASSERT_TRUE(decoder.Quit());
        }
        EXPECT_TRUE(PumpUntil([&] { return recorder_->closes > closesBefore; }, 3000));
        PumpFor(700);
        EXPECT_EQ(recorder_->closes, closesBefore + 1);
        EXPECT_EQ(link_->LinkMode(), 0);
    }
}

TEST_F(DdeLinkAdapterTest, ExecuteAfterTheServerQuitRaises293AndClosesOnce) {
    ChildProcess logger;
    ASSERT_TRUE(StartLogger(logger, {}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    ASSERT_TRUE(logger.Quit());
    // Right away, before the watch timer has looked.
    EXPECT_EQ(CollectError([&] { link_->LinkExecute("006displaycwCQ"); }), kErrDdeMethodNoChannel);
    PumpFor(700);
    EXPECT_EQ(recorder_->closes, 1);

    ChildProcess restarted;
    ASSERT_TRUE(StartLogger(restarted, {}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    EXPECT_EQ(CollectError([&] { link_->LinkExecute("006displaycwCQ"); }), 0);
}

// The execute that finds the conversation lost posts its close; a new
// conversation opened before the message loop runs makes that close stale,
// whether the new one still stands or was ended by us meanwhile.
TEST_F(DdeLinkAdapterTest, CloseOfAConversationLostInAnExecuteIsDroppedOnceANewOneOpens) {
    ChildProcess other;
    ASSERT_TRUE(other.Start(ToolsDir() + "logger_sim.exe", {"--service", "PalavanOther"}));
    Describe("PalavanOther|DDEServer", "DDECommand");
    ASSERT_EQ(ConnectWhenReady(), 0);
    for (const bool endNewLink : {false, true}) {
        SCOPED_TRACE(endNewLink ? "new link ended by us" : "new link standing");
        ChildProcess logger;
        ASSERT_TRUE(StartLogger(logger, {}));
        ASSERT_EQ(ConnectWhenReady(), 0);
        // Killed: no terminate arrives, so only the execute finds the loss.
        logger.Kill();
        EXPECT_EQ(CollectError([&] { link_->LinkExecute("006displaycwCQ"); }),
                  kErrDdeMethodNoChannel);
        // No message pumped since: the close is still waiting in the queue.
        Describe("PalavanOther|DDEServer", "DDECommand");
        ASSERT_EQ(CollectError([&] { link_->SetLinkMode(1); }), 0);
        if (endNewLink) {
            link_->SetLinkMode(0);
        }
        PumpFor(700);
        EXPECT_EQ(recorder_->closes, 0);
        EXPECT_EQ(link_->LinkMode(), endNewLink ? 0 : 1);
    }
}

// A command past its limit is reported as soon as the thread handles a
// message of any link: values of the decoder queued behind each other hold
// back the timers, which come only once the queue is empty.
TEST_F(DdeLinkAdapterTest, ACommandPastItsLimitIsReportedAheadOfAnotherLinksQueuedValues) {
    Win32DdeLink loggerLink(nullptr);  // a link with no control
    Recorder loggerEvents(loggerLink);
    loggerLink.SetEvents(&loggerEvents);
    size_t valuesAtOutcome = 0;
    loggerEvents.onOutcome = [&] { valuesAtOutcome = recorder_->values.size(); };
    ChildProcess logger;
    ASSERT_TRUE(logger.Start(ToolsDir() + "logger_sim.exe", {"--slow", "6500"}));
    loggerLink.SetLinkTopic("Palavan|DDEServer");
    loggerLink.SetLinkItem("DDECommand");
    ASSERT_TRUE(PumpUntil([&] { return CollectError([&] { loggerLink.SetLinkMode(1); }) == 0; },
                          kDeadlineMs));

    ChildProcess decoder;
    const HeldEvent go("QuillonAdapterGo");
    ASSERT_TRUE(StartDecoder(decoder, {"--start-event", go.Name(), "--interval", "1",
                                       "--numbered-prefix", "V", "--numbered", "2000"}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    ASSERT_EQ(CollectError([&] { loggerLink.LinkExecute("006displaycwCQ"); }), 0);
    go.Set();
    Sleep(5500);  // the command's 5 s pass while the values queue up
    EXPECT_TRUE(PumpUntil([&] { return recorder_->values.size() >= 2000; }, kDeadlineMs));
    EXPECT_EQ(loggerEvents.outcomes, (std::vector<int32_t>{kErrDdeTimeout}));
    EXPECT_LE(valuesAtOutcome, 1u) << "the timeout waited for the queued values";
}

}  // namespace
}  // namespace quillon::win32
