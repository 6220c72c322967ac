// dde_peer: a DDE server written with plain WM_DDE_* messages, no DDEML, whose
// behaviour each run picks: it plays the decoder or the logging program the
// way the rules allow a real program to, or a stranger on the desktop. It
// keeps a log of what it saw, for the test table that runs the gateway
// against it.
//
// One hidden top-level window takes the initiates; each conversation gets a
// window of its own (message-only), destroyed when its terminate exchange is
// done, as a server keyed by conversation window does.
//
// Who frees what here, the server's side of the wire:
//   INITIATE  the client's atoms stay the client's. Our ack is sent; its two
//             atoms are ours until the send succeeds, then the client's.
//   ADVISE    a positive ack: the DDEADVISE memory is ours to free; the item
//             atom goes back in the ack either way.
//   DATA      we allocate memory and item atom. The ack (when fAckReq) brings
//             the atom back: we delete it. The memory is ours again unless
//             fRelease was set and the ack is positive. Without fAckReq and
//             fRelease nobody can free it (kept until exit).
//   EXECUTE   the command memory is the client's; our ack returns its handle
//             (or 0 in its place, with --ack-no-handle).
//   TERMINATE answered once; nothing is posted on the conversation after it.

#include <windows.h>
// dde.h needs the types of windows.h declared first.
#include <dde.h>
// The acknowledgement flag DDE_FACK.
#include <ddeml.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "SimRun.h"
#include "SimText.h"

