// One DDE link engine driven through every answer a peer may give. The
// input is a script of steps: opens (servers that answer with our names, in
// another case, with a stranger's names, twice, late, or not at all), hot
// link answers, values with every combination of flags, executes started by
// a gateway that waits for each outcome, their answers (accepted, refused,
// busy, at once, late, never; naming the command, another block, no handle
// or a string atom), terminates from either side and crossing, a server
// that dies, End, failed posts and allocations, and a clock that jumps and
// wraps.
//
// The wire is a ledger: it hands out windows, blocks and atoms and knows
// who holds each, ours or the server's, so every call is checked against
// the rules of dde/DdeWireActions.h: nothing freed twice or while the
// server holds it, nothing posted after a terminate. The servers are
// simulated here and keep what they were posted. What the engine tells is
// checked against the rules of dde/DdeLinkEngine.h: each value once and in
// order, one outcome per execute and only the one its answers allow (a
// command accepted in time is told 0, a busy one retried and accepted is
// never 288, an ack with no handle answers the oldest waiting command, a
// late answer is never taken for the current command). At the end every
// conversation is ended and everything of ours must have been freed once.
//
// A failing input (build/fuzz/artifacts/dde_link_engine-crash-*) replays
// with the program and the file as its argument; DDE_LINK_TRACE=1 prints
// its steps and every call on the wire. Kept in corpus/dde_link_engine/ it
// is run on every fuzz run; the fault it found gets a case of its own in
// tests/host/FuzzRegressionTest.cpp.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "dde/DdeLinkEngine.h"

using quillon::fuzz::Require;
using namespace quillon::dde;

