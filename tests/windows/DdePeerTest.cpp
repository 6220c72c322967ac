// The built gateway against DDE peers written with plain WM_DDE_* messages
// (tools/dde_peer), which behave in the ways the rules allow a real program
// to and the DDEML simulators never do: a stranger that answers every
// initiate, a late answer, two answers, a lost or late acknowledgement, a
// logger that stalls, a server with one window per conversation, every
// combination of the data flags. One row per case, run end to end; each
// check is a function of its own, and a failure names its row and check.
//
// Every row also checks, once everything has ended:
// - each conversation a peer opened ended with a full terminate exchange
//   (its log has an "end" for every "open"), and no peer ended a new
//   conversation because the old one was still ending;
// - no peer got an ack for data it sent without asking for one;
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
constexpr DWORD kCloseBoundMs = 5000;    // a close ends the process this fast
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
    bool lowerCaseNames = false;            // the test adds the names' atoms first, in lower case
    Args logger = {};                       // options of the raw logger
    std::vector<DecoderRun> decoders = {};  // one after the other
    bool linked = true;                     // both status lines reach "connected"
    DWORD holdMs = 500;                     // watched this long after the values arrived
    UINT closeBy = 0;  // then the gateway is closed before the peers quit: WM_CLOSE, WM_ENDSESSION
    bool lossy = false;           // values may be dropped, one 286 line each; the rest in order
    int errors = 0;               // "program error" lines in ErrorLog.txt, all of them 286; -1: any
    const char* fault = nullptr;  // an event the logger's log shows at least once
    DWORD latencyMs = 0;          // bound on every value's way to the logger; 0: none
    DWORD promptMs = 0;           // bound for the values published afterFaultMs after
    DWORD afterFaultMs = 0;       //   the logger's fault (never-ack, or the end of a stall)
    DWORD resumeMs = 0;           // bound from the never-acked command to the next one's arrival
    bool probe = false;           // posted messages are timed throughout
    size_t memoryBytes = 0;       // bound on the gateway's memory growth; 0: none
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
     .fault = "noack",
     .latencyMs = kCommandLimitMs + 1000,
     .promptMs = 1000,
     .afterFaultMs = kCommandLimitMs,
     .resumeMs = kCommandLimitMs + 1000,
     .probe = true},
    // The same while the decoder floods: 13,500 values at 1,500 a second
    // asked, 9 s or (on a loaded machine) more, faster than the gateway takes
    // them in, so its queue never empties. The lost command's wait ends while
    // values flood, not when the flood is over: the next command reaches the
    // logger within the wait and 1 s. The values that waited meanwhile are
    // cut to what a stalled logger may find waiting, one 286 line each; the
    // rest arrive in order.
    {.name = "LoggerNeverAcksOneCommandDuringAFlood",
     .logger = {"--command", "3", "--never-ack"},
     .decoders = {{'#', 13500, 1500, {}, {}}},
     .holdMs = 0,
     .lossy = true,
     .errors = 1,
     .fault = "noack",
     .resumeMs = kCommandLimitMs + 1000},
    // Command 2's ack is held past the gateway's wait and comes negative
    // just before command 3's: one 286 line for command 2, and the late
    // answer is not taken for command 3's (no 285).
    {.name = "LateNegativeAckBeforeTheNextOne",
     .logger = {"--command", "2", "--ack-late-negative", "5000"},
     .decoders = {{'#', 10, 5, {}, {}}},
     .errors = 1,
     .fault = "late-negative"},
    // Every execute is acknowledged with 0 where its handle belongs: the ack
    // answers the command that waits, and no value waits for a bound.
    {.name = "LoggerAcksNamingNoHandle",
     .logger = {"--ack-no-handle"},
     .decoders = {{'#', 10, 5, {}, {}}},
     .fault = "ack-no-handle",
     .latencyMs = 1000},
    // The logger stalls 3 s, then answers busy for 300 ms, while the decoder
    // sends 50 values a second: a busy moment costs no value and no error.
    {.name = "LoggerBusyAfterAStall",
     .logger = {"--command", "2", "--stall", "3000", "--busy", "300"},
     .decoders = {{'#', 300, 50, {}, {}}},
     .fault = "ack-busy"},
    // The gateway is closed while command 3 waits for an ack that never
    // comes, and the logger would answer a terminate 8 s late: the process
    // ends within 5 s, and both peers got its terminate first.
    {.name = "GatewayClosedWhileACommandWaits",
     .logger = {"--command", "3", "--never-ack", "--late-terminate", "8000"},
     .decoders = {{'#', 3, 5, {}, {}}},
     .holdMs = 0,
     .closeBy = WM_CLOSE,
     .errors = -1,
     .fault = "noack"},
    // The same when the Windows session ends.
    {.name = "SessionEndsWhileACommandWaits",
     .logger = {"--command", "3", "--never-ack", "--late-terminate", "8000"},
     .decoders = {{'#', 3, 5, {}, {}}},
     .holdMs = 0,
     .closeBy = WM_ENDSESSION,
     .errors = -1,
     .fault = "noack"},
    // The decoder answers every advise 1.5 s late: the window goes on
    // handling posted messages meanwhile.
    {.name = "DecoderAnswersItsAdviseLate",
     .decoders = {{'#', 0, 0, {"--late-advise", "1500"}, {}}},
     .linked = false,
     .holdMs = 8000,
     .errors = -1,
     .probe = true},
    // The names' atoms were added first in lower case, which the atom table
    // keeps: names are compared regardless of case, and the links stand.
    {.name = "NamesSpeltInLowerCase", .lowerCaseNames = true, .decoders = {{'#', 5, 0, {}, {}}}},
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
     .fault = "stall-end",
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
    // The stamp of the first `event` after the first `after`, or 0.
    long long FirstAfter(const std::string& event, const std::string& after) const {
        bool seen = false;
        for (const auto& fields : lines) {
            if (seen && fields[1] == event) {
                return std::atoll(fields[0].c_str());
            }
            seen = seen || fields[1] == after;
        }
        return 0;
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
// second decoder name; posted toggles are timed (the delay of a posted
// message, which no nested wait can hide); the memory's peak is kept.
//
// A toggle is a posted WM_SETREDRAW, off and on in turn: the window's
// default handling sets or clears its WS_VISIBLE style bit, which the test
// reads without a message, and nothing else changes it meanwhile. (Minimise
// and restore toggles, used before, also go through the display driver,
// which under Wine with no window manager now and then undoes one before
// the test sees it: that toggle then never showed, and counted as a window
// that never answered.) Its delay is measured as the window's, not the
// test's: the last moment the test saw the toggle not yet done, less the
// moment the post had returned. The window had not handled the message by
// then, so the figure never exceeds the true delay, whatever kept the test
// itself from looking (a busy machine, a peer's start or quit between two
// waits). Timed from the post to the moment the test noticed the change,
// every such gap of the test's own counted as the window's.
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
        Until([&] { return !waiting_; }, kDeadlineMs);
        if (probe_ && !HasVisibleStyle(gateway_.Window())) {
            PostMessageA(gateway_.Window(), WM_SETREDRAW, TRUE, 0);
            WaitUntil([&] { return HasVisibleStyle(gateway_.Window()); }, kDeadlineMs);
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
        DWORD now = GetTickCount();
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
        now = GetTickCount();  // before the look: not done then means not done at `now`
        if (!waiting_) {
            // 20 ms apart: often enough to see a delay, not so often as to load the window.
            if (now - settled_ >= 20) {
                PostMessageA(window, WM_SETREDRAW, redraw_, 0);
                posted_ = GetTickCount();  // the message waits since before this
                waiting_ = true;
            }
        } else if (HasVisibleStyle(window) == (redraw_ != FALSE)) {
            ++probes_;
            waiting_ = false;
            redraw_ = !redraw_;
            settled_ = GetTickCount();
        } else if (static_cast<LONG>(now - posted_) > 0) {
            worst_ = std::max(worst_, now - posted_);
        }
    }

    Gateway& gateway_;
    bool probe_;
    BOOL redraw_ = FALSE;   // what the next toggle sets
    bool waiting_ = false;  // a toggle was posted and has not shown yet
    DWORD posted_ = 0;      // when its post had returned
    DWORD settled_ = 0;     // when the last toggle showed
    DWORD worst_ = 0;       // the longest a toggle was seen not done
    int probes_ = 0;
    bool sawSdr_ = false;
    DWORD lastStatus_ = GetTickCount() - 1000;
    DWORD lastMemory_ = GetTickCount() - 1000;
    size_t start_ = 0;
    size_t peak_ = 0;
};