namespace {

using quillon::tools::EscapeBytes;
using quillon::tools::NowMicroseconds;
using quillon::tools::ParseUnsigned;
using quillon::tools::SimRun;

const char kHelp[] =
    "usage: dde_peer [options]\n"
    "A DDE server on plain WM_DDE_* messages (no DDEML).\n"
    "\n"
    "Role (default --decoder):\n"
    "  --decoder           service \"MRP40\", topic \"MRP40Form\", item \"RXSymbol\"\n"
    "  --logger            service \"Palavan\", topic \"DDEServer\", item \"DDECommand\";\n"
    "                      acknowledges executes and writes each command's bytes\n"
    "                      (escaped like logger_sim) as one line to --out\n"
    "  --stranger NAME     answers every initiate, for whatever names, with the\n"
    "                      names NAME and NAME.topic; refuses every advise; its\n"
    "                      window is topmost, first in the desktop's order\n"
    "  --service NAME      another service name (\"MRP40 SDR\")\n"
    "\n"
    "Initiates and conversations:\n"
    "  --late-initiate MS  sleeps MS inside the initiate before answering it\n"
    "  --answer-twice      answers each initiate from two conversation windows\n"
    "  --strict-client     ends a new conversation at once when the same client\n"
    "                      window's previous one has not finished its terminate\n"
    "  --refuse-advises N  acknowledges the first N advises negatively\n"
    "  --late-advise MS    answers each advise MS late (still pumping); dropped\n"
    "                      if the conversation ends first\n"
    "  --late-terminate MS answers a client's terminate MS late (still pumping)\n"
    "\n"
    "Executes (logger):\n"
    "  --command N         the execute the next option is about (default 1)\n"
    "  --never-ack         never acknowledges that execute\n"
    "  --ack-late MS       acknowledges it MS late, pumping meanwhile\n"
    "  --stall MS          pumps nothing for MS after it arrives, then acks it\n"
    "  --ack-late-negative MS  holds its ack at least MS, then sends it negative\n"
    "                      just before the ack of the first execute that arrives\n"
    "                      after that\n"
    "  --busy MS           from that execute on (after its stall, if any) answers\n"
    "                      every execute busy (fBusy, negative) for MS; one\n"
    "                      answered busy is not written to --out\n"
    "  --ack-no-handle     acknowledges every execute positively, with 0 in place\n"
    "                      of its command handle\n"
    "\n"
    "Values (decoder), published once an advise stands and --start-event is set:\n"
    "  --values N          N values P000001, P000002, ... (P: --prefix, default #)\n"
    "  --rate R            R values a second (default 0: full speed)\n"
    "  --ack-req 0|1       fAckReq of the data (default 0)\n"
    "  --release 0|1       fRelease of the data (default 1)\n"
    "  --format F --format-at N   value N in clipboard format F (a number)\n"
    "  --no-memory-at N    value N as a data message with no memory\n"
    "  --credits NAME      takes a unit of the named semaphore for each value: the\n"
    "                      test hands out units as values arrive, so the peer\n"
    "                      stays at most a window ahead of the gateway\n"
    "  --start-event NAME  waits for the named event before publishing\n"
    "  --quit-after        quits once every value is published (and acked)\n"
    "\n"
    "Output:\n"
    "  --out FILE          the logger's commands, one line each\n"
    "  --log FILE          \"<microseconds> <event> ...\" lines: open, reject, advise,\n"
    "                      advise-answer, execute, ack, ack-busy, ack-no-handle,\n"
    "                      noack, hold, late-negative, stall-end, data, dataack,\n"
    "                      unasked-ack (an ack of data sent without fAckReq),\n"
    "                      terminate (\"client\": the client's, first; \"answer\":\n"
    "                      its answer to ours), end\n"
    "  --quit-event NAME   quits when the named event is set\n"
    "  --run-ms MS         quits MS after start\n";

enum class Fault { kNone, kNeverAck, kAckLate, kStall, kAckLateNegative };

struct Options {
    enum Role { kDecoder, kLogger, kStranger } role = kDecoder;
    std::string service;
    std::string stranger;
    unsigned long lateInitiateMs = 0;
    bool answerTwice = false;
    bool strictClient = false;
    unsigned long refuseAdvises = 0;
    unsigned long lateAdviseMs = 0;
    unsigned long lateTerminateMs = 0;
    unsigned long command = 1;
    Fault fault = Fault::kNone;
    unsigned long faultMs = 0;
    unsigned long busyMs = 0;
    bool ackNoHandle = false;
    unsigned long values = 0;
    unsigned long rate = 0;
    std::string prefix = "#";
    bool ackReq = false;
    bool release = true;
    UINT format = CF_TEXT;
    unsigned long formatAt = 0;
    unsigned long noMemoryAt = 0;
    std::string startEvent;
    std::string credits;
    bool quitAfter = false;
    std::string out;
    std::string log;
};

Options g_options;
FILE* g_log = nullptr;
FILE* g_out = nullptr;
SimRun* g_run = nullptr;

void Log(const char* format, ...) {
    if (g_log == nullptr) {
        return;
    }
    std::fprintf(g_log, "%lld ", static_cast<long long>(NowMicroseconds()));
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(g_log, format, arguments);
    va_end(arguments);
    std::fputc('\n', g_log);
}

// The files are flushed whenever the peer is idle, not per line: under a
// flood a write per line would slow the peer below the gateway's pace.
void FlushFiles() {
    if (g_log != nullptr) {
        std::fflush(g_log);
    }
    if (g_out != nullptr) {
        std::fflush(g_out);
    }
}

std::string AtomName(ATOM atom) {
    char name[256] = {};
    return atom != 0 && GlobalGetAtomNameA(atom, name, sizeof name) > 0 ? name : "";
}

// An atom names what we serve when it is 0 (any) or the same name, letter
// case aside.
bool Names(ATOM atom, const std::string& name) {
    return atom == 0 || _stricmp(AtomName(atom).c_str(), name.c_str()) == 0;
}

struct Names3 {
    std::string service, topic, item;
};

Names3 Served() {
    if (g_options.role == Options::kStranger) {
        return {g_options.stranger, g_options.stranger + ".topic", g_options.stranger + ".item"};
    }
    Names3 names = g_options.role == Options::kLogger ? Names3{"Palavan", "DDEServer", "DDECommand"}
                                                      : Names3{"MRP40", "MRP40Form", "RXSymbol"};
    if (!g_options.service.empty()) {
        names.service = g_options.service;
    }
    return names;
}

struct SentData {
    HGLOBAL memory;
    bool release;
};

struct Conversation {
    int id = 0;
    HWND window = nullptr;
    HWND client = nullptr;
    bool advised = false;
    bool terminating = false;     // our terminate waits for its answer
    DWORD answerTerminateAt = 0;  // the client's terminate, answered late
    std::deque<SentData> awaitingAck;
};

std::vector<std::unique_ptr<Conversation>> g_conversations;
HWND g_listener = nullptr;
int g_lastId = 0;
unsigned long g_advises = 0;
unsigned long g_executes = 0;
constexpr char kConversationClass[] = "QuillonDdePeerConversation";
constexpr char kListenerClass[] = "QuillonDdePeer";

struct LateAck {
    HWND client;
    HWND window;
    HGLOBAL commands;
    DWORD due;
};
std::vector<LateAck> g_lateAcks;
// The ack --ack-late-negative holds (commands null: none).
LateAck g_held{};
// Executes are answered busy until this tick (--busy); 0: not.
DWORD g_busyUntil = 0;

struct LateAdvise {
    HWND window;  // the conversation's
    LPARAM lParam;
    HGLOBAL options;
    ATOM item;
    bool accept;
    DWORD due;
};
std::vector<LateAdvise> g_lateAdvises;

Conversation* Find(HWND window) {
    for (const auto& conversation : g_conversations) {
        if (conversation->window == window) {
            return conversation.get();
        }
    }
    return nullptr;
}

void Post(Conversation& c, UINT message, LPARAM lParam) {
    PostMessageA(c.client, message, reinterpret_cast<WPARAM>(c.window), lParam);
}

// The exchange is done: the conversation's window goes.
void End(Conversation& c) {
    Log("end %d", c.id);
    for (const SentData& data : c.awaitingAck) {
        GlobalFree(data.memory);
    }
    const HWND window = c.window;
    for (auto it = g_conversations.begin(); it != g_conversations.end(); ++it) {
        if (it->get() == &c) {
            g_conversations.erase(it);
            break;
        }
    }
    DestroyWindow(window);
}

void Terminate(Conversation& c) {
    if (!c.terminating) {
        c.terminating = true;
        Post(c, WM_DDE_TERMINATE, 0);
    }
}

Conversation* Open(HWND client) {
    auto conversation = std::make_unique<Conversation>();
    conversation->id = ++g_lastId;
    conversation->client = client;
    conversation->window = CreateWindowExA(0, kConversationClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                           nullptr, GetModuleHandleA(nullptr), nullptr);
    if (conversation->window == nullptr) {
        return nullptr;
    }
    g_conversations.push_back(std::move(conversation));
    return g_conversations.back().get();
}

void AnswerInitiate(HWND client) {
    const Names3 names = Served();
    bool unfinished = false;
    for (const auto& conversation : g_conversations) {
        unfinished = unfinished || (conversation->client == client &&
                                    (conversation->terminating || conversation->answerTerminateAt));
    }
    for (int answer = 0; answer < (g_options.answerTwice ? 2 : 1); ++answer) {
        Conversation* c = Open(client);
        if (c == nullptr) {
            return;
        }
        const ATOM service = GlobalAddAtomA(names.service.c_str());
        const ATOM topic = GlobalAddAtomA(names.topic.c_str());
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(c->window),
                                MAKELPARAM(service, topic), SMTO_NORMAL, 5000, &result) == 0 &&
            !IsWindow(client)) {
            GlobalDeleteAtom(service);
            GlobalDeleteAtom(topic);
            End(*c);
            continue;
        }
        Log("open %d client %p", c->id, static_cast<void*>(client));
        if (g_options.strictClient && unfinished) {
            Log("reject %d", c->id);
            Terminate(*c);
        }
    }
}

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_DDE_INITIATE) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    const HWND client = reinterpret_cast<HWND>(wParam);
    const Names3 names = Served();
    const bool ours = Names(LOWORD(lParam), names.service) && Names(HIWORD(lParam), names.topic);
    if (client == nullptr || (!ours && g_options.role != Options::kStranger)) {
        return 0;
    }
    if (g_options.lateInitiateMs > 0) {
        Sleep(g_options.lateInitiateMs);
    }
    AnswerInitiate(client);
    return 0;
}