namespace {

// DDE_LINK_TRACE=1 prints each step and each call of the engine on the
// wire, to read a failing input by.
const bool kTrace = std::getenv("DDE_LINK_TRACE") != nullptr;

template <typename... Args>
void Trace(const char* format, Args... args) {
    if (kTrace) {
        std::fprintf(stderr, format, args...);
        std::fputc('\n', stderr);
    }
}

constexpr int32_t kAccepted = 0;
constexpr int32_t kOutOfMemory = 7;
constexpr int32_t kNoApplication = 282;
constexpr int32_t kRefused = 285;
constexpr int32_t kTimedOut = 286;
constexpr int32_t kBusy = 288;
constexpr int32_t kNoChannel = 293;
constexpr size_t kMostSteps = 300;

const char* const kServices[] = {"MRP40", "Palavan", "MRP40 SDR"};
const char* const kTopics[] = {"MRP40Form", "DDEServer", ""};
const char* const kItem = "RXSymbol";

// Who holds a block or an atom now.
enum class Holder {
    kOurs,    // the engine must free or post it
    kLent,    // posted with a message the server has not answered
    kServer,  // the server's: the engine must not touch it
    kGone,    // freed or deleted
};

struct Thing {
    Holder holder = Holder::kServer;
    Window client = 0;  // the conversation it was posted on, when lent
    Window server = 0;
    int command = -1;  // an execute's command
};

std::string Fold(std::string text, bool upper) {
    for (char& c : text) {
        if (upper && c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (!upper && c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool NameAnswers(const std::string& answered, const std::string& asked) {
    return asked.empty() || Fold(answered, true) == Fold(asked, true);
}

// One conversation as its server sees it.
struct Pair {
    Window client = 0;
    Window server = 0;
    bool partner = false;                        // the engine took this server's answer
    bool terminateTried = false;                 // the engine tried to post its terminate
    bool weTerminated = false;                   // ... and it was posted
    bool theyTerminated = false;                 // the server's terminate was delivered
    bool answeredTheirs = false;                 // our terminate answered theirs
    bool tookOurs = false;                       // the server answered our terminate
    std::deque<std::pair<Block, Atom>> advises;  // received, unanswered
    std::deque<Block> executes;                  // received, unanswered, in order
    std::deque<Block> waiting;                   // the engine's waiting commands, oldest first
};

struct Command {
    Tick sent = 0;
    std::optional<int32_t> told;
    std::optional<int32_t> must;  // what its answer in time makes of it
    bool accepted = false;        // a positive answer came
    bool refused = false;         // a negative answer came in time
    bool busy = false;            // a busy answer came
    bool lost = false;            // the conversation ended under it
    bool postFailed = false;
    std::optional<Tick> busyAt;  // waiting for its offer again
};

struct Expected {
    std::string value;
    bool required = true;
};

// The data being handled, for the ack that reuses its message.
struct DataCall {
    Window to = 0;
    Window from = 0;
    Data data;
    bool ackTried = false;
    bool ackPositive = false;
};

unsigned long long U(uint64_t value) {
    return value;
}

class Harness : public DdeWireActions {
  public:
    explicit Harness(FuzzedDataProvider& input) : input_(input) {}

    void Run() {
        const size_t ending = Pick(3);
        const Tick starts[] = {0, 0xFFFFFFFFu - 64u * static_cast<Tick>(Pick(256)), 0x7FFFFF00u};
        now_ = starts[Pick(3)];
        engine_ = std::make_unique<DdeLinkEngine>(*this);
        for (size_t step = 0; step < kMostSteps && input_.remaining_bytes() > 0; ++step) {
            Step(Pick(15));
            AfterStep();
        }
        Finish(ending);
    }

  private:
    // --- the ledger -------------------------------------------------------

    Window NewWindow() override {
        if (Fails(failAllocs_)) {
            return 0;
        }
        const Window window = 0x100 + clients_.size();
        clients_[window] = true;
        Trace("  NewWindow %llx", U(window));
        return window;
    }

    void DestroyWindow(Window window) override {
        Trace("  DestroyWindow %llx", U(window));
        const auto found = clients_.find(window);
        Require(found != clients_.end() && found->second,
                "only a live window of ours is destroyed");
        found->second = false;
        for (const auto& [key, pair] : pairs_) {
            Require(key.first != window || pair.terminateTried || pair.theyTerminated ||
                        !Alive(servers_, pair.server),
                    "a window is destroyed only when its servers have been told");
        }
    }

    bool WindowAlive(Window window) override {
        const auto found = servers_.find(window);
        return found != servers_.end() && found->second;
    }

    Atom AddAtom(const std::string& name) override {
        Require(!name.empty(), "no atom is added for an empty name");
        if (Fails(failAllocs_)) {
            return 0;
        }
        const Atom atom = NewAtom(Holder::kOurs);
        Trace("  AddAtom %x", atom);
        return atom;
    }

    void DeleteAtom(Atom atom) override {
        Trace("  DeleteAtom %x", atom);
        const auto found = atoms_.find(atom);
        Require(found != atoms_.end(), "only an atom handed out is deleted");
        Give(found->second);
    }

    Block NewAdvise() override {
        if (Fails(failAllocs_)) {
            return 0;
        }
        const Block block = NewBlock(Holder::kOurs, -1);
        Trace("  NewAdvise %llx", U(block));
        return block;
    }

    Block NewExecute(const std::string& command) override {
        Require(command == commandText_, "the execute's block holds the command");
        if (Fails(failAllocs_)) {
            return 0;
        }
        const Block block = NewBlock(Holder::kOurs, static_cast<int>(commands_.size()) - 1);
        Trace("  NewExecute %llx", U(block));
        return block;
    }

    void FreeBlock(Block block) override {
        Trace("  FreeBlock %llx", U(block));
        const auto found = blocks_.find(block);
        Require(found != blocks_.end(), "only a block handed out is freed");
        if (found->second.holder == Holder::kLent) {
            // No longer waiting for its answer.
            for (auto& [key, pair] : pairs_) {
                (void)key;
                pair.waiting.erase(std::remove(pair.waiting.begin(), pair.waiting.end(), block),
                                   pair.waiting.end());
            }
        }
        Give(found->second);
    }

    bool PostAdvise(Window to, Window from, Block options, Atom item) override {
        Trace("  PostAdvise %llx<-%llx %llx %x", U(to), U(from), U(options), item);
        Pair& pair = Posting(to, from, false);
        Require(pair.partner, "the hot link is asked of the server taken");
        Require(BlockHolder(options) == Holder::kOurs, "the advise's block is ours");
        Require(blocks_[options].command < 0, "the advise's block is no command");
        Require(AtomHolder(item) == Holder::kOurs, "the advise's item atom is ours");
        if (!Delivers(to)) {
            return false;
        }
        Lend(blocks_[options], pair);
        Lend(atoms_[item], pair);
        pair.advises.emplace_back(options, item);
        return true;
    }

    bool PostExecute(Window to, Window from, Block command) override {
        Trace("  PostExecute %llx<-%llx %llx", U(to), U(from), U(command));
        Pair& pair = Posting(to, from, false);
        Require(pair.partner, "a command goes to the server taken");
        Require(BlockHolder(command) == Holder::kOurs, "the command's block is ours");
        Thing& thing = blocks_[command];
        Require(thing.command >= 0, "the block posted is a command");
        Command& c = commands_[static_cast<size_t>(thing.command)];
        Require(!c.told, "a command is offered only while its outcome is due");
        if (c.busyAt) {
            Require(static_cast<Tick>(now_ - *c.busyAt) >= kBusyPauseMs,
                    "a busy command is offered again only after the pause");
            c.busyAt.reset();
        }
        if (!Delivers(to)) {
            c.postFailed = true;
            return false;
        }
        Lend(thing, pair);
        pair.executes.push_back(command);
        pair.waiting.push_back(command);
        return true;
    }

    bool PostTerminate(Window to, Window from) override {
        Trace("  PostTerminate %llx<-%llx", U(to), U(from));
        Pair& pair = Posting(to, from, true);
        pair.terminateTried = true;
        if (!Delivers(to)) {
            return false;
        }
        pair.weTerminated = true;
        pair.answeredTheirs = pair.theyTerminated;
        return true;
    }

    bool PostDataAck(Window to, Window from, bool positive, Atom item) override {
        Trace("  PostDataAck %llx<-%llx %d %x", U(to), U(from), positive, item);
        Require(data_ != nullptr, "a data ack is posted while the data is handled");
        DataCall& call = *data_;
        Require(to == call.from && from == call.to, "the data ack goes back to its sender");
        Require(call.data.ackRequested && call.data.block != 0, "a data ack only when asked for");
        Require(!call.ackTried, "one ack per data");
        Require(item == call.data.item, "the data ack carries the data's item");
        Require(AtomHolder(item) == Holder::kOurs, "the data ack's atom is ours");
        Posting(to, from, false);
        call.ackTried = true;
        call.ackPositive = positive;
        if (!Delivers(to)) {
            return false;
        }
        atoms_[item].holder = Holder::kServer;
        if (!positive && call.data.release) {
            blocks_[call.data.block].holder = Holder::kServer;  // the server frees it
        }
        return true;
    }

    // The checks every post shares; the pair it is posted on.
    Pair& Posting(Window to, Window from, bool terminate) {
        const auto client = clients_.find(from);
        Require(client != clients_.end() && client->second,
                "posts come from a live window of ours");
        Require(servers_.count(to) != 0, "posts go to a server's window");
        const auto found = pairs_.find({from, to});
        Require(found != pairs_.end(), "posts go to a server that answered this window");
        Pair& pair = found->second;
        Require(!pair.weTerminated, "nothing is posted after our terminate");
        if (pair.theyTerminated) {
            Require(terminate, "after the server's terminate only its answer is posted");
        }
        return pair;
    }

    bool Delivers(Window to) {
        if (Fails(failPosts_)) {
            return false;
        }
        return Alive(servers_, to);
    }

    static bool Alive(const std::map<Window, bool>& windows, Window window) {
        const auto found = windows.find(window);
        return found != windows.end() && found->second;
    }

    static bool Fails(size_t& count) {
        if (count == 0) {
            return false;
        }
        --count;
        return true;
    }

    Atom NewAtom(Holder holder) {
        if (nextAtom_ > 0xFFFF) {
            return 0;
        }
        const Atom atom = static_cast<Atom>(nextAtom_++);
        atoms_[atom].holder = holder;
        return atom;
    }

    Block NewBlock(Holder holder, int command) {
        const Block block = 0x10000 + 0x10 * blocks_.size();
        Thing& thing = blocks_[block];
        thing.holder = holder;
        thing.command = command;
        return block;
    }

    Holder BlockHolder(Block block) const {
        const auto found = blocks_.find(block);
        return found == blocks_.end() ? Holder::kGone : found->second.holder;
    }

    Holder AtomHolder(Atom atom) const {
        const auto found = atoms_.find(atom);
        return found == atoms_.end() ? Holder::kGone : found->second.holder;
    }

    static void Lend(Thing& thing, const Pair& pair) {
        thing.holder = Holder::kLent;
        thing.client = pair.client;
        thing.server = pair.server;
    }

    // The engine frees a block or deletes an atom.
    void Give(Thing& thing) {
        Require(thing.holder != Holder::kGone, "nothing is freed or deleted twice");
        Require(thing.holder != Holder::kServer, "nothing the server holds is freed or deleted");
        if (thing.holder == Holder::kLent) {
            // What the server was posted and never answered is ours again
            // once the conversation ends, and a command's once its outcome
            // has been told.
            const Pair& pair = pairs_.at({thing.client, thing.server});
            const bool ended =
                pair.terminateTried || pair.theyTerminated || !Alive(servers_, pair.server);
            const bool dropped =
                thing.command >= 0 && commands_[static_cast<size_t>(thing.command)].told;
            Require(ended || dropped, "nothing posted is freed while the server may answer it");
        }
        thing.holder = Holder::kGone;
    }

    // --- choices ------------------------------------------------------------

    // One byte for every choice, whatever the count, so that a script
    // reads the same in every state (and a seed can be written by hand:
    // the bytes are read from the end of the input backwards).
    size_t Pick(size_t count) {
        const size_t byte = input_.ConsumeIntegral<uint8_t>();
        return count == 0 ? 0 : byte % count;
    }

    // The pairs a server may still post on, newest first.
    std::vector<Pair*> Talking(bool (*wanted)(const Pair&)) {
        std::vector<Pair*> found;
        for (auto& [key, pair] : pairs_) {
            (void)key;
            if (Alive(servers_, pair.server) && !pair.theyTerminated && !pair.tookOurs &&
                wanted(pair)) {
                found.push_back(&pair);
            }
        }
        std::sort(found.begin(), found.end(),
                  [&](Pair* a, Pair* b) { return a->server > b->server; });
        return found;
    }

    Pair* PickPair(bool (*wanted)(const Pair&)) {
        const std::vector<Pair*> pairs = Talking(wanted);
        const size_t chosen = Pick(pairs.size());
        return pairs.empty() ? nullptr : pairs[chosen];
    }

    bool Routed(Window client) { return engine_->Owns(client); }

    // --- steps -----------------------------------------------------------

    enum StepKind {
        kOpen,
        kExecute,
        kAnswerExecute,
        kAnswerAdvise,
        kSendData,
        kServerTerminates,
        kAnswerTerminate,
        kServerDies,
        kEnd,
        kTimeAndTimer,
        kTimeOnly,
        kLateAnswer,
        kFailPosts,
        kFailAllocs,
        kCheckDeadlines,
    };

    void Step(size_t kind) {
        Trace("step %zu at %u", kind, now_);
        switch (kind) {
            case kOpen:
                Open();
                break;
            case kExecute:
                Execute();
                break;
            case kAnswerExecute:
                AnswerExecute();
                break;
            case kAnswerAdvise:
                AnswerAdvise();
                break;
            case kSendData:
                SendData();
                break;
            case kServerTerminates:
                ServerTerminates();
                break;
            case kAnswerTerminate:
                AnswerTerminate();
                break;
            case kServerDies:
                ServerDies();
                break;
            case kEnd:
                End();
                break;
            case kCheckDeadlines:
                engine_->CheckDeadlines(now_);  // as a value of another link does
                input_happened_ = true;
                break;
            case kTimeAndTimer:
            case kTimeOnly: {
                const Tick jumps[] = {
                    static_cast<Tick>(Pick(64)), kBusyPauseMs,    kAdviseLimitMs,      kRetireMs,
                    kExecuteLimitMs - 1,         kExecuteLimitMs, kExecuteLimitMs + 1, 60000};
                now_ += jumps[Pick(8)];
                if (kind == kTimeAndTimer) {
                    Timer();
                }
                break;
            }
            case kLateAnswer:
                LateAnswer();
                break;
            case kFailPosts:
                failPosts_ = 1 + Pick(3);
                break;
            case kFailAllocs:
                failAllocs_ = 1 + Pick(2);
                break;
            default:
                break;
        }
    }

    // The link leaves its conversation: the window returned is the one whose
    // terminate was posted.
    void End() {
        const Window open = openWindow_;
        const Pair* pair = open != 0 ? &pairs_[{open, openServer_}] : nullptr;
        const bool posted = pair != nullptr && pair->weTerminated;
        LeaveCurrent();
        const Window left = engine_->End(now_);
        input_happened_ = true;
        Require(left == 0 || engine_->AwaitingTerminate(left), "End names a window that waits");
        if (pair != nullptr) {
            Require(left == ((!posted && pair->weTerminated) ? open : 0),
                    "End names the window whose terminate it posted");
        }
    }

    void Timer() {
        engine_->OnTime(now_);
        input_happened_ = true;
        if (deathSeen_) {
            closeDue_ = true;  // the engine finds the server gone
        }
    }

    void LeaveCurrent() {
        if (Command* c = Current()) {
            c->lost = true;
        }
        openWindow_ = 0;
        closeAllowed_ = false;
        deathSeen_ = false;
    }

    void Open() {
        const std::string service = kServices[Pick(3)];
        const std::string topic = kTopics[Pick(3)];
        LeaveCurrent();
        const size_t allocFailures = failAllocs_;
        const int32_t begun = engine_->BeginInitiate(service, topic, now_);
        Trace(" BeginInitiate %s|%s: %d", service.c_str(), topic.c_str(), begun);
        input_happened_ = true;
        if (begun != 0) {
            Require(begun == kOutOfMemory && failAllocs_ < allocFailures,
                    "an initiate begins unless memory fails");
            return;
        }
        const Window window = engine_->InitiateWindow();
        Require(Alive(clients_, window), "the initiate comes from a live window of ours");
        const Atom serviceAtom = engine_->InitiateService();
        const Atom topicAtom = engine_->InitiateTopic();
        Require(AtomHolder(serviceAtom) == Holder::kOurs, "the initiate holds its service atom");
        Require(topic.empty() ? topicAtom == 0 : AtomHolder(topicAtom) == Holder::kOurs,
                "the initiate holds its topic atom");

        // The round: each server answers inside the initiate it is sent.
        Window partner = 0;
        const size_t servers = Pick(4);
        for (size_t i = 0; i < servers; ++i) {
            const bool pushy = Pick(4) == 0;  // answers although nobody asks any more
            if (!engine_->Initiating() && !pushy) {
                break;
            }
            const Window server = NewServer();
            const size_t names = Pick(4);
            const size_t times = 1 + Pick(2);
            // Only the server taken answers twice: a stranger's window
            // that answered and was told to terminate says no more.
            for (size_t t = 0; t < times && (t == 0 || partner == server); ++t) {
                Answer(window, server, service, topic, names, partner, true);
            }
        }
        const size_t postFailures = failPosts_;
        const int32_t ended = engine_->EndInitiate(kItem, now_);
        Trace(" EndInitiate: %d", ended);
        Require(AtomHolder(serviceAtom) == Holder::kGone &&
                    (topicAtom == 0 || AtomHolder(topicAtom) == Holder::kGone),
                "the initiate's atoms are deleted when the round ends");
        if (partner == 0) {
            Require(ended == kNoApplication, "nobody took the initiate: 282");
            return;
        }
        const Pair& pair = pairs_[{window, partner}];
        const bool posted = !pair.advises.empty();
        Require(ended == (posted ? 0 : kRefused), "the hot link is asked for, or the open fails");
        Require(posted || failPosts_ < postFailures || failAllocs_ < allocFailures ||
                    !Alive(servers_, partner),
                "the hot link is asked for unless a post or memory fails");
        if (ended != 0) {
            return;
        }

        // The wait for the hot link's answer: only DDE messages come, and
        // the clock, which looks at the server's window.
        pendingWindow_ = window;
        pendingServer_ = partner;
        advisePositive_ = false;
        pendingLost_ = false;
        for (size_t i = 0; i < 8 && engine_->AdvisePending(now_) && input_.remaining_bytes() > 0;
             ++i) {
            const StepKind kinds[] = {kAnswerAdvise, kSendData,       kServerTerminates,
                                      kServerDies,   kTimeAndTimer,   kAnswerExecute,
                                      kLateAnswer,   kAnswerTerminate};
            Step(kinds[Pick(8)]);
        }
        if (engine_->AdvisePending(now_)) {
            now_ += kAdviseLimitMs;
            Require(!engine_->AdvisePending(now_), "the wait for the hot link ends at its limit");
        }
        const bool stands = advisePositive_ && !pendingLost_ && Alive(servers_, partner);
        pendingWindow_ = 0;
        const int32_t opened = engine_->FinishOpen(now_);
        Trace(" FinishOpen: %d", opened);
        Require(opened == (stands ? 0 : kRefused), "the open stands when the hot link was taken");
        if (opened == 0) {
            openWindow_ = window;
            openServer_ = partner;
            Require(engine_->Open(), "the open link is open");
        } else {
            Require(!engine_->Open(), "a failed open leaves no link open");
        }
    }

    Window NewServer() {
        const Window server = 0x80000000u + servers_.size();
        servers_[server] = true;
        return server;
    }

    // An answer to an initiate from `server` to `window`: its names are
    // ours, ours in another case, a stranger's or a second topic.
    void Answer(Window window, Window server, const std::string& service, const std::string& topic,
                size_t names, Window& partner, bool inRound) {
        InitiateAnswer answer;
        answer.serviceName = names == 2 ? "Stranger" : Fold(service, names == 1);
        answer.topicName = names == 3 ? "Elsewhere" : (topic.empty() ? "Any" : topic);
        answer.service = NewAtom(Holder::kServer);
        answer.topic = NewAtom(Holder::kServer);
        if (answer.service == 0 || answer.topic == 0) {
            return;
        }
        Pair& pair = pairs_[{window, server}];
        pair.client = window;
        pair.server = server;
        const bool taken = inRound && partner == 0 && NameAnswers(answer.serviceName, service) &&
                           NameAnswers(answer.topicName, topic);
        Require(engine_->IsInitiateAnswer(window, server), "an initiate's answer is told as one");
        atoms_[answer.service].holder = Holder::kOurs;
        atoms_[answer.topic].holder = Holder::kOurs;
        const bool again = partner == server;
        Trace(" OnInitiateAnswer %llx<-%llx %s|%s", U(window), U(server),
              answer.serviceName.c_str(), answer.topicName.c_str());
        engine_->OnInitiateAnswer(window, server, answer, now_);
        input_happened_ = true;
        Require(AtomHolder(answer.service) == Holder::kGone &&
                    AtomHolder(answer.topic) == Holder::kGone,
                "the atoms of an initiate's answer are deleted");
        if (taken) {
            partner = server;
            pair.partner = true;
            Require(!pair.terminateTried, "the answer taken gets no terminate");
        } else if (again) {
            Require(!pair.terminateTried, "the partner answering twice gets no terminate");
        } else {
            Require(pair.terminateTried, "an answer not taken gets a terminate");
        }
    }

    void LateAnswer() {
        std::vector<Window> windows;
        for (const auto& [window, alive] : clients_) {
            if (alive) {
                windows.push_back(window);
            }
        }
        const size_t chosen = Pick(windows.size());
        const size_t names = Pick(4);
        if (windows.empty()) {
            return;
        }
        const Window window = windows[windows.size() - 1 - chosen];
        Window none = 0;
        Answer(window, NewServer(), kServices[0], kTopics[0], names, none, false);
    }

    void Execute() {
        if (Current() != nullptr) {
            return;  // the gateway waits for the outcome
        }
        commandText_ = "command " + std::to_string(commands_.size());
        const bool open = engine_->Open();
        const size_t allocFailures = failAllocs_;
        commands_.emplace_back().sent = now_;
        current_ = static_cast<int>(commands_.size()) - 1;
        const int32_t result = engine_->Execute(commandText_, now_);
        Trace(" Execute %s: %d", commandText_.c_str(), result);
        input_happened_ = true;
        if (result == 0) {
            Require(open, "an execute starts only on an open link");
            return;
        }
        commands_.back().told = result;  // refused at once: no outcome follows
        if (result == kNoChannel) {
            Require(!open, "293 only with no conversation open");
            LoseOpen();
        } else {
            Require(result == kOutOfMemory && failAllocs_ < allocFailures,
                    "an execute with its outcome taken starts unless memory fails");
        }
    }

    // The server of the open conversation is found gone by a post.
    void LoseOpen() {
        if (openWindow_ != 0 && !Alive(servers_, openServer_)) {
            closeAllowed_ = true;
            closeDue_ = true;
        }
    }

    void AnswerExecute() {
        Pair* pair = PickPair([](const Pair& p) { return !p.executes.empty(); });
        const size_t status = Pick(3);
        const size_t carries = Pick(4);
        if (pair == nullptr) {
            return;
        }
        const Block message = pair->executes.front();
        pair->executes.pop_front();
        Ack ack;
        ack.positive = status == 0;
        ack.busy = status == 2;
        switch (carries) {
            case 0:
                ack.carried = message;
                break;
            case 1:
                ack.carried = 0;  // a careless server names no handle
                break;
            case 2:
                ack.carried = NewBlock(Holder::kServer, -1);  // a block of its own
                break;
            default:
                ack.carried = NewAtom(Holder::kServer);
                break;
        }
        if (!Routed(pair->client)) {
            return;  // its post fails: the window is gone
        }
        Require(!engine_->IsInitiateAnswer(pair->client, pair->server),
                "a posted ack is not taken for an initiate's answer");
        // What the ack answers by the engine's rules: the command whose
        // block it carries, else the oldest one waiting.
        std::optional<Block> answers;
        if (IsStringAtom(ack.carried)) {
            atoms_[static_cast<Atom>(ack.carried)].holder = Holder::kOurs;  // ours to delete
        } else {
            const auto named = std::find(pair->waiting.begin(), pair->waiting.end(), ack.carried);
            if (named != pair->waiting.end()) {
                answers = *named;
                pair->waiting.erase(named);
            } else if (!pair->waiting.empty()) {
                answers = pair->waiting.front();
                pair->waiting.pop_front();
            }
        }
        if (answers) {
            Thing& thing = blocks_[*answers];
            Require(thing.holder == Holder::kLent, "a waiting command's block is lent");
            thing.holder = Holder::kOurs;  // the answer returns the command's block
            Command& c = commands_[static_cast<size_t>(thing.command)];
            if (!c.told && !c.lost) {
                // An answer that comes after the limit but before any input
                // told it may be taken or not.
                const bool inTime = static_cast<Tick>(now_ - c.sent) < kExecuteLimitMs;
                if (ack.positive) {
                    c.accepted = true;
                    if (inTime) {
                        c.must = kAccepted;
                    }
                } else if (!ack.busy) {
                    c.refused = true;
                    if (inTime) {
                        c.must = kRefused;
                    }
                } else {
                    c.busy = true;
                    if (inTime) {
                        c.busyAt = now_;
                    }
                }
            }
        }
        Trace(" OnAck %llx<-%llx pos=%d busy=%d carried=%llx", U(pair->client), U(pair->server),
              ack.positive, ack.busy, U(ack.carried));
        engine_->OnAck(pair->client, pair->server, ack, now_);
        input_happened_ = true;
    }

    void AnswerAdvise() {
        Pair* pair = PickPair([](const Pair& p) { return !p.advises.empty(); });
        const bool positive = Pick(3) != 0;
        if (pair == nullptr) {
            return;
        }
        const auto [block, atom] = pair->advises.front();
        pair->advises.pop_front();
        Ack ack;
        ack.positive = positive;
        ack.carried = atom;
        if (!Routed(pair->client)) {
            return;
        }
        Require(!engine_->IsInitiateAnswer(pair->client, pair->server),
                "the hot link's answer is not taken for an initiate's answer");
        if (atoms_[atom].holder == Holder::kLent) {
            atoms_[atom].holder = Holder::kOurs;
        }
        if (blocks_[block].holder == Holder::kLent) {
            blocks_[block].holder = ack.positive ? Holder::kServer : Holder::kOurs;
        }
        if (pair->client == pendingWindow_ && ack.positive) {
            advisePositive_ = !pendingLost_;
        }
        Trace(" OnAck advise %llx<-%llx pos=%d", U(pair->client), U(pair->server), ack.positive);
        engine_->OnAck(pair->client, pair->server, ack, now_);
        input_happened_ = true;
    }

    void SendData() {
        Pair* pair = PickPair([](const Pair&) { return true; });
        const size_t kind = Pick(16);
        if (pair == nullptr) {
            return;
        }
        DataCall call;
        call.to = pair->client;
        call.from = pair->server;
        Data& data = call.data;
        data.item = NewAtom(Holder::kServer);
        const bool hasBlock = kind != 0;
        if (hasBlock) {
            data.release = (kind & 1) != 0;
            data.ackRequested = (kind & 2) != 0;
            data.text = (kind & 12) != 0;  // one in four is not text
            data.block = NewBlock(Holder::kServer, -1);
        }
        const int serial = nextValue_++;
        data.value = hasBlock ? (data.text ? "v" : "n") + std::to_string(serial) : std::string();
        if (data.item == 0 || !Routed(pair->client)) {
            return;
        }
        atoms_[data.item].holder = Holder::kOurs;
        if (hasBlock && data.release) {
            blocks_[data.block].holder = Holder::kOurs;
        }
        const bool live = pair->partner && !pair->terminateTried && !pair->theyTerminated;
        const bool current =
            live && ((pair->client == openWindow_ && pair->server == openServer_) ||
                     (pair->client == pendingWindow_ && !pendingLost_));
        const bool deliverable = current && (data.text || !hasBlock);
        if (deliverable) {
            values_.push_back({data.value, pair->client == openWindow_});
        }
        Trace(" OnData %llx<-%llx %s block=%llx ack=%d release=%d", U(call.to), U(call.from),
              data.value.c_str(), U(data.block), data.ackRequested, data.release);
        data_ = &call;
        engine_->OnData(call.to, call.from, data, now_);
        data_ = nullptr;
        input_happened_ = true;
        Require(AtomHolder(data.item) != Holder::kOurs, "a value's atom is acked or deleted");
        Require(!hasBlock || BlockHolder(data.block) != Holder::kOurs,
                "a value's block is freed when it is ours");
        Require(call.ackTried == (live && data.ackRequested && hasBlock),
                "a value is acked when asked, by the partner of a live conversation");
        Require(!call.ackTried || call.ackPositive == deliverable,
                "a value's ack is positive when it is taken");
    }

    void ServerTerminates() {
        Pair* pair = PickPair([](const Pair&) { return true; });
        if (pair == nullptr) {
            return;
        }
        pair->theyTerminated = true;
        pair->advises.clear();
        pair->executes.clear();
        if (!Routed(pair->client)) {
            return;
        }
        const bool crossing = pair->terminateTried;
        if (pair->partner && pair->client == openWindow_) {
            LeaveCurrent();
            closeAllowed_ = true;
            closeDue_ = true;
        }
        if (pair->partner && pair->client == pendingWindow_) {
            pendingLost_ = true;
        }
        Trace(" OnTerminate %llx<-%llx", U(pair->client), U(pair->server));
        engine_->OnTerminate(pair->client, pair->server, now_);
        input_happened_ = true;
        if (pair->partner) {
            Require(crossing || pair->terminateTried, "the server's terminate is answered");
            Require(!crossing || !Routed(pair->client), "our terminate answered ends the window");
        }
    }

    void AnswerTerminate() {
        Pair* pair = PickPair([](const Pair& p) { return p.weTerminated; });
        if (pair == nullptr) {
            return;
        }
        pair->tookOurs = true;
        pair->advises.clear();
        pair->executes.clear();
        if (!Routed(pair->client)) {
            return;
        }
        Trace(" OnTerminate %llx<-%llx", U(pair->client), U(pair->server));
        engine_->OnTerminate(pair->client, pair->server, now_);
        input_happened_ = true;
        if (pair->partner) {
            Require(!Routed(pair->client), "our terminate answered ends the window");
        }
    }

    void ServerDies() {
        std::vector<Window> alive;
        for (const auto& [server, up] : servers_) {
            if (up) {
                alive.push_back(server);
            }
        }
        const size_t chosen = Pick(alive.size());
        if (alive.empty()) {
            return;
        }
        const Window server = alive[alive.size() - 1 - chosen];
        servers_[server] = false;
        Trace(" server %llx dies", U(server));
        if (server == openServer_ && openWindow_ != 0) {
            if (Command* c = Current()) {
                c->lost = true;
            }
            closeAllowed_ = true;
            deathSeen_ = true;
        }
        if (server == pendingServer_ && pendingWindow_ != 0) {
            pendingLost_ = true;
        }
    }

    Command* Current() {
        if (current_ < 0 || commands_[static_cast<size_t>(current_)].told) {
            return nullptr;
        }
        return &commands_[static_cast<size_t>(current_)];
    }

    // --- what the engine tells, and what must hold after each step --------

    void TakeNotifications() {
        while (engine_->HasNotification()) {
            const Notification told = engine_->TakeNotification();
            Trace(" told %d %s %d", told.kind, told.value.c_str(), told.error);
            switch (told.kind) {
                case Notification::kValue:
                    TakeValue(told.value);
                    break;
                case Notification::kOutcome:
                    TakeOutcome(told.error);
                    break;
                case Notification::kClose:
                    Require(closeAllowed_, "a close is told only when the server ended the link");
                    closeAllowed_ = false;
                    closeDue_ = false;
                    deathSeen_ = false;
                    openWindow_ = 0;
                    break;
            }
        }
    }

    void TakeValue(const std::string& value) {
        while (!values_.empty() && values_.front().value != value) {
            Require(!values_.front().required, "every value is told, in order");
            values_.pop_front();
        }
        Require(!values_.empty(), "a value is told once, and only one that was sent");
        values_.pop_front();
    }

    void TakeOutcome(int32_t error) {
        Command* c = Current();
        Require(c != nullptr, "no outcome while none is due");
        const bool expired = static_cast<Tick>(now_ - c->sent) >= kExecuteLimitMs;
        if (c->must) {
            Require(error == *c->must, "a command answered in time is told its answer");
        }
        switch (error) {
            case kAccepted:
                Require(c->accepted, "0 only for a command the server accepted");
                break;
            case kRefused:
                Require(c->refused || c->postFailed, "285 only for a command refused");
                break;
            case kTimedOut:
                Require(expired, "286 only after the limit");
                break;
            case kBusy:
                Require(c->busy && expired, "288 only for a command busy until the limit");
                break;
            case kNoChannel:
                Require(c->lost, "293 only when the conversation ended under the command");
                break;
            default:
                Require(false, "an outcome is 0, 285, 286, 288 or 293");
        }
        c->told = error;
    }

    void AfterStep() {
        TakeNotifications();
        const bool input = input_happened_;
        input_happened_ = false;
        Require(std::none_of(values_.begin(), values_.end(),
                             [](const Expected& e) { return e.required; }),
                "every value is told at once");
        values_.clear();
        Require(!closeDue_, "a lost link is told as closed");
        for (const auto& [window, alive] : clients_) {
            Require(alive == engine_->Owns(window), "the engine owns exactly its live windows");
        }
        Require(engine_->Open() == (openWindow_ != 0 && Alive(servers_, openServer_)),
                "the link is open while its hot link stands and its server lives");
        Command* c = Current();
        Require(engine_->Executing() == (c != nullptr), "an execute waits until its outcome");
        if (c == nullptr) {
            return;
        }
        Require(!c->must, "a command answered is told at once");
        const Tick elapsed = now_ - c->sent;
        if (input) {
            Require(elapsed < kExecuteLimitMs, "a command past its limit is told by any input");
            if (c->busyAt) {
                Require(static_cast<Tick>(now_ - *c->busyAt) < kBusyPauseMs,
                        "a busy command is offered again by any input after the pause");
            }
        }
        const std::optional<Tick> next = engine_->NextDeadline(now_);
        Require(next.has_value() && static_cast<int32_t>(*next - now_) <=
                                        static_cast<int32_t>(kExecuteLimitMs - elapsed),
                "the next deadline is no later than the command's limit");
        if (c->busyAt) {
            Require(static_cast<int32_t>(*next - now_) <=
                        static_cast<int32_t>(*c->busyAt + kBusyPauseMs - now_),
                    "the next deadline is no later than the busy pause");
        }
    }

    // Every conversation ended, then everything of ours must be gone.
    void Finish(size_t ending) {
        if (ending != 0) {
            End();
            AfterStep();
            if (ending == 1) {
                for (auto& [key, pair] : pairs_) {
                    (void)key;
                    if (pair.weTerminated && !pair.theyTerminated && Alive(servers_, pair.server) &&
                        Routed(pair.client)) {
                        pair.tookOurs = true;
                        engine_->OnTerminate(pair.client, pair.server, now_);
                    }
                }
            }
            now_ += kRetireMs;
            engine_->OnTime(now_);
            AfterStep();
            for (const auto& [window, alive] : clients_) {
                Require(!alive || !engine_->AwaitingTerminate(window),
                        "no terminate is awaited past the limit");
            }
            for (size_t i = 0; i < commands_.size(); ++i) {
                Require(commands_[i].told.has_value(), "every execute is told one outcome");
            }
        }
        engine_.reset();
        for (const auto& [window, alive] : clients_) {
            Require(!alive, "every window of ours is destroyed");
        }
        for (const auto& [block, thing] : blocks_) {
            Require(thing.holder != Holder::kOurs && thing.holder != Holder::kLent,
                    "every block of ours is freed");
        }
        for (const auto& [atom, thing] : atoms_) {
            Require(thing.holder != Holder::kOurs && thing.holder != Holder::kLent,
                    "every atom of ours is deleted");
        }
    }

    FuzzedDataProvider& input_;
    std::unique_ptr<DdeLinkEngine> engine_;
    Tick now_ = 0;
    size_t failPosts_ = 0;
    size_t failAllocs_ = 0;
    std::map<Window, bool> clients_;  // alive
    std::map<Window, bool> servers_;  // alive
    std::map<std::pair<Window, Window>, Pair> pairs_;
    std::map<Block, Thing> blocks_;
    std::map<Atom, Thing> atoms_;
    uint32_t nextAtom_ = 0xC000;
    DataCall* data_ = nullptr;
    std::vector<Command> commands_;
    int current_ = -1;
    std::string commandText_;
    int nextValue_ = 0;
    std::deque<Expected> values_;
    bool input_happened_ = false;
    Window openWindow_ = 0;  // the open conversation, as the harness sees it
    Window openServer_ = 0;
    Window pendingWindow_ = 0;  // the conversation being opened
    Window pendingServer_ = 0;
    bool advisePositive_ = false;
    bool pendingLost_ = false;
    bool closeAllowed_ = false;
    bool closeDue_ = false;
    bool deathSeen_ = false;  // the open conversation's server died
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Harness(input).Run();
    return 0;
}