class DdePeerTest : public ::testing::TestWithParam<Row> {
  protected:
    ~DdePeerTest() override { ReleaseLowerCaseNames(); }

    // "row <name>, check <what>", for a failure's trace.
    std::string Check(const char* what) const {
        return std::string("row ") + row_.name + ", check " + what;
    }
    std::string LogPath(const std::string& name) const { return gateway_.Folder() + name; }
    bool StartPeer(ChildProcess& peer, const std::string& log, Args options) {
        options.insert(options.end(), {"--log", LogPath(log)});
        return peer.Start(ToolsDir() + "dde_peer.exe", options);
    }

    void Prepare();
    void Run();
    void RunDecoder(size_t run, Watch& watch);
    void Report() const;
    void ReleaseLowerCaseNames();

    void CheckValues() const;
    void CheckErrorLines() const;
    void CheckStatusLine() const;
    void CheckPostedDelay() const;
    void CheckMemory() const;
    void CheckClose() const;
    void CheckPeerLogs() const;
    void CheckDataAcks() const;
    void CheckLoggerFault() const;
    void CheckTiming() const;
    void CheckAtoms();

    const Row& row_ = GetParam();
    Gateway gateway_;
    std::string stranger_;            // the stranger's names' base, or empty
    std::vector<std::string> atoms_;  // names whose atoms are counted
    std::vector<ATOM> lowerCase_;     // held by the test (lowerCaseNames)
    // What the run left.
    std::vector<std::string> expected_;
    std::vector<std::string> received_;
    std::string errorLog_;
    DWORD elapsedMs_ = 0;
    std::vector<size_t> memoryAfterRun_;
    bool closed_ = false;  // closeBy: the gateway's process ended on the close
    DWORD closeMs_ = 0;
    DWORD worstPosted_ = 0;
    int probes_ = 0;
    bool sawSdr_ = false;
    size_t startMemory_ = 0;
    size_t peakMemory_ = 0;
};

