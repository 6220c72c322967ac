// The built gateway against DDE peers written with plain WM_DDE_* messages
// (tools/dde_peer), which behave in the ways the rules allow a real program
// to and the DDEML simulators never do: a stranger that answers every
// initiate, a late answer, two answers, a lost or late acknowledgement, a
// logger that stalls, a server with one window per conversation, every
// combination of the data flags. One row per case, run end to end.
//
// Every row also checks, once everything has ended:
// - each conversation a peer opened ended with a full terminate exchange
//   (its log has an "end" for every "open"), and no peer ended a new
//   conversation because the old one was still ending;
// - no global atom of the names used is left (global atoms outlive the
//   processes; earlier leaks of the same names are cleared before the row);
// - the status line never named "MRP40 SDR", which nothing serves.

#include <gtest/gtest.h>
#include <windows.h>
// psapi.h needs the types of windows.h declared first.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "windows/support/Gateway.h"
#include "windows/support/StatusTexts.h"

namespace quillon::testing {
namespace {

using Args = std::vector<std::string>;

constexpr DWORD kPostedBoundMs = 1000;   // the window handles a posted message this fast
constexpr DWORD kCommandLimitMs = 5000;  // the wait for one command's acknowledgement
// A decoder at full speed runs at most this many values ahead of the
// logger: a longer queue in front of the gateway only slows it down (Wine
// scans a queue from the front for every filtered look at it).
constexpr LONG kFloodWindow = 1000;

// One decoder process: `values` numbered values "<prefix>000001"..., `rate`
// a second (0: full speed). The ones listed in `dropped` must not be
// forwarded.
struct DecoderRun {
    char prefix;
    int values;
    unsigned rate;
    Args options;
    std::vector<int> dropped;
};

struct Row {
    const char* name;
    bool simulators = false;                // decoder_sim and logger_sim instead of the raw peers
    const char* stranger = nullptr;         // base of the names of a stranger started first
    Args logger = {};                       // options of the raw logger
    std::vector<DecoderRun> decoders = {};  // one after the other
    bool linked = true;                     // both status lines reach "connected"
    DWORD holdMs = 500;                     // watched this long after the values arrived
    int errors = 0;          // "program error" lines in ErrorLog.txt, all of them 286; -1: any
    DWORD latencyMs = 0;     // bound on every value's way to the logger; 0: none
    DWORD promptMs = 0;      // bound for the values published afterFaultMs after
    DWORD afterFaultMs = 0;  //   the logger's fault (never-ack, or the end of a stall)
    bool probe = false;      // posted messages are timed throughout
    size_t memoryBytes = 0;  // bound on the gateway's memory growth; 0: none
};

// Value 2 in another clipboard format, value 3 a data message with no memory.
Args OddData(const char* ackReq, const char* release) {
    return {"--ack-req", ackReq,        "--release", release,          "--format",
            "13",        "--format-at", "2",         "--no-memory-at", "3"};
}

const Row kRows[] = {
    // A stranger answers every initiate, for other names, before the real
    // peers started after it: its answer is ignored and both links stand.
    {.name = "StrangerAnsweringEveryInitiate",
     .simulators = true,
     .stranger = "QuillonStranger",
     .decoders = {{'S', 5, 0, {}, {}}}},
    // The decoder answers its initiate 400 ms late, long after the gateway
    // stopped waiting: that conversation is not kept, so it is terminated.
    {.name = "DecoderAnswersItsInitiateLate",
     .decoders = {{'#', 0, 0, {"--late-initiate", "400"}, {}}},
     .linked = false,
     .holdMs = 4000},
    // Two conversation windows answer one initiate: the second is terminated.
    {.name = "TwoAnswersToOneInitiate", .decoders = {{'#', 3, 0, {"--answer-twice"}, {}}}},
    // One command is never acknowledged: one error line, and it costs at
    // most its own wait. A value waits at most that wait (and 1 s to catch
    // up); one published after it is forwarded within 1 s, as usual.
    {.name = "LoggerNeverAcksOneCommand",
     .logger = {"--command", "3", "--never-ack"},
     .decoders = {{'#', 40, 5, {}, {}}},
     .errors = 1,
     .latencyMs = kCommandLimitMs + 1000,
     .promptMs = 1000,
     .afterFaultMs = kCommandLimitMs,
     .probe = true},
    // A command acknowledged 4.5 s late is in time: no error.
    {.name = "LoggerAcksOneCommandJustInTime",
     .logger = {"--command", "2", "--ack-late", "4500"},
     .decoders = {{'#', 10, 5, {}, {}}}},
    // The logger pumps nothing for 8 s while the decoder sends 5 values/s:
    // the window stays free, memory within 8 MB, every value arrives in
    // order, and those published after the stall within 1 s.
    {.name = "LoggerStallsEightSeconds",
     .logger = {"--command", "2", "--stall", "8000"},
     .decoders = {{'#', 60, 5, {}, {}}},
     .errors = -1,
     .promptMs = 1000,
     .probe = true,
     .memoryBytes = 8u << 20},
    // A server keyed by client window refuses the first hot link and answers
    // the terminate that follows 1.5 s late: the gateway's next initiate
    // must not come from a window whose last conversation is still ending.
    {.name = "ServerWithAWindowPerConversation",
     .decoders = {{'#',
                   3,
                   0,
                   {"--strict-client", "--refuse-advises", "1", "--late-terminate", "1500"},
                   {}}}},
    // fAckReq x fRelease, 25,000 values each at full speed, one peer process
    // each (Wine lets a process post about 65,536 data blocks). The odd
    // values are not forwarded; an ack asked for is negative for value 2.
    // A run with fRelease may leave at most 256 KiB (a leak of 10 bytes a
    // value exceeds it).
    {.name = "DataFlagsInAllFourCombinations",
     .decoders = {{'A', 25000, 0, OddData("0", "0"), {2, 3}},
                  {'B', 25000, 0, OddData("0", "1"), {2, 3}},
                  {'C', 25000, 0, OddData("1", "0"), {2, 3}},
                  {'D', 25000, 0, OddData("1", "1"), {2, 3}}},
     .holdMs = 0,
     .memoryBytes = 256u << 10},
};

// gtest prints a row by its name.
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

std::string Numbered(char prefix, int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%06d", prefix, n);
    return text;
}

bool Has(const Args& options, const std::string& option, const std::string& value) {
    for (size_t i = 0; i + 1 < options.size(); ++i) {
        if (options[i] == option && options[i + 1] == value) {
            return true;
        }
    }
    return false;
}

// How many references the global atom `name` holds; they are released.
int TakeAtom(const std::string& name) {
    int references = 0;
    for (ATOM atom; references < 1000000 && (atom = GlobalFindAtomA(name.c_str())) != 0;
         ++references) {
        GlobalDeleteAtom(atom);
    }
    return references;
}

size_t PagefileUsage(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    const bool read =
        process != nullptr && GetProcessMemoryInfo(process, &counters, sizeof counters);
    if (process != nullptr) {
        CloseHandle(process);
    }
    return read ? counters.PagefileUsage : 0;
}

// A peer's log: "<microseconds> <event> <word> ..." lines.
struct PeerLog {
    std::vector<std::vector<std::string>> lines;