void AckExecute(HWND client, HWND window, HGLOBAL commands, WORD status) {
    const LPARAM ack = PackDDElParam(WM_DDE_ACK, status, reinterpret_cast<UINT_PTR>(commands));
    if (!PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window), ack)) {
        FreeDDElParam(WM_DDE_ACK, ack);
    }
}

bool Due(DWORD due) {
    return static_cast<LONG>(GetTickCount() - due) >= 0;
}

void OnExecute(Conversation& c, HGLOBAL commands) {
    ++g_executes;
    std::string bytes;
    if (const char* text =
            commands != nullptr ? static_cast<const char*>(GlobalLock(commands)) : nullptr) {
        bytes.assign(text, strnlen(text, GlobalSize(commands)));
        GlobalUnlock(commands);
    }
    Log("execute %lu %s", g_executes, EscapeBytes(bytes).c_str());
    const bool logger = g_options.role == Options::kLogger;
    const bool chosen = g_executes == g_options.command;
    const Fault fault = chosen ? g_options.fault : Fault::kNone;
    if (fault == Fault::kStall) {
        FlushFiles();
        Sleep(g_options.faultMs);
        Log("stall-end %lu", g_executes);
    }
    if (chosen && g_options.busyMs > 0) {
        g_busyUntil = (GetTickCount() + g_options.busyMs) | 1;
    }
    if (g_busyUntil != 0 && !Due(g_busyUntil)) {
        AckExecute(c.client, c.window, commands, DDE_FBUSY);
        Log("ack-busy %lu", g_executes);
        return;
    }
    if (logger && g_out != nullptr) {
        std::fprintf(g_out, "%s\n", EscapeBytes(bytes).c_str());
    }
    if (g_held.commands != nullptr && Due(g_held.due)) {
        if (Find(g_held.window) != nullptr) {
            AckExecute(g_held.client, g_held.window, g_held.commands, 0);
            Log("late-negative %lu", g_options.command);
        }
        g_held = LateAck{};
    }
    if (fault == Fault::kNeverAck) {
        Log("noack %lu", g_executes);
        return;
    }
    if (fault == Fault::kAckLate || fault == Fault::kAckLateNegative) {
        const LateAck late{c.client, c.window, commands, GetTickCount() + g_options.faultMs};
        if (fault == Fault::kAckLate) {
            g_lateAcks.push_back(late);
        } else {
            g_held = late;
            Log("hold %lu", g_executes);
        }
        return;
    }
    if (g_options.ackNoHandle) {
        AckExecute(c.client, c.window, nullptr, DDE_FACK);
        Log("ack-no-handle %lu", g_executes);
        return;
    }
    AckExecute(c.client, c.window, commands, logger ? DDE_FACK : 0);
    Log("ack %lu %c", g_executes, logger ? '+' : '-');
}

