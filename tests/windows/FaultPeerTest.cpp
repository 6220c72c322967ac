// The gateway between peers that misbehave, under Wine: a logger that stalls
// past the execute bound, answers busy or acknowledges late; a decoder that
// sends another clipboard format than the one advised, or no terminating
// NUL; two decoders that both answer as "MRP40"; another program's window
// that stops answering. In every case the gateway keeps running and
// answering, and no command it sends is corrupted.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "windows/support/Gateway.h"
#include "windows/support/StatusTexts.h"

namespace quillon::testing {
namespace {

using Lines = std::vector<std::string>;

class FaultPeerTest : public ::testing::Test {
  protected:
    // Gateway, logger and decoder up, both links standing; the decoder
    // publishes once `go_` is signalled.
    void StartAll(const std::vector<std::string>& loggerOptions,
                  std::vector<std::string> decoderOptions) {
        ASSERT_TRUE(gateway_.StartLogger(logger_, "received.txt", loggerOptions));
        decoderOptions.insert(decoderOptions.begin(), {"--start-event", go_.Name()});
        ASSERT_TRUE(gateway_.StartDecoder(decoder_, decoderOptions));
        ASSERT_TRUE(gateway_.Start());
        ASSERT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
        ASSERT_TRUE(gateway_.WaitPalavan(kPalavanConnected)) << gateway_.Palavan();
    }
    Lines Received() const { return gateway_.Received("received.txt"); }
    bool WaitReceived(size_t count) const {
        return WaitUntil([&] { return Received().size() >= count; }, kDeadlineMs);
    }
    int Reports(const std::string& number) const {
        return CountOf(gateway_.ErrorLog(),
                       "program error " + number + " in module MRP_UI.MRPDDE_Change");
    }