    explicit PeerLog(const std::string& path) {
        for (const std::string& line : ReadLines(path)) {
            std::istringstream words(line);
            std::vector<std::string> fields;
            for (std::string word; words >> word;) {
                fields.push_back(word);
            }
            if (fields.size() >= 2) {
                lines.push_back(fields);
            }
        }
    }
    int Count(const std::string& event, const std::string& last = std::string()) const {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& f) {
            return f[1] == event && (last.empty() || f.back() == last);
        }));
    }
    // The stamp of the first `event`, or 0.
    long long First(const std::string& event) const {
        for (const auto& fields : lines) {
            if (fields[1] == event) {
                return std::atoll(fields[0].c_str());
            }
        }
        return 0;
    }
    // Stamp of each value by its field `index` (value of "data", command of
    // "execute"), the first time it appears.
    std::map<std::string, long long> Stamps(const std::string& event, size_t index) const {
        std::map<std::string, long long> stamps;
        for (const auto& fields : lines) {
            if (fields[1] == event && fields.size() > index) {
                stamps.emplace(fields[index], std::atoll(fields[0].c_str()));
            }
        }
        return stamps;
    }
};

// What the test sees while it waits: the status line never names the
// second decoder name; posted minimise/restore toggles are timed (the
// delay of a posted message, which no nested wait can hide); the memory's
// peak is kept.
class Watch {
  public:
    Watch(Gateway& gateway, bool probe) : gateway_(gateway), probe_(probe) {}

