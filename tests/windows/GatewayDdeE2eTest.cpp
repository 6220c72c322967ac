// The built gateway between the two simulators, under Wine: status lines,
// loss and return of either peer, error reports and the forwarded bytes.
// Each test runs its own copy of the program in a scratch folder, so its
// ErrorLog.txt is its own.

#include <gtest/gtest.h>
#include <windows.h>
// ddeml.h needs the types of windows.h declared first.
#include <ddeml.h>

#include <string>
#include <vector>

#include "SimText.h"
#include "windows/support/ChildProcess.h"
#include "windows/support/DdePeers.h"
#include "windows/support/FaultGateway.h"
#include "windows/support/WindowSearch.h"

namespace quillon::testing {
namespace {

constexpr char kMainWindowClass[] = "MRP_Quillon.MainWindow";
constexpr DWORD kDeadlineMs = 5000;  // generous: Wine under load

class GatewayDdeE2eTest : public ::testing::Test {
  protected:
    void SetUp() override {
        exe_ = dir_.Path() + "MRP_Quillon.exe";
        ASSERT_TRUE(CopyFileA(GatewayExePath().c_str(), exe_.c_str(), FALSE)) << GatewayExePath();
    }

    void StartGateway() {
        gateway_ = std::make_unique<ChildProcess>(exe_);
        ASSERT_TRUE(gateway_->Started());
        ASSERT_TRUE(WaitUntil(
            [&] {
                window_ = FindTopWindow(gateway_->Id(), kMainWindowClass);
                return window_ != nullptr;
            },
            kDeadlineMs));
    }

    // The visible label that starts with `prefix` ("MRP status: ").
    std::string StatusLine(const std::string& prefix) {
        for (const std::string& label : ReadLabels(window_)) {
            if (label.compare(0, prefix.size(), prefix) == 0) {
                return label;
            }
        }
        return std::string();
    }
    std::string Mrp() { return StatusLine("MRP status: "); }
    std::string Palavan() { return StatusLine("Palavan status: "); }

    bool WaitMrp(const std::string& text, DWORD timeoutMs = kDeadlineMs) {
        return WaitUntil([&] { return Mrp() == text; }, timeoutMs);
    }
    bool WaitPalavan(const std::string& text, DWORD timeoutMs = kDeadlineMs) {
        return WaitUntil([&] { return Palavan() == text; }, timeoutMs);
    }

    bool StartDecoder(DdePeerProcess& decoder, const std::vector<std::string>& arguments) {
        return decoder.Start(ToolsDir() + "decoder_sim.exe", arguments);
    }
    bool StartLogger(DdePeerProcess& logger, const std::string& out,
                     std::vector<std::string> arguments = {}) {
        arguments.push_back("--out");
        arguments.push_back(out);
        return logger.Start(ToolsDir() + "logger_sim.exe", arguments);
    }

    std::vector<std::string> Received(const std::string& out) { return ReadLines(out); }
    std::string ErrorLog() { return ReadWholeFile(dir_.Path() + "ErrorLog.txt"); }
    static int Count(const std::string& text, const std::string& what) {
        int count = 0;
        for (size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + what.size())) {
            ++count;
        }
        return count;
    }

    // A named event that lets a waiting decoder start publishing.
    static void Signal(const std::string& name) {
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
        SetEvent(event);
        CloseHandle(event);
    }
    static std::string UniqueName(const char* base) {
        return std::string(base) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(GetTickCount());
    }