// Answers an advise: its lParam becomes the ack's.
void AnswerAdvise(Conversation& c, const LateAdvise& advise) {
    const LPARAM ack = ReuseDDElParam(advise.lParam, WM_DDE_ADVISE, WM_DDE_ACK,
                                      advise.accept ? DDE_FACK : 0, advise.item);
    if (!PostMessageA(c.client, WM_DDE_ACK, reinterpret_cast<WPARAM>(c.window), ack)) {
        FreeDDElParam(WM_DDE_ACK, ack);
        GlobalDeleteAtom(advise.item);
    }
    if (advise.accept) {
        GlobalFree(advise.options);
        c.advised = true;
    }
}

// An advise left unanswered: nothing is posted after a terminate.
void DropAdvise(const LateAdvise& advise) {
    FreeDDElParam(WM_DDE_ADVISE, advise.lParam);
    GlobalDeleteAtom(advise.item);
    if (advise.accept) {
        GlobalFree(advise.options);
    }
}

void OnAdvise(Conversation& c, LPARAM lParam) {
    UINT_PTR memory = 0;
    UINT_PTR item = 0;
    UnpackDDElParam(WM_DDE_ADVISE, lParam, &memory, &item);
    const auto options = reinterpret_cast<HGLOBAL>(memory);
    bool accept = ++g_advises > g_options.refuseAdvises && g_options.role != Options::kStranger &&
                  Names(static_cast<ATOM>(item), Served().item) && item != 0;
    if (const auto* advise =
            options != nullptr ? static_cast<DDEADVISE*>(GlobalLock(options)) : nullptr) {
        accept = accept && advise->cfFormat == CF_TEXT;
        GlobalUnlock(options);
    } else {
        accept = false;
    }
    const LateAdvise advise{c.window, lParam,
                            options,  static_cast<ATOM>(item),
                            accept,   GetTickCount() + g_options.lateAdviseMs};
    Log("advise %d %c%s", c.id, accept ? '+' : '-', g_options.lateAdviseMs > 0 ? " late" : "");
    if (c.terminating) {
        DropAdvise(advise);
    } else if (g_options.lateAdviseMs > 0) {
        g_lateAdvises.push_back(advise);
    } else {
        AnswerAdvise(c, advise);
    }
}