    bool Until(const std::function<bool()>& done, DWORD timeoutMs) {
        const DWORD start = GetTickCount();
        DWORD lastCheck = 0;
        for (;;) {
            Step();
            const DWORD now = GetTickCount();
            if (now - lastCheck >= 200) {
                lastCheck = now;
                if (done()) {
                    return true;
                }
            }
            if (now - start >= timeoutMs) {
                return done();
            }
            Sleep(2);
        }
    }
    void For(DWORD ms) {
        Until([] { return false; }, ms);
    }
    void Finish() {
        Until([&] { return posted_ == 0; }, kDeadlineMs);
        if (IsIconic(gateway_.Window())) {
            PostMessageA(gateway_.Window(), WM_SYSCOMMAND, SC_RESTORE, 0);
            WaitUntil([&] { return !IsIconic(gateway_.Window()); }, kDeadlineMs);
        }
    }
    DWORD WorstPostedDelay() const { return worst_; }
    int Probes() const { return probes_; }
    bool SawSdr() const { return sawSdr_; }
    size_t PeakMemory() const { return peak_; }
    size_t StartMemory() const { return start_; }

  private:
    // Reading the labels sends the window a message per label: often
    // enough to catch a passing status, not so often as to load it.
    void Step() {
        const DWORD now = GetTickCount();
        if (now - lastStatus_ >= 20) {
            lastStatus_ = now;
            sawSdr_ = sawSdr_ || gateway_.Mrp() == kMrpConnectedSdr;
        }
        if (now - lastMemory_ >= 100) {
            lastMemory_ = now;
            const size_t memory = PagefileUsage(gateway_.Process()->Id());
            start_ = start_ == 0 ? memory : start_;
            peak_ = std::max(peak_, memory);
        }
        if (!probe_) {
            return;
        }
        const HWND window = gateway_.Window();
        if (posted_ != 0 && (IsIconic(window) != FALSE) == minimise_) {
            worst_ = std::max(worst_, now - posted_);
            ++probes_;
            posted_ = 0;
            minimise_ = !minimise_;
            settled_ = now;
        } else if (posted_ == 0 && now - settled_ >= 20) {
            // 20 ms apart, as the window system's own state changes settle.
            posted_ = now;
            PostMessageA(window, WM_SYSCOMMAND, minimise_ ? SC_MINIMIZE : SC_RESTORE, 0);
        } else if (posted_ != 0) {
            worst_ = std::max(worst_, now - posted_);
        }
    }

    Gateway& gateway_;
    bool probe_;
    bool minimise_ = true;
    DWORD posted_ = 0;   // when the waiting toggle was posted; 0: none waits
    DWORD settled_ = 0;  // when the last toggle showed
    DWORD worst_ = 0;
    int probes_ = 0;
    bool sawSdr_ = false;
    DWORD lastStatus_ = GetTickCount() - 1000;
    DWORD lastMemory_ = GetTickCount() - 1000;
    size_t start_ = 0;
    size_t peak_ = 0;
};

