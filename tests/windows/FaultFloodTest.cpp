// A decoder that publishes as fast as it can: 1,000 values, then 10,000,
// through one gateway run with the logger keeping up. Every value arrives,
// in order, and the gateway's memory does not grow with the number of
// values. Wine fills in only the peak of the private bytes (PrivateUsage
// stays 0), so the test compares the peak after the short run with the
// peak after the long one; where the current figure exists it is compared
// as well.
//
// Wine's DDEML keeps about 63 bytes for every value a client receives, with
// or without this program (a bare DDEML client that only advises grows by
// ~630 KiB per 10,000 values, even across DdeUninitialize): about 570 KiB
// of the allowed megabyte go to Wine here. Windows does not do that.

#include <gtest/gtest.h>
#include <windows.h>
// psapi.h needs the types of windows.h declared first.
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "windows/support/Gateway.h"

namespace quillon::testing {
namespace {

constexpr SIZE_T kAllowedGrowth = 1024 * 1024;

struct Memory {
    SIZE_T privateBytes = 0;
    SIZE_T peakPrivateBytes = 0;
    SIZE_T workingSet = 0;
};

bool ReadMemory(DWORD processId, Memory& memory) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process == nullptr) {
        return false;
    }
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    const bool read =
        ::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                               sizeof(counters)) != FALSE;
    ::CloseHandle(process);
    memory.privateBytes = counters.PrivateUsage;
    memory.peakPrivateBytes = counters.PeakPagefileUsage;
    memory.workingSet = counters.WorkingSetSize;
    return read;
}

void Print(const char* when, const Memory& memory) {
    std::printf("  %-28s private %8zu KiB, peak private %8zu KiB, working set %8zu KiB\n", when,
                memory.privateBytes / 1024, memory.peakPrivateBytes / 1024,
                memory.workingSet / 1024);
}

class FaultFloodTest : public ::testing::Test {
  protected:
    // Publishes `count` values "<prefix>000001"... at full speed and waits
    // until the logger has them all (`total` lines so far) or the deadline.
    void Flood(const std::string& prefix, int count, size_t total) {
        const HeldEvent go("QuillonFlood");
        DdePeerProcess decoder;
        ASSERT_TRUE(
            gateway_.StartDecoder(decoder, {"--start-event", go.Name(), "--numbered-prefix", prefix,
                                            "--numbered", std::to_string(count), "--quit-after"}));
        ASSERT_TRUE(gateway_.WaitMrp("MRP status: connected to MRP40")) << gateway_.Mrp();
        go.Set();
        // How long it takes is the benchmark's business.
        WaitUntil([&] { return gateway_.Received("received.txt").size() >= total; }, 300000);
        EXPECT_TRUE(decoder.WaitExit(kDeadlineMs));
        ASSERT_TRUE(gateway_.WaitMrp("MRP status: not responding")) << gateway_.Mrp();
    }

    Gateway gateway_;
};

TEST_F(FaultFloodTest, TenThousandValuesArriveInOrderAndMemoryStaysFlat) {
    DdePeerProcess logger;
    ASSERT_TRUE(gateway_.StartLogger(logger, "received.txt"));
    ASSERT_TRUE(gateway_.Start());
    ASSERT_TRUE(gateway_.WaitPalavan("Palavan status: connected")) << gateway_.Palavan();
    Memory start;
    ASSERT_TRUE(ReadMemory(gateway_.Process()->Id(), start));

    Flood("W", 1000, 1000);
    Memory afterShort;
    ASSERT_TRUE(ReadMemory(gateway_.Process()->Id(), afterShort));
    Flood("F", 10000, 11000);
    Memory afterLong;
    ASSERT_TRUE(ReadMemory(gateway_.Process()->Id(), afterLong));

    Print("linked, before any value", start);
    Print("after 1,000 values", afterShort);
    Print("after 10,000 more values", afterLong);

    const std::vector<std::string> received = gateway_.Received("received.txt");
    ASSERT_EQ(received.size(), 11000u);
    for (size_t i = 0; i < received.size(); ++i) {
        const bool warmUp = i < 1000;
        char expected[32];
        std::snprintf(expected, sizeof(expected), "006displaycw%c%06zu", warmUp ? 'W' : 'F',
                      warmUp ? i + 1 : i - 999);
        ASSERT_EQ(received[i], expected) << "line " << i + 1;
    }
    EXPECT_EQ(gateway_.ErrorLog(), "");

    ASSERT_GT(afterLong.peakPrivateBytes, 0u) << "no memory figures at all";
    EXPECT_LE(afterLong.peakPrivateBytes, afterShort.peakPrivateBytes + kAllowedGrowth);
    if (afterShort.privateBytes != 0) {
        EXPECT_LE(afterLong.privateBytes, afterShort.privateBytes + kAllowedGrowth);
    }
    EXPECT_TRUE(gateway_.Responds());
}

}  // namespace
}  // namespace quillon::testing