// The atoms of the names, spelt as a program that added them first spelt
// them; the atom table keeps the first spelling.
const char* const kLowerCaseNames[] = {"mrp40", "mrp40form", "rxsymbol", "palavan", "ddeserver"};

void DdePeerTest::Prepare() {
    if (row_.stranger != nullptr) {
        stranger_ = std::string(row_.stranger) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(GetTickCount());
        atoms_ = {stranger_, stranger_ + ".topic", stranger_ + ".item"};
    }
    if (!row_.simulators) {
        // The DDEML simulators' atoms are Wine's DDEML's business: with them,
        // only the stranger's names are counted.
        atoms_.insert(atoms_.end(), {"MRP40", "MRP40 SDR", "MRP40Form", "RXSymbol", "Palavan",
                                     "DDEServer", "DDECommand"});
    }
    for (const std::string& name : atoms_) {
        TakeAtom(name);
    }
    if (row_.lowerCaseNames) {
        for (const char* name : kLowerCaseNames) {
            lowerCase_.push_back(GlobalAddAtomA(name));
        }
        char spelt[64] = {};
        GlobalGetAtomNameA(GlobalFindAtomA("MRP40Form"), spelt, sizeof spelt);
        ASSERT_STREQ(spelt, "mrp40form") << "the atom table did not keep the first spelling";
    }
}

void DdePeerTest::ReleaseLowerCaseNames() {
    for (const ATOM atom : lowerCase_) {
        GlobalDeleteAtom(atom);
    }
    lowerCase_.clear();
}

