#include "SimServer.h"

#include <cstdio>
#include <vector>

namespace quillon::tools {

namespace {
// DDEML callbacks carry no context; a simulator runs one server.
SimServer* g_server = nullptr;
}  // namespace

SimServer::~SimServer() {
    if (instance_ != 0) {
        // Unregistering and uninitialising terminates every conversation, so
        // clients see an orderly close.
        DdeNameService(instance_, service_, nullptr, DNS_UNREGISTER);
        DdeFreeStringHandle(instance_, service_);
        DdeFreeStringHandle(instance_, topic_);
        DdeUninitialize(instance_);
    }
    if (connectLog_ != nullptr) {
        std::fclose(connectLog_);
    }
    g_server = nullptr;
}

bool SimServer::LogConnectsTo(const std::string& path) {
    connectLog_ = std::fopen(path.c_str(), "wb");
    return connectLog_ != nullptr;
}

// The client's process, found from its conversation window.
void SimServer::LogConnect(HCONV conversation) {
    if (connectLog_ == nullptr) {
        return;
    }
    CONVINFO info{};
    info.cb = sizeof(info);
    DWORD processId = 0;
    if (DdeQueryConvInfo(conversation, QID_SYNC, &info) != 0) {
        GetWindowThreadProcessId(info.hwndPartner, &processId);
    }
    std::fprintf(connectLog_, "%lu\n", static_cast<unsigned long>(processId));
    std::fflush(connectLog_);
}

bool SimServer::Start(const std::string& service, const std::string& topic) {
    g_server = this;
    const UINT result =
        DdeInitializeA(&instance_, &SimServer::Callback,
                       APPCMD_FILTERINITS | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS, 0);
    if (result != DMLERR_NO_ERROR) {
        std::fprintf(stderr, "DdeInitialize failed: 0x%x\n", result);
        instance_ = 0;
        return false;
    }
    service_ = DdeCreateStringHandleA(instance_, service.c_str(), CP_WINANSI);
    topic_ = DdeCreateStringHandleA(instance_, topic.c_str(), CP_WINANSI);
    if (DdeNameService(instance_, service_, nullptr, DNS_REGISTER) == nullptr) {
        std::fprintf(stderr, "DdeNameService failed: 0x%x\n", DdeGetLastError(instance_));
        return false;
    }
    return true;
}

void SimServer::PostAdvise(const std::string& item) {
    HSZ handle = DdeCreateStringHandleA(instance_, item.c_str(), CP_WINANSI);
    DdePostAdvise(instance_, topic_, handle);
    DdeFreeStringHandle(instance_, handle);
}

bool SimServer::Pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return false;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) {
            return true;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

std::string SimServer::Name(HSZ handle) const {
    char buffer[256] = {};
    DdeQueryStringA(instance_, handle, buffer, sizeof(buffer), CP_WINANSI);
    return buffer;
}

HDDEDATA CALLBACK SimServer::Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                      HSZ hsz2, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    if (g_server == nullptr) {
        return nullptr;
    }
    return g_server->Handle(type, format, conversation, hsz1, hsz2, data);
}

HDDEDATA SimServer::Handle(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                           HDDEDATA data) {
    switch (type) {
        case XTYP_CONNECT: {
            const bool ours =
                DdeCmpStringHandles(hsz1, topic_) == 0 && DdeCmpStringHandles(hsz2, service_) == 0;
            return reinterpret_cast<HDDEDATA>(static_cast<UINT_PTR>(ours && AcceptConnect()));
        }
        case XTYP_CONNECT_CONFIRM:
            ++conversations_;
            LogConnect(conversation);
            return nullptr;
        case XTYP_DISCONNECT:
            --conversations_;
            return nullptr;
        case XTYP_ADVSTART: {
            const bool accept = format == CF_TEXT && AcceptAdvise(Name(hsz2));
            if (accept) {
                ++adviseLoops_;
            }
            return reinterpret_cast<HDDEDATA>(static_cast<UINT_PTR>(accept));
        }
        case XTYP_ADVSTOP:
            --adviseLoops_;
            return nullptr;
        case XTYP_ADVREQ:
        case XTYP_REQUEST: {
            if (format != CF_TEXT) {
                return nullptr;
            }
            const std::string bytes = ItemData(Name(hsz2));
            return DdeCreateDataHandle(instance_,
                                       reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data())),
                                       static_cast<DWORD>(bytes.size()), 0, hsz2, DataFormat(), 0);
        }
        case XTYP_EXECUTE: {
            const DWORD size = DdeGetData(data, nullptr, 0, 0);
            std::string bytes(size, '\0');
            if (size > 0) {
                DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), size, 0);
            }
            return reinterpret_cast<HDDEDATA>(static_cast<UINT_PTR>(Execute(bytes)));
        }
        default:
            return nullptr;
    }
}

}  // namespace quillon::tools