void OnDataAck(Conversation& c, LPARAM lParam) {
    UINT_PTR status = 0;
    UINT_PTR item = 0;
    UnpackDDElParam(WM_DDE_ACK, lParam, &status, &item);
    FreeDDElParam(WM_DDE_ACK, lParam);
    if (item != 0) {
        GlobalDeleteAtom(static_cast<ATOM>(item));
    }
    const bool positive = (status & DDE_FACK) != 0;
    if (c.awaitingAck.empty()) {
        Log("unasked-ack %d %c", c.id, positive ? '+' : '-');
        return;
    }
    Log("dataack %d %c", c.id, positive ? '+' : '-');
    const SentData data = c.awaitingAck.front();
    c.awaitingAck.pop_front();
    if (!data.release || !positive) {
        GlobalFree(data.memory);
    }
}

void OnTerminate(Conversation& c) {
    if (c.terminating) {
        Log("terminate %d answer", c.id);
        End(c);
        return;
    }
    Log("terminate %d client", c.id);
    if (g_options.lateTerminateMs > 0) {
        c.answerTerminateAt = GetTickCount() + g_options.lateTerminateMs;
        return;
    }
    Post(c, WM_DDE_TERMINATE, 0);
    End(c);
}

LRESULT CALLBACK ConversationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Conversation* c = Find(window);
    if (c == nullptr || message < WM_DDE_FIRST || message > WM_DDE_LAST ||
        reinterpret_cast<HWND>(wParam) != c->client) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_DDE_EXECUTE:
            if (c->terminating) {
                Log("execute-after-terminate %d", c->id);
            } else {
                OnExecute(*c, reinterpret_cast<HGLOBAL>(lParam));
            }
            return 0;
        case WM_DDE_ADVISE:
            OnAdvise(*c, lParam);
            return 0;
        case WM_DDE_ACK:
            OnDataAck(*c, lParam);
            return 0;
        case WM_DDE_TERMINATE:
            OnTerminate(*c);
            return 0;
        default:
            Log("unexpected %d message %u", c->id, message);
            return 0;
    }
}

