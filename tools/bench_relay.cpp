// bench_relay: the bare hops the gateway is measured against. Each holds the
// same two DDE conversations as the gateway (hot link on the decoder's
// "RXSymbol", executes on the logger's command server) and does nothing
// else: no status, no error log, no substitution, no retry of a refused
// command. Two ways to speak DDE:
//   default  DDEML, each execute a transaction that waits for its answer;
//   --plain  plain WM_DDE_* messages, as the gateway's link speaks them (the
//            packing of win32/DdeWire.h): each execute is posted and the
//            next one goes when its ack has come.

#include <windows.h>
// dde.h and ddeml.h need the types of windows.h declared first.
#include <dde.h>
#include <ddeml.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "SimRun.h"
#include "win32/DdeWire.h"

namespace {

using quillon::tools::SimRun;

// The values of the hot link not yet sent on; empty ones are dropped.
std::deque<std::string> g_values;

void KeepValue(std::string value) {
    if (!value.empty()) {
        g_values.push_back(std::move(value));
    }
}

// Dispatches every waiting message, after waiting up to `milliseconds` for one.
void Pump(DWORD milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

namespace ddeml {

DWORD g_thread = 0;

HDDEDATA CALLBACK OnDde(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    if (type != XTYP_ADVDATA) {
        return nullptr;
    }
    DWORD size = 0;
    const BYTE* bytes = DdeAccessData(data, &size);
    if (bytes != nullptr) {
        const void* nul = std::memchr(bytes, 0, size);
        const size_t length =
            nul != nullptr ? static_cast<size_t>(static_cast<const BYTE*>(nul) - bytes) : size;
        KeepValue(std::string(reinterpret_cast<const char*>(bytes), length));
        DdeUnaccessData(data);
    }
    // No transaction may start inside the callback: hand over to the loop.
    PostThreadMessageA(g_thread, WM_APP, 0, 0);
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

HCONV Connect(DWORD instance, const char* service, const char* topic) {
    HSZ s = DdeCreateStringHandleA(instance, service, CP_WINANSI);
    HSZ t = DdeCreateStringHandleA(instance, topic, CP_WINANSI);
    HCONV conversation = DdeConnect(instance, s, t, nullptr);
    DdeFreeStringHandle(instance, s);
    DdeFreeStringHandle(instance, t);
    return conversation;
}

int Relay(const SimRun& run) {
    g_thread = GetCurrentThreadId();
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // create the queue
    DWORD instance = 0;
    if (DdeInitializeA(&instance, &OnDde, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        return 1;
    }
    HCONV decoder = nullptr;
    HCONV logger = nullptr;
    // The gateway's attempts: every 500 ms "MRP40", then "MRP40 SDR", and
    // "Palavan", so an idle relay is the baseline of an idle gateway.
    while ((decoder == nullptr || logger == nullptr) && !run.ShouldQuit()) {
        if (decoder == nullptr) {
            decoder = Connect(instance, "MRP40", "MRP40Form");
        }
        if (decoder == nullptr) {
            decoder = Connect(instance, "MRP40 SDR", "MRP40Form");
        }
        if (logger == nullptr) {
            logger = Connect(instance, "Palavan", "DDEServer");
        }
        Sleep(500);
    }
    HSZ item = DdeCreateStringHandleA(instance, "RXSymbol", CP_WINANSI);
    if (decoder == nullptr || DdeClientTransaction(nullptr, 0, decoder, item, CF_TEXT,
                                                   XTYP_ADVSTART, 5000, nullptr) == nullptr) {
        return 1;
    }
    std::fprintf(stderr, "bench_relay: linked\n");
    while (!run.ShouldQuit()) {
        Pump(100);
        while (!g_values.empty()) {
            std::string command = "006displaycw" + g_values.front();
            g_values.pop_front();
            DdeClientTransaction(reinterpret_cast<LPBYTE>(command.data()),
                                 static_cast<DWORD>(command.size() + 1), logger, nullptr, CF_TEXT,
                                 XTYP_EXECUTE, 5000, nullptr);
        }
    }
    DdeFreeStringHandle(instance, item);
    DdeUninitialize(instance);
    return 0;
}

}  // namespace ddeml

namespace plain {

namespace wire = quillon::win32::ddewire;
namespace dde = quillon::dde;

// One conversation: our client window (hidden, top-level: a server answers
// an initiate by sending to it) and the server's window once one answered.
struct Conversation {
    HWND window = nullptr;
    HWND server = nullptr;
    std::string service;
    std::string topic;
    bool initiating = false;
    bool terminating = false;  // our terminate waits for its answer
};

struct Advise {
    dde::Block options = 0;
    dde::Atom item = 0;
};

Conversation g_decoder;
Conversation g_logger;
wire::Win32Wire g_wire("BenchRelayConversation", nullptr);  // posts, blocks and atoms
std::optional<Advise> g_advise;
std::optional<bool> g_adviseAccepted;
dde::Block g_execute = 0;  // the execute that waits for its ack

// Posts the next value's execute unless one waits for its ack.
void SendNext() {
    while (g_execute == 0 && !g_values.empty() && g_logger.server != nullptr) {
        dde::Block command = g_wire.NewExecute("006displaycw" + g_values.front());
        g_values.pop_front();
        if (command != 0 && !g_wire.PostExecute(wire::FromHwnd(g_logger.server),
                                                wire::FromHwnd(g_logger.window), command)) {
            g_wire.FreeBlock(command);
            command = 0;
        }
        g_execute = command;
    }
}

// The first server with our names is taken; any other answer gets a terminate.
void OnInitiateAnswer(Conversation& c, HWND server, LPARAM lParam) {
    const dde::InitiateAnswer answer = wire::ReadInitiateAnswer(lParam);
    for (const dde::Atom atom : {answer.service, answer.topic}) {
        if (atom != 0) {
            g_wire.DeleteAtom(atom);
        }
    }
    const bool match = lstrcmpiA(answer.serviceName.c_str(), c.service.c_str()) == 0 &&
                       lstrcmpiA(answer.topicName.c_str(), c.topic.c_str()) == 0;
    if (c.initiating && c.server == nullptr && match) {
        c.server = server;
    } else if (server != c.server) {
        g_wire.PostTerminate(wire::FromHwnd(server), wire::FromHwnd(c.window));
    }
}

void OnAck(Conversation& c, HWND from, const dde::Ack& ack) {
    if (from == c.server && g_advise && &c == &g_decoder && ack.carried == g_advise->item) {
        g_wire.DeleteAtom(g_advise->item);
        if (!ack.positive) {
            g_wire.FreeBlock(g_advise->options);
        }
        g_advise.reset();
        g_adviseAccepted = ack.positive;
    } else if (from == c.server && g_execute != 0 && &c == &g_logger && ack.carried == g_execute) {
        g_wire.FreeBlock(g_execute);
        g_execute = 0;
        SendNext();
    } else if (dde::IsStringAtom(ack.carried)) {
        g_wire.DeleteAtom(static_cast<dde::Atom>(ack.carried));
    }
}

void OnData(Conversation& c, HWND from, LPARAM lParam) {
    const dde::Data data = wire::ReadData(lParam);
    g_wire.BeginData(lParam);
    const bool partner = &c == &g_decoder && from == c.server && !c.terminating;
    const bool accepted = partner && data.text;
    if (accepted) {
        KeepValue(data.value);
    }
    const bool acknowledged =
        partner && data.block != 0 && data.ackRequested &&
        g_wire.PostDataAck(wire::FromHwnd(from), wire::FromHwnd(c.window), accepted, data.item);
    if (!acknowledged && data.item != 0) {
        g_wire.DeleteAtom(data.item);
    }
    if (data.block != 0 && data.release && (accepted || !acknowledged)) {
        g_wire.FreeBlock(data.block);
    }
    g_wire.EndData();
    SendNext();
    g_wire.FlushDeletes();
}

void OnTerminate(Conversation& c, HWND from) {
    if (from != c.server) {
        return;
    }
    if (!c.terminating) {
        g_wire.PostTerminate(wire::FromHwnd(from), wire::FromHwnd(c.window));
    }
    c.server = nullptr;
    if (&c == &g_logger && g_execute != 0) {
        g_wire.FreeBlock(g_execute);  // no ack will come: the memory is ours again
        g_execute = 0;
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Conversation* c = window == g_decoder.window  ? &g_decoder
                      : window == g_logger.window ? &g_logger
                                                  : nullptr;
    const HWND from = reinterpret_cast<HWND>(wParam);
    if (c == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_DDE_ACK:
            // Only the server we took posts to us: any other ack answers an
            // initiate.
            if (c->initiating || from != c->server) {
                OnInitiateAnswer(*c, from, lParam);
            } else {
                OnAck(*c, from, wire::TakeAck(lParam));
            }
            return 0;
        case WM_DDE_DATA:
            OnData(*c, from, lParam);
            return 0;
        case WM_DDE_TERMINATE:
            OnTerminate(*c, from);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Offers the conversation to every top-level window at once, as a plain
// client does; each gets a second to answer.
bool Initiate(Conversation& c, const char* service, const char* topic) {
    c.service = service;
    c.topic = topic;
    c.initiating = true;
    const dde::Atom serviceAtom = g_wire.AddAtom(service);
    const dde::Atom topicAtom = g_wire.AddAtom(topic);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(c.window),
                        MAKELPARAM(serviceAtom, topicAtom), SMTO_ABORTIFHUNG, 1000, &result);
    g_wire.DeleteAtom(serviceAtom);
    g_wire.DeleteAtom(topicAtom);
    c.initiating = false;
    return c.server != nullptr;
}

int Relay(const SimRun& run) {
    // An ANSI class: the server reads our executes as single-byte text.
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "BenchRelayConversation";
    RegisterClassA(&windowClass);
    for (Conversation* c : {&g_decoder, &g_logger}) {
        c->window = CreateWindowExA(WS_EX_TOOLWINDOW, windowClass.lpszClassName, "", WS_POPUP, 0, 0,
                                    0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
        if (c->window == nullptr) {
            return 1;
        }
    }
    // The same attempts as the DDEML relay's, pumping in between.
    while ((g_decoder.server == nullptr || g_logger.server == nullptr) && !run.ShouldQuit()) {
        if (g_decoder.server == nullptr && !Initiate(g_decoder, "MRP40", "MRP40Form")) {
            Initiate(g_decoder, "MRP40 SDR", "MRP40Form");
        }
        if (g_logger.server == nullptr) {
            Initiate(g_logger, "Palavan", "DDEServer");
        }
        Pump(500);
    }
    if (g_decoder.server == nullptr) {
        return 1;
    }
    const Advise advise{g_wire.NewAdvise(), g_wire.AddAtom("RXSymbol")};
    if (advise.options == 0 ||
        !g_wire.PostAdvise(wire::FromHwnd(g_decoder.server), wire::FromHwnd(g_decoder.window),
                           advise.options, advise.item)) {
        return 1;
    }
    g_advise = advise;
    const DWORD asked = GetTickCount();
    while (!g_adviseAccepted && GetTickCount() - asked < 5000 && !run.ShouldQuit()) {
        Pump(100);
    }
    if (!g_adviseAccepted.value_or(false)) {
        return 1;
    }
    std::fprintf(stderr, "bench_relay: linked\n");
    while (!run.ShouldQuit()) {
        Pump(100);
    }
    // Our terminates, and up to a second for their answers.
    for (Conversation* c : {&g_decoder, &g_logger}) {
        if (c->server != nullptr) {
            g_wire.PostTerminate(wire::FromHwnd(c->server), wire::FromHwnd(c->window));
            c->terminating = true;
        }
    }
    const DWORD ending = GetTickCount();
    while ((g_decoder.server != nullptr || g_logger.server != nullptr) &&
           GetTickCount() - ending < 1000) {
        Pump(100);
    }
    return 0;
}

}  // namespace plain

}  // namespace

int main(int argc, char** argv) {
    SimRun run;
    bool plainMessages = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quit-event") == 0 && i + 1 < argc) {
            run.SetQuitEvent(argv[++i]);
        } else if (std::strcmp(argv[i], "--plain") == 0) {
            plainMessages = true;
        } else {
            std::fputs(
                "usage: bench_relay [--plain] [--quit-event NAME]\n"
                "Relays each value of MRP40|MRP40Form!RXSymbol to Palavan|DDEServer as one\n"
                "execute \"006displaycw\" + value, and nothing else: through DDEML, or with\n"
                "--plain through plain DDE messages, one execute at a time.\n",
                std::strcmp(argv[i], "--help") == 0 ? stdout : stderr);
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    return plainMessages ? plain::Relay(run) : ddeml::Relay(run);
}