void DdePeerTest::Run() {
    ChildProcess strangerPeer;
    if (!stranger_.empty()) {
        ASSERT_TRUE(StartPeer(strangerPeer, "stranger.log", {"--stranger", stranger_}));
        ASSERT_TRUE(
            WaitUntil([&] { return FindTopWindow(strangerPeer.Id(), "QuillonDdePeer") != nullptr; },
                      kDeadlineMs));
    }
    ASSERT_TRUE(gateway_.Start());
    Watch watch(gateway_, row_.probe);
    const DWORD started = GetTickCount();
    for (size_t run = 0; run < row_.decoders.size(); ++run) {
        SCOPED_TRACE("decoder run " + std::to_string(run + 1));
        ASSERT_NO_FATAL_FAILURE(RunDecoder(run, watch));
    }
    elapsedMs_ = GetTickCount() - started;
    EXPECT_TRUE(strangerPeer.Quit());
    watch.Finish();
    received_ = gateway_.Received("received.txt");
    errorLog_ = gateway_.ErrorLog();
    if (row_.closeBy == 0) {
        EXPECT_TRUE(gateway_.Close());
    }
    worstPosted_ = watch.WorstPostedDelay();
    probes_ = watch.Probes();
    sawSdr_ = watch.SawSdr();
    startMemory_ = watch.StartMemory();
    peakMemory_ = watch.PeakMemory();
}