class DdePeerTest : public ::testing::TestWithParam<Row> {
  protected:
    bool StartPeer(ChildProcess& peer, const std::string& log, Args options) {
        options.insert(options.end(), {"--log", gateway_.Folder() + log});
        return peer.Start(ToolsDir() + "dde_peer.exe", options);
    }

    Gateway gateway_;
};

TEST_P(DdePeerTest, Row) {
    const Row& row = GetParam();
    const std::string stranger = row.stranger == nullptr
                                     ? std::string()
                                     : std::string(row.stranger) + "-" +
                                           std::to_string(GetCurrentProcessId()) + "-" +
                                           std::to_string(GetTickCount());
    std::vector<std::string> atoms = {stranger, stranger + ".topic", stranger + ".item"};
    if (!row.simulators) {
        // The DDEML simulators' atoms are Wine's DDEML's business: with them,
        // only the stranger's names are counted.
        atoms.insert(atoms.end(), {"MRP40", "MRP40 SDR", "MRP40Form", "RXSymbol", "Palavan",
                                   "DDEServer", "DDECommand"});
    }
    for (const std::string& name : atoms) {
        TakeAtom(name);
    }

    ChildProcess strangerPeer;
    if (!stranger.empty()) {
        ASSERT_TRUE(StartPeer(strangerPeer, "stranger.log", {"--stranger", stranger}));
        ASSERT_TRUE(
            WaitUntil([&] { return FindTopWindow(strangerPeer.Id(), "QuillonDdePeer") != nullptr; },
                      kDeadlineMs));
    }
    ASSERT_TRUE(gateway_.Start());
    Watch watch(gateway_, row.probe);

    std::vector<std::string> expected;
    std::vector<size_t> memoryAfterRun;
    const DWORD started = GetTickCount();
    for (size_t run = 0; run < row.decoders.size(); ++run) {
        const DecoderRun& decoderRun = row.decoders[run];
        SCOPED_TRACE("decoder run " + std::to_string(run + 1));
        // A logger of its own for each run as well: under Wine a process
        // takes in at most about 65,536 DDE memory blocks in its life.
        ChildProcess logger;
        if (row.simulators) {
            ASSERT_TRUE(gateway_.StartLogger(logger, "received.txt"));
        } else {
            Args options = {"--logger", "--out", gateway_.Folder() + "received.txt"};
            options.insert(options.end(), row.logger.begin(), row.logger.end());
            ASSERT_TRUE(StartPeer(logger, "logger.log", options));
        }
        const HeldEvent go("QuillonPeerGo");
        const std::string creditsName = go.Name() + "-credits";
        const HANDLE credits =
            decoderRun.rate == 0 && !row.simulators
                ? CreateSemaphoreA(nullptr, kFloodWindow, 0x7FFFFFFF, creditsName.c_str())
                : nullptr;
        ChildProcess decoder;
        Args options = decoderRun.options;
        const std::string prefix(1, decoderRun.prefix);
        const std::string count = std::to_string(decoderRun.values);
        if (row.simulators) {
            options.insert(options.end(), {"--start-event", go.Name(), "--numbered-prefix", prefix,
                                           "--numbered", count});
            ASSERT_TRUE(gateway_.StartDecoder(decoder, options));
        } else {
            if (credits != nullptr) {
                options.insert(options.end(), {"--credits", creditsName});
            }
            options.insert(options.end(),
                           {"--decoder", "--start-event", go.Name(), "--prefix", prefix, "--values",
                            count, "--rate", std::to_string(decoderRun.rate)});
            ASSERT_TRUE(StartPeer(decoder, "decoder" + std::to_string(run + 1) + ".log", options));
        }
        if (row.linked) {
            ASSERT_TRUE(watch.Until(
                [&] {
                    return gateway_.Mrp() == kMrpConnected &&
                           gateway_.Palavan() == kPalavanConnected;
                },
                kDeadlineMs))
                << gateway_.Mrp() << " / " << gateway_.Palavan();
        }
        go.Set();
        size_t seen = gateway_.Received("received.txt").size();
        // The lines at the logger; each new one gives the decoder a credit.
        const auto arrived = [&] {
            const size_t lines = gateway_.Received("received.txt").size();
            if (credits != nullptr && lines > seen) {
                ReleaseSemaphore(credits, static_cast<LONG>(lines - seen), nullptr);
            }
            seen = std::max(seen, lines);
            return lines;
        };
        for (int n = 1; n <= decoderRun.values; ++n) {
            if (std::find(decoderRun.dropped.begin(), decoderRun.dropped.end(), n) ==
                decoderRun.dropped.end()) {
                expected.push_back("006displaycw" + Numbered(decoderRun.prefix, n));
            }
        }
        // Sending takes values / rate; at full speed, the gateway's pace,
        // 600 values a second or more on a loaded machine.
        const DWORD sendingMs = static_cast<DWORD>(decoderRun.values) * 1000u /
                                (decoderRun.rate ? decoderRun.rate : 600u);
        EXPECT_TRUE(
            watch.Until([&] { return arrived() >= expected.size(); }, sendingMs + kDeadlineMs))
            << arrived() << " of " << expected.size() << " values arrived";
        watch.For(row.holdMs);
        EXPECT_TRUE(decoder.Quit());
        EXPECT_TRUE(logger.Quit());
        if (credits != nullptr) {
            CloseHandle(credits);
        }
        watch.Until(
            [&] {
                return gateway_.Mrp() != kMrpConnected && gateway_.Palavan() != kPalavanConnected;
            },
            kDeadlineMs);
        memoryAfterRun.push_back(PagefileUsage(gateway_.Process()->Id()));
    }
    const DWORD elapsed = GetTickCount() - started;
    EXPECT_TRUE(strangerPeer.Quit());
    watch.Finish();
    const std::vector<std::string> received = gateway_.Received("received.txt");
    const std::string errorLog = gateway_.ErrorLog();
    EXPECT_TRUE(gateway_.Close());

    std::printf("  %s: %zu values in %lu ms", row.name, received.size(),
                static_cast<unsigned long>(elapsed));
    if (row.probe) {
        std::printf("; posted message handled after at most %lu ms (%d probes)",
                    static_cast<unsigned long>(watch.WorstPostedDelay()), watch.Probes());
    }
    std::printf("; gateway memory %zu KiB at the start, peak %zu KiB", watch.StartMemory() / 1024,
                watch.PeakMemory() / 1024);
    for (const size_t memory : memoryAfterRun) {
        std::printf(", %zu KiB after a run", memory / 1024);
    }
    std::printf("\n");

    EXPECT_EQ(received, expected);
    if (row.errors >= 0) {
        EXPECT_EQ(CountOf(errorLog, "program error"), row.errors) << errorLog;
        EXPECT_EQ(CountOf(errorLog, "program error 286 in module MRP_UI.MRPDDE_Change"), row.errors)
            << errorLog;
    }
    EXPECT_FALSE(watch.SawSdr()) << "the status named MRP40 SDR, which nothing serves";
    if (row.probe) {
        EXPECT_LT(watch.WorstPostedDelay(), kPostedBoundMs) << "a posted message waited too long";
        EXPECT_GT(watch.Probes(), 10);
    }
    if (row.memoryBytes != 0 && row.decoders.size() == 1) {
        ASSERT_GT(watch.StartMemory(), 0u) << "no memory figures";
        EXPECT_LE(watch.PeakMemory() - watch.StartMemory(), row.memoryBytes);
    }
    // Over several runs: each run whose data has fRelease set leaves the
    // memory where the run before left it. (Wine gives the receiver a copy
    // of each block; without fRelease the rules forbid the client to free
    // it, so those runs grow by about 63 bytes a value whatever the link
    // does, and are not bounded here.)
    for (size_t run = 1; row.memoryBytes != 0 && run < memoryAfterRun.size(); ++run) {
        if (Has(row.decoders[run].options, "--release", "1")) {
            EXPECT_LE(memoryAfterRun[run] - std::min(memoryAfterRun[run], memoryAfterRun[run - 1]),
                      row.memoryBytes)
                << "run " << run + 1 << " grew with its values";
        }
    }

    // The peers' own accounts.
    const auto logPath = [&](const std::string& name) { return gateway_.Folder() + name; };
    std::vector<std::string> logs;
    if (!row.simulators) {
        logs.push_back("logger.log");
        for (size_t run = 0; run < row.decoders.size(); ++run) {
            logs.push_back("decoder" + std::to_string(run + 1) + ".log");
        }
    }
    if (!stranger.empty()) {
        logs.push_back("stranger.log");
    }
    for (const std::string& name : logs) {
        SCOPED_TRACE(name);
        const PeerLog log(logPath(name));
        EXPECT_EQ(log.Count("end"), log.Count("open")) << "a conversation was left open";
        EXPECT_EQ(log.Count("reject"), 0) << "a conversation began while the last one was ending";
    }
    for (size_t run = 0; run < row.decoders.size() && !row.simulators; ++run) {
        const DecoderRun& decoderRun = row.decoders[run];
        if (!Has(decoderRun.options, "--ack-req", "1")) {
            continue;
        }
        const PeerLog log(logPath("decoder" + std::to_string(run + 1) + ".log"));
        const int odd = Has(decoderRun.options, "--format-at", "2") ? 1 : 0;
        const int empty = Has(decoderRun.options, "--no-memory-at", "3") ? 1 : 0;
        EXPECT_EQ(log.Count("dataack", "+"), decoderRun.values - odd - empty) << "run " << run + 1;
        EXPECT_EQ(log.Count("dataack", "-"), odd) << "run " << run + 1;
    }

    // Timing, from the two peers' stamps on one clock.
    if (!row.simulators && (row.latencyMs != 0 || row.promptMs != 0)) {
        const PeerLog loggerLog(logPath("logger.log"));
        const PeerLog decoderLog(logPath("decoder1.log"));
        const auto published = decoderLog.Stamps("data", 3);
        const auto forwarded = loggerLog.Stamps("execute", 3);
        long long fault = loggerLog.First("noack");
        fault = fault != 0 ? fault : loggerLog.First("stall-end");
        ASSERT_TRUE(row.promptMs == 0 || fault != 0) << "the logger's fault did not happen";
        long long worst = 0;
        long long worstPrompt = 0;
        int prompt = 0;  // values published after the fault that arrived
        for (const auto& [value, at] : published) {
            const auto found = forwarded.find("006displaycw" + value);
            if (found == forwarded.end()) {
                continue;  // a value missing fails the comparison of the lines
            }
            const long long way = found->second - at;
            worst = std::max(worst, way);
            if (row.promptMs != 0 && at >= fault + row.afterFaultMs * 1000LL) {
                worstPrompt = std::max(worstPrompt, way);
                ++prompt;
            }
        }
        std::printf("  slowest value %lld ms; slowest after the fault %lld ms\n", worst / 1000,
                    worstPrompt / 1000);
        if (row.latencyMs != 0) {
            EXPECT_LE(worst, row.latencyMs * 1000LL);
        }
        if (row.promptMs != 0) {
            EXPECT_GT(prompt, 0) << "no value published after the fault arrived";
            EXPECT_LE(worstPrompt, row.promptMs * 1000LL);
        }
    }

    // Once every process has ended.
    for (const std::string& name : atoms) {
        EXPECT_EQ(TakeAtom(name), 0) << "references left to the atom " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Peers, DdePeerTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quillon::testing