// Late acks, advise answers and terminate answers whose time has come.
void RunDue() {
    const DWORD now = GetTickCount();
    for (size_t i = 0; i < g_lateAdvises.size();) {
        const LateAdvise advise = g_lateAdvises[i];
        Conversation* c = Find(advise.window);
        const bool open = c != nullptr && !c->terminating && c->answerTerminateAt == 0;
        if (open && !Due(advise.due)) {
            ++i;
            continue;
        }
        g_lateAdvises.erase(g_lateAdvises.begin() + static_cast<std::ptrdiff_t>(i));
        if (open) {
            AnswerAdvise(*c, advise);
            Log("advise-answer %d", c->id);
        } else {
            DropAdvise(advise);
        }
    }
    for (size_t i = 0; i < g_lateAcks.size();) {
        const LateAck late = g_lateAcks[i];
        if (static_cast<LONG>(now - late.due) < 0) {
            ++i;
            continue;
        }
        g_lateAcks.erase(g_lateAcks.begin() + static_cast<std::ptrdiff_t>(i));
        if (Find(late.window) != nullptr) {
            AckExecute(late.client, late.window, late.commands, DDE_FACK);
            Log("ack %lu + late", g_options.command);
        }
    }
    for (size_t i = 0; i < g_conversations.size(); ++i) {
        Conversation& c = *g_conversations[i];
        if (c.answerTerminateAt != 0 && static_cast<LONG>(now - c.answerTerminateAt) >= 0) {
            Post(c, WM_DDE_TERMINATE, 0);
            End(c);
            return;  // the list changed; the rest wait for the next round
        }
    }
}

// Dispatches messages for up to `ms`; false once told to quit.
bool Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return false;
            }
            DispatchMessageA(&message);
        }
        RunDue();
        if (g_run->ShouldQuit()) {
            return false;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) {
            return true;
        }
        const DWORD left = ms - elapsed;
        FlushFiles();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? left : 10, QS_ALLINPUT);
    }
}

void Publish(unsigned long n) {
    char number[16];
    std::snprintf(number, sizeof number, "%06lu", n);
    const std::string value = g_options.prefix + number;
    const bool noMemory = n == g_options.noMemoryAt;
    const UINT format = n == g_options.formatAt ? g_options.format : CF_TEXT;
    for (const auto& conversation : g_conversations) {
        Conversation& c = *conversation;
        if (!c.advised || c.terminating || c.answerTerminateAt != 0) {
            continue;
        }
        HGLOBAL memory = nullptr;
        if (!noMemory) {
            memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE,
                                 offsetof(DDEDATA, Value) + value.size() + 1);
            auto* data = memory != nullptr ? static_cast<DDEDATA*>(GlobalLock(memory)) : nullptr;
            if (data == nullptr) {
                GlobalFree(memory);
                continue;
            }
            std::memset(data, 0, offsetof(DDEDATA, Value));
            data->fAckReq = g_options.ackReq ? 1 : 0;
            data->fRelease = g_options.release ? 1 : 0;
            data->cfFormat = static_cast<short>(format);
            std::memcpy(data->Value, value.c_str(), value.size() + 1);
            GlobalUnlock(memory);
        }
        const ATOM item = GlobalAddAtomA(Served().item.c_str());
        const LPARAM lParam = PackDDElParam(WM_DDE_DATA, reinterpret_cast<UINT_PTR>(memory), item);
        if (!PostMessageA(c.client, WM_DDE_DATA, reinterpret_cast<WPARAM>(c.window), lParam)) {
            FreeDDElParam(WM_DDE_DATA, lParam);
            GlobalDeleteAtom(item);
            GlobalFree(memory);
            continue;
        }
        Log("data %d %s%s", c.id, value.c_str(),
            noMemory ? " no-memory" : (format != CF_TEXT ? " other-format" : ""));
        if (memory != nullptr && g_options.ackReq) {
            c.awaitingAck.push_back({memory, g_options.release});
        }
        // Without fAckReq and fRelease nobody frees the block: it is left.
    }
}

size_t AwaitingAcks() {
    size_t count = 0;
    for (const auto& conversation : g_conversations) {
        count += conversation->awaitingAck.size();
    }
    return count;
}