void DdePeerTest::RunDecoder(size_t run, Watch& watch) {
    const DecoderRun& decoderRun = row_.decoders[run];
    // A logger of its own for each run as well: under Wine a process takes
    // in at most about 65,536 DDE memory blocks in its life.
    ChildProcess logger;
    if (row_.simulators) {
        ASSERT_TRUE(gateway_.StartLogger(logger, "received.txt"));
    } else {
        Args options = {"--logger", "--out", LogPath("received.txt")};
        options.insert(options.end(), row_.logger.begin(), row_.logger.end());
        ASSERT_TRUE(StartPeer(logger, "logger.log", options));
    }
    const HeldEvent go("QuillonPeerGo");
    const std::string creditsName = go.Name() + "-credits";
    const HANDLE credits =
        decoderRun.rate == 0 && !row_.simulators
            ? CreateSemaphoreA(nullptr, kFloodWindow, 0x7FFFFFFF, creditsName.c_str())
            : nullptr;
    ChildProcess decoder;
    Args options = decoderRun.options;
    const std::string prefix(1, decoderRun.prefix);
    const std::string count = std::to_string(decoderRun.values);
    if (row_.simulators) {
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
    if (row_.linked) {
        ASSERT_TRUE(watch.Until(
            [&] {
                return gateway_.Mrp() == kMrpConnected && gateway_.Palavan() == kPalavanConnected;
            },
            kDeadlineMs))
            << gateway_.Mrp() << " / " << gateway_.Palavan();
    }
    go.Set();
    size_t seen = gateway_.Received("received.txt").size();
    std::string last;  // the last line at the logger
    // The lines at the logger; each new one gives the decoder a credit.
    const auto arrived = [&] {
        const std::vector<std::string> lines = gateway_.Received("received.txt");
        if (credits != nullptr && lines.size() > seen) {
            ReleaseSemaphore(credits, static_cast<LONG>(lines.size() - seen), nullptr);
        }
        seen = std::max(seen, lines.size());
        last = lines.empty() ? std::string() : lines.back();
        return lines.size();
    };
    for (int n = 1; n <= decoderRun.values; ++n) {
        if (std::find(decoderRun.dropped.begin(), decoderRun.dropped.end(), n) ==
            decoderRun.dropped.end()) {
            expected_.push_back("006displaycw" + Numbered(decoderRun.prefix, n));
        }
    }
    // Sending takes values / rate; at full speed, the gateway's pace, 600
    // values a second or more on a loaded machine. A lossy row is done when
    // its last value arrived.
    const DWORD sendingMs =
        static_cast<DWORD>(decoderRun.values) * 1000u / (decoderRun.rate ? decoderRun.rate : 600u);
    EXPECT_TRUE(watch.Until(
        [&] {
            return arrived() >= expected_.size() ||
                   (row_.lossy && !expected_.empty() && last == expected_.back());
        },
        sendingMs + kDeadlineMs))
        << arrived() << " of " << expected_.size() << " values arrived";
    watch.For(row_.holdMs);
    if (row_.closeBy != 0) {
        // While the peers still stand, and a command may still wait.
        const DWORD closing = GetTickCount();
        if (row_.closeBy == WM_CLOSE) {
            closed_ = gateway_.Close();
        } else {
            // As Windows ends a session: both messages sent, the second
            // only once the first is answered.
            DWORD_PTR result = 0;
            SendMessageTimeoutA(gateway_.Window(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL,
                                kDeadlineMs, &result);
            SendMessageTimeoutA(gateway_.Window(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, kDeadlineMs,
                                &result);
            closed_ = gateway_.Process()->WaitForExit(kDeadlineMs);
        }
        closeMs_ = GetTickCount() - closing;
    }
    EXPECT_TRUE(decoder.Quit());
    EXPECT_TRUE(logger.Quit());
    if (credits != nullptr) {
        CloseHandle(credits);
    }
    watch.Until(
        [&] { return gateway_.Mrp() != kMrpConnected && gateway_.Palavan() != kPalavanConnected; },
        kDeadlineMs);
    memoryAfterRun_.push_back(PagefileUsage(gateway_.Process()->Id()));
}

void DdePeerTest::Report() const {
    std::printf("  %s: %zu values in %lu ms", row_.name, received_.size(),
                static_cast<unsigned long>(elapsedMs_));
    if (row_.probe) {
        std::printf("; posted message handled after at least %lu ms (%d probes)",
                    static_cast<unsigned long>(worstPosted_), probes_);
    }
    if (row_.closeBy != 0) {
        std::printf("; closed in %lu ms", static_cast<unsigned long>(closeMs_));
    }
    std::printf("; gateway memory %zu KiB at the start, peak %zu KiB", startMemory_ / 1024,
                peakMemory_ / 1024);
    for (const size_t memory : memoryAfterRun_) {
        std::printf(", %zu KiB after a run", memory / 1024);
    }
    std::printf("\n");
}

// Every value, in order; a lossy row may lose some, never reorder them, and
// keeps the last.
void DdePeerTest::CheckValues() const {
    SCOPED_TRACE(Check("values"));
    if (!row_.lossy) {
        EXPECT_EQ(received_, expected_);
        return;
    }
    size_t next = 0;  // in expected_
    for (const std::string& line : received_) {
        const auto found =
            std::find(expected_.begin() + static_cast<std::ptrdiff_t>(next), expected_.end(), line);
        ASSERT_NE(found, expected_.end()) << line << " is out of order, repeated or unknown";
        next = static_cast<size_t>(found - expected_.begin()) + 1;
    }
    ASSERT_FALSE(received_.empty());
    EXPECT_EQ(received_.back(), expected_.back());
}

// The error log's first 20 "program error" lines, for a message.
std::string ErrorLines(const std::string& log) {
    std::string lines;
    int count = 0;
    for (size_t at = log.find("program error"); at != std::string::npos && count < 20;
         at = log.find("program error", at + 1), ++count) {
        lines += log.substr(at, log.find('\n', at) - at) + "\n";
    }
    return lines;
}

// `errors` lines, all 286; in a lossy row also one per value lost.
void DdePeerTest::CheckErrorLines() const {
    SCOPED_TRACE(Check("error lines"));
    if (row_.errors < 0) {
        return;
    }
    const int lost = row_.lossy ? static_cast<int>(expected_.size() - received_.size()) : 0;
    EXPECT_EQ(CountOf(errorLog_, "program error"), row_.errors + lost) << ErrorLines(errorLog_);
    EXPECT_EQ(CountOf(errorLog_, "program error 286 in module MRP_UI.MRPDDE_Change"),
              row_.errors + lost)
        << ErrorLines(errorLog_);
}

void DdePeerTest::CheckStatusLine() const {
    SCOPED_TRACE(Check("status line"));
    EXPECT_FALSE(sawSdr_) << "the status named MRP40 SDR, which nothing serves";
}

void DdePeerTest::CheckPostedDelay() const {
    SCOPED_TRACE(Check("posted-message delay"));
    if (row_.probe) {
        EXPECT_LT(worstPosted_, kPostedBoundMs) << "a posted message waited too long";
        EXPECT_GT(probes_, 10);
    }
}

void DdePeerTest::CheckMemory() const {
    SCOPED_TRACE(Check("memory"));
    if (row_.memoryBytes != 0 && row_.decoders.size() == 1) {
        ASSERT_GT(startMemory_, 0u) << "no memory figures";
        EXPECT_LE(peakMemory_ - startMemory_, row_.memoryBytes);
    }
    // Over several runs: each run whose data has fRelease set leaves the
    // memory where the run before left it. (Wine gives the receiver a copy
    // of each block; without fRelease the rules forbid the client to free
    // it, so those runs grow by about 63 bytes a value whatever the link
    // does, and are not bounded here.)
    for (size_t run = 1; row_.memoryBytes != 0 && run < memoryAfterRun_.size(); ++run) {
        if (Has(row_.decoders[run].options, "--release", "1")) {
            EXPECT_LE(
                memoryAfterRun_[run] - std::min(memoryAfterRun_[run], memoryAfterRun_[run - 1]),
                row_.memoryBytes)
                << "run " << run + 1 << " grew with its values";
        }
    }
}

// Closed first: the process ends within the bound, and every conversation of
// both peers ended with the gateway's terminate.
void DdePeerTest::CheckClose() const {
    SCOPED_TRACE(Check("close"));
    if (row_.closeBy == 0) {
        return;
    }
    EXPECT_TRUE(closed_) << "the gateway's process did not end";
    EXPECT_LE(closeMs_, kCloseBoundMs);
    for (const char* name : {"logger.log", "decoder1.log"}) {
        const PeerLog log(LogPath(name));
        EXPECT_GT(log.Count("open"), 0) << name;
        EXPECT_EQ(log.Count("terminate", "client"), log.Count("open"))
            << name << ": a conversation did not get the gateway's terminate";
    }
}

// The raw peers' (and the stranger's) logs: each conversation ended with a
// full terminate exchange, none was refused for an unfinished one, and no
// data was acknowledged that did not ask for it.
void DdePeerTest::CheckPeerLogs() const {
    SCOPED_TRACE(Check("peer logs"));
    std::vector<std::string> logs;
    if (!row_.simulators) {
        logs.push_back("logger.log");
        for (size_t run = 0; run < row_.decoders.size(); ++run) {
            logs.push_back("decoder" + std::to_string(run + 1) + ".log");
        }
    }
    if (!stranger_.empty()) {
        logs.push_back("stranger.log");
    }
    for (const std::string& name : logs) {
        SCOPED_TRACE(name);
        const PeerLog log(LogPath(name));
        EXPECT_EQ(log.Count("end"), log.Count("open")) << "a conversation was left open";
        EXPECT_EQ(log.Count("reject"), 0) << "a conversation began while the last one was ending";
        EXPECT_EQ(log.Count("unasked-ack"), 0) << "data sent without fAckReq was acknowledged";
    }
}

// Data that asked for acks got one each: negative for the value in another
// format, none for the one without memory.
void DdePeerTest::CheckDataAcks() const {
    SCOPED_TRACE(Check("data acks"));
    for (size_t run = 0; run < row_.decoders.size() && !row_.simulators; ++run) {
        const DecoderRun& decoderRun = row_.decoders[run];
        if (!Has(decoderRun.options, "--ack-req", "1")) {
            continue;
        }
        const PeerLog log(LogPath("decoder" + std::to_string(run + 1) + ".log"));
        const int odd = Has(decoderRun.options, "--format-at", "2") ? 1 : 0;
        const int empty = Has(decoderRun.options, "--no-memory-at", "3") ? 1 : 0;
        EXPECT_EQ(log.Count("dataack", "+"), decoderRun.values - odd - empty) << "run " << run + 1;
        EXPECT_EQ(log.Count("dataack", "-"), odd) << "run " << run + 1;
    }
}

// The logger did misbehave as the row says: otherwise the row proves nothing.
void DdePeerTest::CheckLoggerFault() const {
    SCOPED_TRACE(Check("logger's fault"));
    if (row_.fault != nullptr) {
        EXPECT_GT(PeerLog(LogPath("logger.log")).Count(row_.fault), 0)
            << "the logger's log has no " << row_.fault;
    }
}

// Timing, from the two peers' stamps on one clock.
void DdePeerTest::CheckTiming() const {
    SCOPED_TRACE(Check("timing"));
    if (row_.simulators || (row_.latencyMs == 0 && row_.promptMs == 0 && row_.resumeMs == 0)) {
        return;
    }
    const PeerLog loggerLog(LogPath("logger.log"));
    const PeerLog decoderLog(LogPath("decoder1.log"));
    const auto published = decoderLog.Stamps("data", 3);
    const auto forwarded = loggerLog.Stamps("execute", 3);
    long long fault = loggerLog.First("noack");
    fault = fault != 0 ? fault : loggerLog.First("stall-end");
    ASSERT_TRUE((row_.promptMs == 0 && row_.resumeMs == 0) || fault != 0)
        << "the logger's fault did not happen";
    long long worst = 0;
    long long worstPrompt = 0;
    int prompt = 0;  // values published after the fault that arrived
    for (const auto& [value, at] : published) {
        const auto found = forwarded.find("006displaycw" + value);
        if (found == forwarded.end()) {
            continue;  // a value missing fails the check of the values
        }
        const long long way = found->second - at;
        worst = std::max(worst, way);
        if (row_.promptMs != 0 && at >= fault + row_.afterFaultMs * 1000LL) {
            worstPrompt = std::max(worstPrompt, way);
            ++prompt;
        }
    }
    // The next command after the lost one.
    const long long resumed = loggerLog.FirstAfter("execute", "noack");
    std::printf(
        "  slowest value %lld ms; slowest after the fault %lld ms; next command %lld ms "
        "after the lost one\n",
        worst / 1000, worstPrompt / 1000, resumed != 0 ? (resumed - fault) / 1000 : -1);
    if (row_.latencyMs != 0) {
        EXPECT_LE(worst, row_.latencyMs * 1000LL) << "a value took too long";
    }
    if (row_.promptMs != 0) {
        EXPECT_GT(prompt, 0) << "no value published after the fault arrived";
        EXPECT_LE(worstPrompt, row_.promptMs * 1000LL) << "a value after the fault took too long";
    }
    if (row_.resumeMs != 0) {
        ASSERT_NE(resumed, 0) << "no command after the lost one";
        EXPECT_LE(resumed - fault, row_.resumeMs * 1000LL)
            << "the commands resumed too long after the lost one";
    }
}

// Once every process has ended, no reference to the names' atoms is left
// (global atoms outlive the processes).
void DdePeerTest::CheckAtoms() {
    SCOPED_TRACE(Check("atoms"));
    ReleaseLowerCaseNames();
    for (const std::string& name : atoms_) {
        EXPECT_EQ(TakeAtom(name), 0) << "references left to the atom " << name;
    }
}

TEST_P(DdePeerTest, Row) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    ASSERT_NO_FATAL_FAILURE(Run());
    Report();
    CheckValues();
    CheckErrorLines();
    CheckStatusLine();
    CheckPostedDelay();
    CheckMemory();
    CheckClose();
    CheckPeerLogs();
    CheckDataAcks();
    CheckLoggerFault();
    CheckTiming();
    CheckAtoms();
}

INSTANTIATE_TEST_SUITE_P(Peers, DdePeerTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quillon::testing