    DdeScratchDir dir_;
    std::string exe_;
    std::unique_ptr<ChildProcess> gateway_;
    HWND window_ = nullptr;
};

TEST_F(GatewayDdeE2eTest, WithNoPeersBothLinksReadNotResponding) {
    StartGateway();
    EXPECT_TRUE(WaitMrp("MRP status: not responding")) << Mrp();
    EXPECT_TRUE(WaitPalavan("Palavan status: not responding")) << Palavan();
    // Retries keep going and change nothing.
    PumpFor(1200);
    EXPECT_EQ(Mrp(), "MRP status: not responding");
    EXPECT_TRUE(gateway_->Running());
}

TEST_F(GatewayDdeE2eTest, OnlyTheSdrVariantRunning_ConnectsToIt) {
    DdePeerProcess decoder;
    ASSERT_TRUE(StartDecoder(decoder, {"--service", "MRP40 SDR"}));
    StartGateway();
    EXPECT_TRUE(WaitMrp("MRP status: connected to MRP40 SDR")) << Mrp();
}

TEST_F(GatewayDdeE2eTest, RefusedAdviseStaysConnecting) {
    DdePeerProcess decoder;
    ASSERT_TRUE(StartDecoder(decoder, {"--refuse-advise"}));
    StartGateway();
    EXPECT_TRUE(WaitMrp("MRP status: connecting")) << Mrp();
    PumpFor(1500);
    EXPECT_EQ(Mrp(), "MRP status: connecting");
}

TEST_F(GatewayDdeE2eTest, DecoderQuitOrKilled_NotRespondingThenConnectedAgain) {
    StartGateway();
    for (int round = 0; round < 2; ++round) {
        const bool kill = round == 1;
        SCOPED_TRACE(kill ? "killed" : "quit");
        DdePeerProcess decoder;
        ASSERT_TRUE(StartDecoder(decoder, {}));
        ASSERT_TRUE(WaitMrp("MRP status: connected to MRP40")) << Mrp();
        if (kill) {
            decoder.Kill();
        } else {
            ASSERT_TRUE(decoder.Quit());
        }
        EXPECT_TRUE(WaitMrp("MRP status: not responding")) << Mrp();
    }
    DdePeerProcess again;
    ASSERT_TRUE(StartDecoder(again, {}));
    EXPECT_TRUE(WaitMrp("MRP status: connected to MRP40")) << Mrp();
}

TEST_F(GatewayDdeE2eTest, LoggerQuitOrKilled_ReconnectsAndForwardingResumes) {
    // A decoder that keeps publishing "K" every 100 ms.
    DdePeerProcess decoder;
    ASSERT_TRUE(StartDecoder(decoder, {"--interval", "100", "--value", "K", "--repeat", "100000"}));
    StartGateway();
    ASSERT_TRUE(WaitMrp("MRP status: connected to MRP40")) << Mrp();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const std::string out = dir_.Path() + "received" + std::to_string(round) + ".txt";
        DdePeerProcess logger;
        ASSERT_TRUE(StartLogger(logger, out));
        ASSERT_TRUE(WaitPalavan("Palavan status: connected")) << Palavan();
        EXPECT_TRUE(WaitUntil([&] { return Received(out).size() >= 3; }, kDeadlineMs));
        for (const std::string& line : Received(out)) {
            EXPECT_EQ(line, "006displaycwK");
        }
        if (round == 1) {
            logger.Kill();
        } else {
            ASSERT_TRUE(logger.Quit());
        }
        EXPECT_TRUE(WaitPalavan("Palavan status: not responding")) << Palavan();
    }
    EXPECT_EQ(Mrp(), "MRP status: connected to MRP40");
    EXPECT_TRUE(gateway_->Running());
}

