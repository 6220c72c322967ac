// The built gateway between the two simulators, under Wine: status lines,
// loss and return of either peer, error reports and the forwarded bytes.
// Each test runs its own copy of the program in a scratch folder, so its
// ErrorLog.txt is its own.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "SimText.h"
#include "windows/support/Gateway.h"
#include "windows/support/StatusTexts.h"

namespace quillon::testing {
namespace {

class GatewayDdeE2eTest : public ::testing::Test {
  protected:
    void StartGateway() { ASSERT_TRUE(gateway_.Start()); }

    // A logger writing to `out`, a decoder with `arguments` that begins once
    // go_ is set, and the gateway linked to both.
    void StartLinked(const std::string& out, const std::vector<std::string>& arguments) {
        ASSERT_TRUE(gateway_.StartLogger(logger_, out));
        std::vector<std::string> gated{"--start-event", go_.Name()};
        gated.insert(gated.end(), arguments.begin(), arguments.end());
        ASSERT_TRUE(gateway_.StartDecoder(decoder_, gated));
        StartGateway();
        ASSERT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
        ASSERT_TRUE(gateway_.WaitPalavan(kPalavanConnected)) << gateway_.Palavan();
    }

    Gateway gateway_;
    const HeldEvent go_{"QuillonE2eGo"};
    ChildProcess logger_;
    ChildProcess decoder_;
};

TEST_F(GatewayDdeE2eTest, WithNoPeersBothLinksReadNotResponding) {
    StartGateway();
    EXPECT_TRUE(gateway_.WaitMrp(kMrpNotResponding)) << gateway_.Mrp();
    EXPECT_TRUE(gateway_.WaitPalavan(kPalavanNotResponding)) << gateway_.Palavan();
    // Retries keep going and change nothing.
    PumpFor(1200);
    EXPECT_EQ(gateway_.Mrp(), kMrpNotResponding);
    EXPECT_TRUE(gateway_.Running());
}

TEST_F(GatewayDdeE2eTest, OnlyTheSdrVariantRunning_ConnectsToIt) {
    ChildProcess decoder;
    ASSERT_TRUE(gateway_.StartDecoder(decoder, {"--service", "MRP40 SDR"}));
    StartGateway();
    EXPECT_TRUE(gateway_.WaitMrp(kMrpConnectedSdr)) << gateway_.Mrp();
}

TEST_F(GatewayDdeE2eTest, RefusedAdviseStaysConnecting) {
    ChildProcess decoder;
    ASSERT_TRUE(gateway_.StartDecoder(decoder, {"--refuse-advise"}));
    StartGateway();
    EXPECT_TRUE(gateway_.WaitMrp(kMrpConnecting)) << gateway_.Mrp();
    PumpFor(1500);
    EXPECT_EQ(gateway_.Mrp(), kMrpConnecting);
}

TEST_F(GatewayDdeE2eTest, DecoderQuitOrKilled_NotRespondingThenConnectedAgain) {
    StartGateway();
    for (int round = 0; round < 2; ++round) {
        const bool kill = round == 1;
        SCOPED_TRACE(kill ? "killed" : "quit");
        ChildProcess decoder;
        ASSERT_TRUE(gateway_.StartDecoder(decoder, {}));
        ASSERT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
        if (kill) {
            decoder.Kill();
        } else {
            ASSERT_TRUE(decoder.Quit());
        }
        EXPECT_TRUE(gateway_.WaitMrp(kMrpNotResponding)) << gateway_.Mrp();
    }
    ChildProcess again;
    ASSERT_TRUE(gateway_.StartDecoder(again, {}));
    EXPECT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
}

TEST_F(GatewayDdeE2eTest, LoggerQuitOrKilled_ReconnectsAndForwardingResumes) {
    // A decoder that keeps publishing "K" every 100 ms.
    ChildProcess decoder;
    ASSERT_TRUE(gateway_.StartDecoder(decoder,
                                      {"--interval", "100", "--value", "K", "--repeat", "100000"}));
    StartGateway();
    ASSERT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const std::string out = "received" + std::to_string(round) + ".txt";
        ChildProcess logger;
        ASSERT_TRUE(gateway_.StartLogger(logger, out));
        ASSERT_TRUE(gateway_.WaitPalavan(kPalavanConnected)) << gateway_.Palavan();
        EXPECT_TRUE(WaitUntil([&] { return gateway_.Received(out).size() >= 3; }, kDeadlineMs));
        for (const std::string& line : gateway_.Received(out)) {
            EXPECT_EQ(line, "006displaycwK");
        }
        if (round == 1) {
            logger.Kill();
        } else {
            ASSERT_TRUE(logger.Quit());
        }
        EXPECT_TRUE(gateway_.WaitPalavan(kPalavanNotResponding)) << gateway_.Palavan();
    }
    EXPECT_EQ(gateway_.Mrp(), kMrpConnected);
    EXPECT_TRUE(gateway_.Running());
}

TEST_F(GatewayDdeE2eTest, LoggerAbsentOrRefusing_EachValueIsReportedAndNothingCrashes) {
    const HeldEvent go("QuillonE2eGoAbsent");
    ChildProcess decoder;
    ASSERT_TRUE(gateway_.StartDecoder(
        decoder, {"--start-event", go.Name(), "--value", "A", "--value", "B", "--value", "C"}));
    StartGateway();
    ASSERT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
    ASSERT_TRUE(gateway_.WaitPalavan(kPalavanNotResponding)) << gateway_.Palavan();
    go.Set();
    EXPECT_TRUE(WaitUntil([&] { return CountOf(gateway_.ErrorLog(), "MRP_UI.MRPDDE_Change") >= 3; },
                          kDeadlineMs))
        << gateway_.ErrorLog();
    PumpFor(500);
    EXPECT_EQ(CountOf(gateway_.ErrorLog(), "MRP_UI.MRPDDE_Change"), 3) << gateway_.ErrorLog();

    // Now a logger that refuses every command.
    const std::string out = "refused.txt";
    ChildProcess logger;
    ASSERT_TRUE(gateway_.StartLogger(logger, out, {"--refuse-executes"}));
    ASSERT_TRUE(gateway_.WaitPalavan(kPalavanConnected)) << gateway_.Palavan();
    const HeldEvent go2("QuillonE2eGoRefused");
    decoder.Kill();
    ASSERT_TRUE(gateway_.WaitMrp(kMrpNotResponding)) << gateway_.Mrp();
    ChildProcess decoder2;
    ASSERT_TRUE(gateway_.StartDecoder(
        decoder2, {"--start-event", go2.Name(), "--value", "D", "--value", "E"}));
    ASSERT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
    go2.Set();
    EXPECT_TRUE(WaitUntil([&] { return CountOf(gateway_.ErrorLog(), "MRP_UI.MRPDDE_Change") >= 5; },
                          kDeadlineMs))
        << gateway_.ErrorLog();
    EXPECT_EQ(gateway_.Received(out), (std::vector<std::string>{"006displaycwD", "006displaycwE"}));
    EXPECT_TRUE(gateway_.Running());
    EXPECT_EQ(gateway_.Palavan(), kPalavanConnected);
}

TEST_F(GatewayDdeE2eTest, ValuesPassThroughByteExactWithTheThreeSubstitutions) {
    std::string allBytes;
    std::string script;
    for (int byte = 1; byte < 256; ++byte) {
        allBytes += static_cast<char>(byte);
        char hex[5];
        snprintf(hex, sizeof(hex), "\\x%02X", byte);
        script += hex;
    }
    std::string substituted = allBytes;
    for (char& c : substituted) {
        const auto byte = static_cast<unsigned char>(c);
        c = byte == 173 ? '-' : byte == 183 ? '.' : byte == 216 ? '0' : c;
    }
    ASSERT_TRUE(WriteWholeFile(gateway_.Folder() + "script.txt",
                               "CQ\nN\nN\n\n" + script + "\n\\xD8\\xB7\\xAD\n"));

    const std::string out = "received.txt";
    ASSERT_NO_FATAL_FAILURE(StartLinked(
        out, {"--script", gateway_.Folder() + "script.txt", "--big", "40000", "--value", "AFTER"}));
    go_.Set();

    const std::vector<std::string> expected = {
        "006displaycwCQ",  "006displaycwN",
        "006displaycwN",   "006displaycw" + tools::EscapeBytes(substituted),
        "006displaycw0.-", "006displaycwAFTER"};
    EXPECT_TRUE(
        WaitUntil([&] { return gateway_.Received(out).size() >= expected.size(); }, kDeadlineMs));
    PumpFor(500);
    EXPECT_EQ(gateway_.Received(out), expected);
    // The 40,000-character value overflows the position count: reported once.
    EXPECT_EQ(CountOf(gateway_.ErrorLog(), "MRP_UI.MRPDDE_Change"), 1) << gateway_.ErrorLog();
    EXPECT_TRUE(gateway_.Running());
}

TEST_F(GatewayDdeE2eTest, TwoThousandValuesAtFullSpeedArriveCompleteAndInOrder) {
    constexpr int kValues = 2000;
    const std::string out = "received.txt";
    ASSERT_NO_FATAL_FAILURE(StartLinked(out, {"--numbered", std::to_string(kValues)}));
    go_.Set();
    // Wait for completion; how long it takes is the benchmark's business.
    WaitUntil([&] { return static_cast<int>(gateway_.Received(out).size()) >= kValues; }, 120000);
    PumpFor(300);
    const std::vector<std::string> received = gateway_.Received(out);
    ASSERT_EQ(static_cast<int>(received.size()), kValues);
    for (int n = 1; n <= kValues; ++n) {
        char expected[32];
        snprintf(expected, sizeof(expected), "006displaycw#%06d", n);
        ASSERT_EQ(received[static_cast<size_t>(n - 1)], expected) << "value " << n;
    }
    EXPECT_EQ(gateway_.ErrorLog().find("program error"), std::string::npos) << gateway_.ErrorLog();
}

// Both decoder variants run: the link is made to "MRP40" and carries its
// values, each cut at its first NUL. A logger that answers but refuses the
// hot link leaves the command link at "connecting".
TEST_F(GatewayDdeE2eTest, PrefersMrp40_CutsValuesAtNul_RefusedHotLinkStaysConnecting) {
    // Registered one after the other, so the first attempt finds both.
    ChildProcess mrp40;
    ASSERT_TRUE(gateway_.StartDecoder(
        mrp40, {"--start-event", go_.Name(), "--value", "CQ\\x00DE", "--value", "K"}));
    ASSERT_TRUE(WaitUntil([] { return DecoderAnswers("MRP40"); }, kDeadlineMs));
    ChildProcess sdr;
    ASSERT_TRUE(gateway_.StartDecoder(
        sdr, {"--service", "MRP40 SDR", "--start-event", go_.Name(), "--value", "SDR"}));
    ASSERT_TRUE(WaitUntil([] { return DecoderAnswers("MRP40 SDR"); }, kDeadlineMs));
    ChildProcess refusing;
    ASSERT_TRUE(gateway_.StartLogger(refusing, "refusing.txt", {"--refuse-advise"}));

    ASSERT_TRUE(gateway_.Start());
    EXPECT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
    EXPECT_TRUE(gateway_.WaitPalavan(kPalavanConnecting)) << gateway_.Palavan();
    PumpFor(1200);  // further attempts, each refused the same way
    EXPECT_EQ(gateway_.Palavan(), kPalavanConnecting);

    // A logger that keeps the hot link; it writes what it receives byte for
    // byte, the command's terminating NUL included.
    ASSERT_TRUE(refusing.Quit());
    ChildProcess logger;
    ASSERT_TRUE(gateway_.StartLogger(logger, "received.txt", {"--raw"}));
    ASSERT_TRUE(gateway_.WaitPalavan(kPalavanConnected)) << gateway_.Palavan();
    go_.Set();
    const std::vector<std::string> expected = {std::string("006displaycwCQ\0", 15),
                                               std::string("006displaycwK\0", 14)};
    EXPECT_TRUE(
        WaitUntil([&] { return gateway_.Received("received.txt").size() >= 2; }, kDeadlineMs));
    PumpFor(500);
    EXPECT_EQ(gateway_.Received("received.txt"), expected);
    EXPECT_EQ(gateway_.Mrp(), kMrpConnected);
}

}  // namespace
}  // namespace quillon::testing