bool Advised() {
    for (const auto& conversation : g_conversations) {
        if (conversation->advised && !conversation->terminating) {
            return true;
        }
    }
    return false;
}

// Publishes the values; false when told to quit first.
bool PublishAll() {
    while (!Advised()) {
        if (!Pump(20)) {
            return false;
        }
    }
    if (!g_options.startEvent.empty() &&
        !g_run->WaitForEvent(g_options.startEvent, [](DWORD ms) { return Pump(ms); })) {
        return false;
    }
    const HANDLE credits = g_options.credits.empty() ? nullptr
                                                     : CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF,
                                                                        g_options.credits.c_str());
    const DWORD start = GetTickCount();
    for (unsigned long n = 1; n <= g_options.values; ++n) {
        while (credits != nullptr && WaitForSingleObject(credits, 0) != WAIT_OBJECT_0) {
            if (!Pump(1)) {
                return false;
            }
        }
        if (g_options.rate > 0) {
            const DWORD due = start + static_cast<DWORD>((n - 1) * 1000 / g_options.rate);
            const LONG wait = static_cast<LONG>(due - GetTickCount());
            if (!Pump(wait > 0 ? static_cast<DWORD>(wait) : 0)) {
                return false;
            }
        } else if (!Pump(0)) {
            return false;
        }
        // A client that acknowledges is not run over: a few in flight at most.
        while (AwaitingAcks() >= 64) {
            if (!Pump(5)) {
                return false;
            }
        }
        Publish(n);
    }
    for (DWORD waited = 0; AwaitingAcks() > 0 && waited < 5000; waited += 10) {
        if (!Pump(10)) {
            return false;
        }
    }
    return true;
}

bool ParseOptions(int argc, char** argv, SimRun& run) {
    Options& o = g_options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long number = 0;
        const bool numeric = value != nullptr && ParseUnsigned(value, number);
        auto text = [&](std::string& target) {
            if (value != nullptr) {
                target = value;
                ++i;
            }
            return value != nullptr;
        };
        auto count = [&](unsigned long& target) {
            if (numeric) {
                target = number;
                ++i;
            }
            return numeric;
        };
        auto fault = [&](Fault kind) {
            o.fault = kind;
            return kind == Fault::kNeverAck || count(o.faultMs);
        };
        bool ok = true;
        std::string name;
        unsigned long flag = 0;
        if (option == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (option == "--decoder") {
            o.role = Options::kDecoder;
        } else if (option == "--logger") {
            o.role = Options::kLogger;
        } else if (option == "--stranger") {
            o.role = Options::kStranger;
            ok = text(o.stranger);
        } else if (option == "--service") {
            ok = text(o.service);
        } else if (option == "--late-initiate") {
            ok = count(o.lateInitiateMs);
        } else if (option == "--answer-twice") {
            o.answerTwice = true;
        } else if (option == "--strict-client") {
            o.strictClient = true;
        } else if (option == "--refuse-advises") {
            ok = count(o.refuseAdvises);
        } else if (option == "--late-advise") {
            ok = count(o.lateAdviseMs);
        } else if (option == "--late-terminate") {
            ok = count(o.lateTerminateMs);
        } else if (option == "--command") {
            ok = count(o.command);
        } else if (option == "--never-ack") {
            ok = fault(Fault::kNeverAck);
        } else if (option == "--ack-late") {
            ok = fault(Fault::kAckLate);
        } else if (option == "--stall") {
            ok = fault(Fault::kStall);
        } else if (option == "--ack-late-negative") {
            ok = fault(Fault::kAckLateNegative);
        } else if (option == "--busy") {
            ok = count(o.busyMs);
        } else if (option == "--ack-no-handle") {
            o.ackNoHandle = true;
        } else if (option == "--values") {
            ok = count(o.values);
        } else if (option == "--rate") {
            ok = count(o.rate);
        } else if (option == "--prefix") {
            ok = text(o.prefix);
        } else if (option == "--ack-req" || option == "--release") {
            ok = count(flag);
            (option == "--ack-req" ? o.ackReq : o.release) = flag != 0;
        } else if (option == "--format") {
            ok = count(flag);
            o.format = static_cast<UINT>(flag);
        } else if (option == "--format-at") {
            ok = count(o.formatAt);
        } else if (option == "--no-memory-at") {
            ok = count(o.noMemoryAt);
        } else if (option == "--start-event") {
            ok = text(o.startEvent);
        } else if (option == "--credits") {
            ok = text(o.credits);
        } else if (option == "--quit-after") {
            o.quitAfter = true;
        } else if (option == "--out") {
            ok = text(o.out);
        } else if (option == "--log") {
            ok = text(o.log);
        } else if (option == "--quit-event") {
            ok = text(name);
            run.SetQuitEvent(name);
        } else if (option == "--run-ms") {
            ok = count(flag);
            run.SetTimeLimit(flag);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "dde_peer: bad option %s (see --help)\n", option.c_str());
            return false;
        }
    }
    return true;
}