TEST_F(GatewayDdeE2eTest, LoggerAbsentOrRefusing_EachValueIsReportedAndNothingCrashes) {
    const std::string go = UniqueName("QuillonE2eGoAbsent");
    DdePeerProcess decoder;
    ASSERT_TRUE(StartDecoder(
        decoder, {"--start-event", go, "--value", "A", "--value", "B", "--value", "C"}));
    StartGateway();
    ASSERT_TRUE(WaitMrp("MRP status: connected to MRP40")) << Mrp();
    ASSERT_TRUE(WaitPalavan("Palavan status: not responding")) << Palavan();
    Signal(go);
    EXPECT_TRUE(
        WaitUntil([&] { return Count(ErrorLog(), "MRP_UI.MRPDDE_Change") >= 3; }, kDeadlineMs))
        << ErrorLog();
    PumpFor(500);
    EXPECT_EQ(Count(ErrorLog(), "MRP_UI.MRPDDE_Change"), 3) << ErrorLog();

    // Now a logger that refuses every command.
    const std::string out = dir_.Path() + "refused.txt";
    DdePeerProcess logger;
    ASSERT_TRUE(StartLogger(logger, out, {"--refuse-executes"}));
    ASSERT_TRUE(WaitPalavan("Palavan status: connected")) << Palavan();
    const std::string go2 = UniqueName("QuillonE2eGoRefused");
    decoder.Kill();
    ASSERT_TRUE(WaitMrp("MRP status: not responding")) << Mrp();
    DdePeerProcess decoder2;
    ASSERT_TRUE(StartDecoder(decoder2, {"--start-event", go2, "--value", "D", "--value", "E"}));
    ASSERT_TRUE(WaitMrp("MRP status: connected to MRP40")) << Mrp();
    Signal(go2);
    EXPECT_TRUE(
        WaitUntil([&] { return Count(ErrorLog(), "MRP_UI.MRPDDE_Change") >= 5; }, kDeadlineMs))
        << ErrorLog();
    EXPECT_EQ(Received(out), (std::vector<std::string>{"006displaycwD", "006displaycwE"}));
    EXPECT_TRUE(gateway_->Running());
    EXPECT_EQ(Palavan(), "Palavan status: connected");
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
    ASSERT_TRUE(WriteWholeFile(dir_.Path() + "script.txt",
                               "CQ\nN\nN\n\n" + script + "\n\\xD8\\xB7\\xAD\n"));

    const std::string out = dir_.Path() + "received.txt";
    const std::string go = UniqueName("QuillonE2eGoBytes");
    DdePeerProcess logger;
    ASSERT_TRUE(StartLogger(logger, out));
    DdePeerProcess decoder;
    ASSERT_TRUE(StartDecoder(decoder, {"--start-event", go, "--script", dir_.Path() + "script.txt",
                                       "--big", "40000", "--value", "AFTER"}));
    StartGateway();
    ASSERT_TRUE(WaitMrp("MRP status: connected to MRP40")) << Mrp();
    ASSERT_TRUE(WaitPalavan("Palavan status: connected")) << Palavan();
    Signal(go);

    const std::vector<std::string> expected = {
        "006displaycwCQ",  "006displaycwN",
        "006displaycwN",   "006displaycw" + tools::EscapeBytes(substituted),
        "006displaycw0.-", "006displaycwAFTER"};
    EXPECT_TRUE(WaitUntil([&] { return Received(out).size() >= expected.size(); }, kDeadlineMs));
    PumpFor(500);
    EXPECT_EQ(Received(out), expected);
    // The 40,000-character value overflows the position count: reported once.
    EXPECT_EQ(Count(ErrorLog(), "MRP_UI.MRPDDE_Change"), 1) << ErrorLog();
    EXPECT_TRUE(gateway_->Running());
}

TEST_F(GatewayDdeE2eTest, TwoThousandValuesAtFullSpeedArriveCompleteAndInOrder) {
    constexpr int kValues = 2000;
    const std::string out = dir_.Path() + "received.txt";
    const std::string go = UniqueName("QuillonE2eGoBurst");
    DdePeerProcess logger;
    ASSERT_TRUE(StartLogger(logger, out));
    DdePeerProcess decoder;
    ASSERT_TRUE(
        StartDecoder(decoder, {"--start-event", go, "--numbered", std::to_string(kValues)}));
    StartGateway();
    ASSERT_TRUE(WaitMrp("MRP status: connected to MRP40")) << Mrp();
    ASSERT_TRUE(WaitPalavan("Palavan status: connected")) << Palavan();
    Signal(go);
    // Wait for completion; how long it takes is the benchmark's business.
    WaitUntil([&] { return static_cast<int>(Received(out).size()) >= kValues; }, 120000);
    PumpFor(300);
    const std::vector<std::string> received = Received(out);
    ASSERT_EQ(static_cast<int>(received.size()), kValues);
    for (int n = 1; n <= kValues; ++n) {
        char expected[32];
        snprintf(expected, sizeof(expected), "006displaycw#%06d", n);
        ASSERT_EQ(received[static_cast<size_t>(n - 1)], expected) << "value " << n;
    }
    EXPECT_EQ(ErrorLog().find("program error"), std::string::npos) << ErrorLog();
}

