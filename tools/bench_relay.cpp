// bench_relay: the bare hop the gateway is measured against. It holds the
// same two DDE conversations as the gateway (hot link on the decoder's
// "RXSymbol", executes on the logger's command server) and does nothing
// else: no window, no status, no error log, no substitution.

#include <windows.h>
// ddeml.h needs the types of windows.h declared first.
#include <ddeml.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "SimRun.h"

namespace {

std::deque<std::string> g_values;
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
        g_values.emplace_back(reinterpret_cast<const char*>(bytes), length);
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

}  // namespace

int main(int argc, char** argv) {
    quillon::tools::SimRun run;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quit-event") == 0 && i + 1 < argc) {
            run.SetQuitEvent(argv[++i]);
        } else {
            std::fputs(
                "usage: bench_relay [--quit-event NAME]\n"
                "Relays each value of MRP40|MRP40Form!RXSymbol to Palavan|DDEServer as one\n"
                "execute \"006displaycw\" + value, and nothing else.\n",
                std::strcmp(argv[i], "--help") == 0 ? stdout : stderr);
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
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
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        while (!g_values.empty()) {
            std::string command = "006displaycw" + g_values.front();
            g_values.pop_front();
            if (command.size() > 12) {
                DdeClientTransaction(reinterpret_cast<LPBYTE>(command.data()),
                                     static_cast<DWORD>(command.size() + 1), logger, nullptr,
                                     CF_TEXT, XTYP_EXECUTE, 5000, nullptr);
            }
        }
    }
    DdeFreeStringHandle(instance, item);
    DdeUninitialize(instance);
    return 0;
}
