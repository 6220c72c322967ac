// The DDEML client link adapter against the two simulators, under Wine.
// What every link does without a server's help is the shared table in
// contract/DdeLinkContract.h.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "contract/DdeLinkContract.h"
#include "win32/Win32DdeLink.h"
#include "windows/support/DdePeers.h"

namespace quillon::win32 {
namespace {

using testing::DdePeerProcess;
using testing::DdeScratchDir;
using testing::kDeadlineMs;
using testing::PumpFor;
using testing::PumpUntil;
using testing::ReadLines;
using testing::ToolsDir;
using testing::WriteWholeFile;

class Recorder : public DdeLinkEvents {
  public:
    explicit Recorder(DdeLinkPort& link) : link_(link) {}
    void OnLinkChange() override { values.push_back(link_.Text()); }
    void OnLinkClose() override { ++closes; }
    void OnLinkError(int16_t code) override { errors.push_back(code); }

    std::vector<std::string> values;
    int closes = 0;
    std::vector<int16_t> errors;

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

    bool StartDecoder(DdePeerProcess& decoder, std::vector<std::string> arguments) {
        Describe("MRP40|MRP40Form", "RXSymbol");
        return decoder.Start(ToolsDir() + "decoder_sim.exe", arguments);
    }

    bool StartLogger(DdePeerProcess& logger, std::vector<std::string> arguments) {
        Describe("Palavan|DDEServer", "DDECommand");
        return logger.Start(ToolsDir() + "logger_sim.exe", arguments);
    }

    HWND control_ = nullptr;
    std::unique_ptr<Win32DdeLink> link_;
    std::unique_ptr<Recorder> recorder_;
};

TEST_F(DdeLinkAdapterTest, KeepsTheDdeLinkContract) {
    DdePeerProcess decoder;
    contract::RunDdeLinkContract(*link_, [&] {
        ASSERT_TRUE(StartDecoder(decoder, {}));
        ASSERT_EQ(ConnectWhenReady(), 0);
    });
    PumpFor(600);
    EXPECT_EQ(recorder_->closes, 0) << "leaving a link for another raises no close";
}

TEST_F(DdeLinkAdapterTest, RefusedAdviseRaises285AndLeavesModeZero) {
    DdePeerProcess decoder;
    ASSERT_TRUE(StartDecoder(decoder, {"--refuse-advise"}));
    EXPECT_EQ(ConnectWhenReady(), kErrDdeNoResponse);
    EXPECT_EQ(link_->LinkMode(), 0);
    PumpFor(600);
    EXPECT_EQ(recorder_->closes, 0);
}

TEST_F(DdeLinkAdapterTest, EveryValueIsDeliveredInOrderWithRepeatsAndEmptyValues) {
    DdeScratchDir dir;
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
    DdePeerProcess decoder;
    const testing::HeldEvent go("QuillonAdapterGo");
    ASSERT_TRUE(
        StartDecoder(decoder, {"--start-event", go.Name(), "--script", dir.Path() + "script.txt"}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    EXPECT_EQ(link_->LinkMode(), 1);

    go.Set();
    const std::vector<std::string> expected = {"CQ", "N", "N", "", "\xD8\xB7\xAD", allBytes, "N"};
    PumpUntil([&] { return recorder_->values.size() >= expected.size(); }, kDeadlineMs);
    PumpFor(300);
    EXPECT_EQ(recorder_->values, expected);
    EXPECT_EQ(ControlText(control_), "N");
    EXPECT_EQ(link_->Text(), "N");
}

TEST_F(DdeLinkAdapterTest, ValueWithoutTerminatingNulEndsAtTheDataSize) {
    DdePeerProcess decoder;
    const testing::HeldEvent go("QuillonAdapterGo");
    ASSERT_TRUE(StartDecoder(decoder, {"--start-event", go.Name(), "--no-nul", "--value", "ABC",
                                       "--value", "X", "--value", ""}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    go.Set();
    PumpUntil([&] { return recorder_->values.size() >= 3; }, kDeadlineMs);
    EXPECT_EQ(recorder_->values, (std::vector<std::string>{"ABC", "X", ""}));
}

TEST_F(DdeLinkAdapterTest, ExecuteSendsTheCommandBytesUnchanged) {
    DdeScratchDir dir;
    DdePeerProcess logger;
    ASSERT_TRUE(StartLogger(logger, {"--out", dir.Path() + "received.txt"}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    EXPECT_EQ(link_->LinkMode(), 1);
    EXPECT_EQ(CollectError([&] { link_->LinkExecute("006displaycwCQ"); }), 0);
    EXPECT_EQ(CollectError([&] { link_->LinkExecute("006displaycw\x01\x7F\x80\xFF\\"); }), 0);
    ASSERT_TRUE(logger.Quit());
    EXPECT_EQ(ReadLines(dir.Path() + "received.txt"),
              (std::vector<std::string>{"006displaycwCQ", "006displaycw\\x01\\x7F\\x80\\xFF\\\\"}));
}

TEST_F(DdeLinkAdapterTest, RefusedBusyAndLateExecutesRaiseTheirNumbers) {
    struct Case {
        std::vector<std::string> options;
        int32_t expected;
    };
    const Case cases[] = {
        {{"--refuse-executes"}, kErrDdeNoResponse},
        {{"--busy"}, kErrDdeBusy},
        {{"--slow", "6500"}, kErrDdeTimeout},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.front());
        DdePeerProcess logger;
        ASSERT_TRUE(StartLogger(logger, c.options));
        ASSERT_EQ(ConnectWhenReady(), 0);
        EXPECT_EQ(CollectError([&] { link_->LinkExecute("006displaycwCQ"); }), c.expected);
        // A refused command does not end the conversation.
        EXPECT_EQ(link_->LinkMode(), 1);
        link_->SetLinkMode(0);
        EXPECT_EQ(link_->LinkMode(), 0);
        logger.Kill();
    }
    EXPECT_EQ(recorder_->closes, 0);
}

TEST_F(DdeLinkAdapterTest, CloseIsNoticedOnceWhenTheServerQuitsOrIsKilled_AndReconnectWorks) {
    for (int round = 0; round < 4; ++round) {
        const bool kill = round % 2 == 1;
        SCOPED_TRACE(kill ? "killed" : "quit");
        DdePeerProcess decoder;
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
    DdePeerProcess logger;
    ASSERT_TRUE(StartLogger(logger, {}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    ASSERT_TRUE(logger.Quit());
    // Right away, before the watch timer has looked.
    EXPECT_EQ(CollectError([&] { link_->LinkExecute("006displaycwCQ"); }), kErrDdeMethodNoChannel);
    PumpFor(700);
    EXPECT_EQ(recorder_->closes, 1);

    DdePeerProcess restarted;
    ASSERT_TRUE(StartLogger(restarted, {}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    EXPECT_EQ(CollectError([&] { link_->LinkExecute("006displaycwCQ"); }), 0);
}

TEST_F(DdeLinkAdapterTest, EndingTheLinkOurselvesRaisesNoClose) {
    DdePeerProcess decoder;
    ASSERT_TRUE(StartDecoder(decoder, {}));
    ASSERT_EQ(ConnectWhenReady(), 0);
    link_->SetLinkMode(0);
    EXPECT_EQ(link_->LinkMode(), 0);
    PumpFor(600);
    EXPECT_EQ(recorder_->closes, 0);
    // And the same server accepts us again.
    EXPECT_EQ(CollectError([&] { link_->SetLinkMode(1); }), 0);
}

}  // namespace
}  // namespace quillon::win32