HDDEDATA CALLBACK IgnoreDdeEvents(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

// True once a decoder serving `service` answers a connect: it has registered.
bool DecoderAnswers(const char* service) {
    DWORD instance = 0;
    if (DdeInitializeA(&instance, IgnoreDdeEvents, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        return false;
    }
    const HSZ name = DdeCreateStringHandleA(instance, service, CP_WINANSI);
    const HSZ topic = DdeCreateStringHandleA(instance, "MRP40Form", CP_WINANSI);
    const HCONV conversation = DdeConnect(instance, name, topic, nullptr);
    if (conversation != nullptr) {
        DdeDisconnect(conversation);
    }
    DdeFreeStringHandle(instance, topic);
    DdeFreeStringHandle(instance, name);
    DdeUninitialize(instance);
    return conversation != nullptr;
}

// Both decoder variants run: the link is made to "MRP40" and carries its
// values, each cut at its first NUL. A logger that answers but refuses the
// hot link leaves the command link at "connecting".
TEST(GatewayDdePeersE2eTest, PrefersMrp40_CutsValuesAtNul_RefusedHotLinkStaysConnecting) {
    FaultGateway gateway;
    const std::string go = UniqueEventName("QuillonE2eGoBoth");
    // Registered one after the other, so the first attempt finds both.
    DdePeerProcess mrp40;
    ASSERT_TRUE(
        gateway.StartDecoder(mrp40, {"--start-event", go, "--value", "CQ\\x00DE", "--value", "K"}));
    ASSERT_TRUE(WaitUntil([] { return DecoderAnswers("MRP40"); }, kFaultDeadlineMs));
    DdePeerProcess sdr;
    ASSERT_TRUE(gateway.StartDecoder(
        sdr, {"--service", "MRP40 SDR", "--start-event", go, "--value", "SDR"}));
    ASSERT_TRUE(WaitUntil([] { return DecoderAnswers("MRP40 SDR"); }, kFaultDeadlineMs));
    DdePeerProcess refusing;
    ASSERT_TRUE(gateway.StartLogger(refusing, "refusing.txt", {"--refuse-advise"}));

    ASSERT_TRUE(gateway.Start());
    EXPECT_TRUE(gateway.WaitMrp("MRP status: connected to MRP40")) << gateway.Mrp();
    EXPECT_TRUE(gateway.WaitPalavan("Palavan status: connecting")) << gateway.Palavan();
    PumpFor(1200);  // further attempts, each refused the same way
    EXPECT_EQ(gateway.Palavan(), "Palavan status: connecting");

    // A logger that keeps the hot link; it writes what it receives byte for
    // byte, the command's terminating NUL included.
    ASSERT_TRUE(refusing.Quit());
    DdePeerProcess logger;
    ASSERT_TRUE(gateway.StartLogger(logger, "received.txt", {"--raw"}));
    ASSERT_TRUE(gateway.WaitPalavan("Palavan status: connected")) << gateway.Palavan();
    SignalEvent(go);
    const std::vector<std::string> expected = {std::string("006displaycwCQ\0", 15),
                                               std::string("006displaycwK\0", 14)};
    EXPECT_TRUE(
        WaitUntil([&] { return gateway.Received("received.txt").size() >= 2; }, kFaultDeadlineMs));
    PumpFor(500);
    EXPECT_EQ(gateway.Received("received.txt"), expected);
    EXPECT_EQ(gateway.Mrp(), "MRP status: connected to MRP40");
}

}  // namespace
}  // namespace quillon::testing