bool RegisterClasses() {
    WNDCLASSA listener{};
    listener.lpfnWndProc = &ListenerProc;
    listener.hInstance = GetModuleHandleA(nullptr);
    listener.lpszClassName = kListenerClass;
    WNDCLASSA conversation = listener;
    conversation.lpfnWndProc = &ConversationProc;
    conversation.lpszClassName = kConversationClass;
    return RegisterClassA(&listener) != 0 && RegisterClassA(&conversation) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    SimRun run;
    g_run = &run;
    if (!ParseOptions(argc, argv, run) || !RegisterClasses()) {
        return 2;
    }
    if (!g_options.log.empty() && (g_log = std::fopen(g_options.log.c_str(), "ab")) == nullptr) {
        std::fprintf(stderr, "dde_peer: cannot write %s\n", g_options.log.c_str());
        return 2;
    }
    if (!g_options.out.empty() && (g_out = std::fopen(g_options.out.c_str(), "ab")) == nullptr) {
        std::fprintf(stderr, "dde_peer: cannot write %s\n", g_options.out.c_str());
        return 2;
    }
    // A stranger's window is topmost, so that it is met first by a client
    // that initiates window by window in the desktop's order.
    const DWORD topmost = g_options.role == Options::kStranger ? WS_EX_TOPMOST : 0;
    g_listener = CreateWindowExA(WS_EX_TOOLWINDOW | topmost, kListenerClass, "dde_peer", WS_POPUP,
                                 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (g_listener == nullptr) {
        return 1;
    }
    const Names3 names = Served();
    std::fprintf(stderr, "dde_peer: serving %s|%s item %s\n", names.service.c_str(),
                 names.topic.c_str(), names.item.c_str());
    bool going = true;
    if (g_options.role == Options::kDecoder && g_options.values > 0) {
        going = PublishAll() && !g_options.quitAfter;
    }
    while (going && Pump(50)) {
    }
    // Ending: every conversation is terminated and its answer awaited briefly.
    DestroyWindow(g_listener);
    std::vector<Conversation*> open;
    for (const auto& conversation : g_conversations) {
        open.push_back(conversation.get());
    }
    for (Conversation* c : open) {
        if (c->answerTerminateAt != 0) {
            Post(*c, WM_DDE_TERMINATE, 0);  // the late answer, now
            End(*c);
        } else {
            Terminate(*c);
        }
    }
    g_run = nullptr;
    SimRun closing;
    closing.SetTimeLimit(1000);
    g_run = &closing;
    while (!g_conversations.empty() && Pump(10)) {
    }
    for (const LateAdvise& advise : g_lateAdvises) {
        DropAdvise(advise);
    }
    if (g_log != nullptr) {
        std::fclose(g_log);
    }
    if (g_out != nullptr) {
        std::fclose(g_out);
    }
    return 0;
}