    Gateway gateway_;
    ChildProcess logger_;
    ChildProcess decoder_;
    const HeldEvent go_{"QuillonFaultGo"};
};

TEST_F(FaultPeerTest, AStalledLoggerTimesOutOnceAndIsServedAgainWhenItRecovers) {
    // The first execute is acknowledged after 8 s, past the 5 s bound; a
    // value arrives while the logger is still stalled, one after it is back.
    StartAll({"--slow", "8000", "--slow-count", "1"},
             {"--value", "FIRST", "--pause", "6000", "--value", "MIDDLE", "--pause", "6000",
              "--value", "LAST"});
    go_.Set();
    ASSERT_TRUE(WaitReceived(1));
    // How fast the window handles posted messages during such a stall is
    // measured by the table of raw-message peers (DdePeerTest.cpp).
    EXPECT_TRUE(WaitUntil([&] { return Reports("286") >= 1; }, kDeadlineMs)) << gateway_.ErrorLog();
    EXPECT_TRUE(gateway_.Responds());
    EXPECT_TRUE(WaitReceived(3));
    PumpFor(1000);
    EXPECT_EQ(Received(), (Lines{"006displaycwFIRST", "006displaycwMIDDLE", "006displaycwLAST"}));
    EXPECT_EQ(CountOf(gateway_.ErrorLog(), "program error"), 1) << gateway_.ErrorLog();
    EXPECT_EQ(Reports("286"), 1) << gateway_.ErrorLog();
    EXPECT_EQ(gateway_.Palavan(), kPalavanConnected);
    EXPECT_TRUE(gateway_.Running());
}

// A logger that stays busy is offered each command again and again for
// its 5 s, in order, and each command given up is one 288 line.
TEST_F(FaultPeerTest, ABusyLoggerIsOfferedEachCommandAgainAndEachIsReportedOnce) {
    StartAll({"--busy"}, {"--value", "A", "--value", "B"});
    go_.Set();
    EXPECT_TRUE(WaitUntil([&] { return Reports("288") >= 2; }, kDeadlineMs)) << gateway_.ErrorLog();
    PumpFor(500);
    const Lines received = Received();
    const auto firstB = std::find(received.begin(), received.end(), "006displaycwB");
    EXPECT_GE(firstB - received.begin(), 3) << "A offered again while busy";
    EXPECT_GE(received.end() - firstB, 3) << "B offered again while busy";
    EXPECT_EQ(std::count(received.begin(), received.end(), "006displaycwA") +
                  std::count(firstB, received.end(), "006displaycwB"),
              static_cast<std::ptrdiff_t>(received.size()))
        << "only A, then only B";
    EXPECT_EQ(CountOf(gateway_.ErrorLog(), "program error"), 2) << gateway_.ErrorLog();
    EXPECT_EQ(Reports("288"), 2) << gateway_.ErrorLog();
    EXPECT_EQ(gateway_.Palavan(), kPalavanConnected);
    EXPECT_TRUE(gateway_.Responds());
}

TEST_F(FaultPeerTest, ALateButInTimeLoggerGetsEveryCommandWithoutReports) {
    StartAll({"--slow", "1500"}, {"--value", "A", "--value", "B", "--value", "C"});
    go_.Set();
    EXPECT_TRUE(WaitReceived(3));
    PumpFor(2000);
    EXPECT_EQ(Received(), (Lines{"006displaycwA", "006displaycwB", "006displaycwC"}));
    EXPECT_EQ(gateway_.ErrorLog(), "");
    EXPECT_TRUE(gateway_.Responds());
}

TEST_F(FaultPeerTest, ValuesWithoutTheirNulArriveWhole) {
    StartAll({}, {"--no-nul", "--value", "CQ", "--value", "R 5NN\\xD8", "--value", "K"});
    go_.Set();
    EXPECT_TRUE(WaitReceived(3));
    PumpFor(500);
    EXPECT_EQ(Received(), (Lines{"006displaycwCQ", "006displaycwR 5NN0", "006displaycwK"}));
    EXPECT_EQ(gateway_.ErrorLog(), "");
}

// The link advised CF_TEXT. Data labelled with any other format is not
// text the gateway can read: it is refused and nothing is sent for it,
// while the CF_TEXT values around it pass as usual.
TEST_F(FaultPeerTest, DataInAFormatNotAdvisedIsNotForwarded) {
    for (const char* format : {"13", "QuillonPrivateFormat"}) {
        SCOPED_TRACE(format);
        Gateway gateway;
        ChildProcess logger;
        ASSERT_TRUE(gateway.StartLogger(logger, "received.txt"));
        ASSERT_TRUE(gateway.Start());
        ASSERT_TRUE(gateway.WaitPalavan(kPalavanConnected)) << gateway.Palavan();
        for (const bool odd : {false, true}) {
            const HeldEvent go("QuillonFaultFormat");
            ChildProcess decoder;
            std::vector<std::string> options = {"--start-event", go.Name(), "--value", "CQ",
                                                "--quit-after"};
            if (odd) {
                options.insert(options.begin(), {"--format", format});
            }
            ASSERT_TRUE(gateway.StartDecoder(decoder, options));
            ASSERT_TRUE(gateway.WaitMrp(kMrpConnected)) << gateway.Mrp();
            go.Set();
            EXPECT_TRUE(decoder.WaitForExit(kDeadlineMs));
            ASSERT_TRUE(gateway.WaitMrp(kMrpNotResponding)) << gateway.Mrp();
        }
        EXPECT_EQ(gateway.Received("received.txt"), (Lines{"006displaycwCQ"}));
        EXPECT_EQ(gateway.ErrorLog(), "");
        EXPECT_TRUE(gateway.Running());
    }
}

TEST_F(FaultPeerTest, TwoDecodersAnsweringAsMrp40_OneIsServedWholeThenTheOther) {
    const HeldEvent go("QuillonFaultTwins");
    ChildProcess first;
    ChildProcess second;
    ASSERT_TRUE(gateway_.StartDecoder(
        first, {"--start-event", go.Name(), "--numbered-prefix", "A", "--numbered", "20"}));
    ASSERT_TRUE(gateway_.StartDecoder(
        second, {"--start-event", go.Name(), "--numbered-prefix", "B", "--numbered", "20"}));
    ASSERT_TRUE(gateway_.StartLogger(logger_, "received.txt"));
    ASSERT_TRUE(gateway_.Start());
    ASSERT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
    ASSERT_TRUE(gateway_.WaitPalavan(kPalavanConnected)) << gateway_.Palavan();
    go.Set();
    EXPECT_TRUE(WaitReceived(20));
    PumpFor(1000);
    const Lines received = Received();
    ASSERT_EQ(received.size(), 20u);
    // All from one of them, complete and in order.
    const char served = received[0].size() > 12 ? received[0][12] : '?';
    ASSERT_TRUE(served == 'A' || served == 'B') << received[0];
    for (int n = 1; n <= 20; ++n) {
        char expected[32];
        snprintf(expected, sizeof(expected), "006displaycw%c%06d", served, n);
        EXPECT_EQ(received[static_cast<size_t>(n - 1)], expected);
    }
    // The served one quits: the other one is found under the same name.
    ASSERT_TRUE((served == 'A' ? first : second).Quit());
    EXPECT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
    EXPECT_TRUE((served == 'A' ? second : first).Running());
    EXPECT_EQ(gateway_.ErrorLog(), "");
    EXPECT_TRUE(gateway_.Running());
}

// Another program's window stops answering for 15 s, as the hidden window of
// a busy helper thread does. Throughout, a minimise or restore posted to the
// gateway's window shows within 1 s, and a decoder started 1 s into the
// pause is linked within 3 s of its start. The same without the busy window
// gives the figures to compare with.
TEST_F(FaultPeerTest, AWindowThatStopsAnsweringHoldsUpNeitherTheWindowNorALink) {
    constexpr DWORD kPauseMs = 15000;
    for (const bool busy : {false, true}) {
        SCOPED_TRACE(busy ? "a window stops answering" : "no busy window");
        Gateway gateway;
        ASSERT_TRUE(gateway.Start());
        ASSERT_TRUE(gateway.WaitMrp(kMrpNotResponding)) << gateway.Mrp();
        const HWND window = gateway.Window();
        const HeldEvent stopped("QuillonBusyStopped");
        ChildProcess busyWindow;
        if (busy) {
            ASSERT_TRUE(busyWindow.Start(
                ToolsDir() + "busy_window.exe",
                {"--answer-ms", "1500", "--stop-ms", "15000", "--stopped-event", stopped.Name()},
                false));
            ASSERT_TRUE(stopped.WaitSet(kDeadlineMs));
        }
        const DWORD pauseStart = GetTickCount();
        const DWORD probeMs = busy ? kPauseMs : 3000;
        DWORD worstDelay = 0;
        DWORD totalDelay = 0;
        int probes = 0;
        bool minimise = true;
        DWORD posted = 0;  // 0: no probe waiting
        DWORD nextProbe = pauseStart;
        ChildProcess decoder;
        DWORD decoderStart = 0;
        DWORD linkedAfter = 0;
        for (;;) {
            const DWORD now = GetTickCount();
            const bool probing = now - pauseStart < probeMs;
            if (posted != 0 && (IsIconic(window) != FALSE) == minimise) {
                worstDelay = std::max(worstDelay, now - posted);
                totalDelay += now - posted;
                ++probes;
                posted = 0;
                minimise = !minimise;
                nextProbe = now + 20;
            } else if (posted == 0 && probing && now - nextProbe < 0x80000000u) {
                posted = now;
                PostMessageA(window, WM_SYSCOMMAND, minimise ? SC_MINIMIZE : SC_RESTORE, 0);
            }
            if (decoderStart == 0 && now - pauseStart >= 1000) {
                ASSERT_TRUE(gateway.StartDecoder(decoder, {}));
                decoderStart = GetTickCount();
            }
            if (decoderStart != 0 && linkedAfter == 0 && (now - decoderStart) % 50 < 5 &&
                gateway.Mrp() == kMrpConnected) {
                linkedAfter = GetTickCount() - decoderStart;
            }
            const bool waiting = posted != 0 && now - posted < kDeadlineMs;
            const bool linking =
                linkedAfter == 0 && decoderStart != 0 && now - decoderStart < kDeadlineMs;
            if (!probing && !waiting && !linking) {
                break;
            }
            Sleep(1);
        }
        if (posted != 0) {
            worstDelay = std::max(worstDelay, GetTickCount() - posted);
        }
        if (IsIconic(window)) {
            PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
            WaitUntil([&] { return !IsIconic(window); }, kDeadlineMs);
        }
        std::printf(
            "  %s: posted message shown after at most %lu ms (mean %lu ms, %d probes);"
            " decoder linked %lu ms after its start\n",
            busy ? "window silent for 15 s" : "no busy window",
            static_cast<unsigned long>(worstDelay),
            static_cast<unsigned long>(probes > 0 ? totalDelay / probes : 0), probes,
            static_cast<unsigned long>(linkedAfter));
        EXPECT_LT(worstDelay, 1000u);
        EXPECT_GT(linkedAfter, 0u) << "not linked: " << gateway.Mrp();
        EXPECT_LT(linkedAfter, 3000u);
        EXPECT_TRUE(gateway.Responds());
        EXPECT_EQ(gateway.ErrorLog(), "");
    }
}
}  // namespace
}  // namespace quillon::testing
