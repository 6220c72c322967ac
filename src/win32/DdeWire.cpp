#include "win32/DdeWire.h"

#include <dde.h>
// The acknowledgement flags DDE_FACK and DDE_FBUSY.
#include <ddeml.h>

#include <cstddef>
#include <cstring>

namespace quillon::win32::ddewire {

namespace {

HGLOBAL ToMemory(dde::Block block) {
    return reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(block));
}

dde::Block FromMemory(HGLOBAL memory) {
    return reinterpret_cast<uintptr_t>(memory);
}

std::string AtomName(ATOM atom) {
    char text[256];
    const UINT length = atom != 0 ? GlobalGetAtomNameA(atom, text, sizeof(text)) : 0;
    return std::string(text, length);
}

// The CF_TEXT value of a DDEDATA block: up to the first NUL, never past the
// block's size (a server that sends no NUL ends at the data size).
std::string ReadText(HGLOBAL memory, const BYTE* data) {
    const SIZE_T total = GlobalSize(memory);
    const size_t header = offsetof(DDEDATA, Value);
    const size_t size = total > header ? total - header : 0;
    const BYTE* bytes = data + header;
    const void* nul = size != 0 ? std::memchr(bytes, 0, size) : nullptr;
    const size_t length =
        nul != nullptr ? static_cast<size_t>(static_cast<const BYTE*>(nul) - bytes) : size;
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

}  // namespace

dde::InitiateAnswer ReadInitiateAnswer(LPARAM lParam) {
    dde::InitiateAnswer answer;
    answer.service = LOWORD(lParam);
    answer.topic = HIWORD(lParam);
    answer.serviceName = AtomName(answer.service);
    answer.topicName = AtomName(answer.topic);
    return answer;
}

dde::Ack TakeAck(LPARAM lParam) {
    UINT_PTR status = 0;
    UINT_PTR carried = 0;
    UnpackDDElParam(WM_DDE_ACK, lParam, &status, &carried);
    FreeDDElParam(WM_DDE_ACK, lParam);
    dde::Ack ack;
    ack.positive = (status & DDE_FACK) != 0;
    ack.busy = (status & DDE_FBUSY) != 0;
    ack.carried = carried;
    return ack;
}

dde::Data ReadData(LPARAM lParam) {
    UINT_PTR memory = 0;
    UINT_PTR item = 0;
    UnpackDDElParam(WM_DDE_DATA, lParam, &memory, &item);
    dde::Data data;
    data.block = memory;
    data.item = static_cast<dde::Atom>(item);
    const HGLOBAL handle = ToMemory(data.block);
    const auto* bytes = handle != nullptr ? static_cast<const BYTE*>(GlobalLock(handle)) : nullptr;
    if (bytes != nullptr) {
        const auto* header = reinterpret_cast<const DDEDATA*>(bytes);
        data.text = header->cfFormat == CF_TEXT;
        data.ackRequested = header->fAckReq != 0;
        data.release = header->fRelease != 0;
        if (data.text) {
            data.value = ReadText(handle, bytes);
        }
        GlobalUnlock(handle);
    }
    return data;
}

dde::Window Win32Wire::NewWindow() {
    // Hidden and top-level (a server answers an initiate by sending to it,
    // so it cannot be message-only); WS_EX_TOOLWINDOW keeps it off the task
    // list.
    const HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, windowClass_, "", WS_POPUP, 0, 0, 0, 0,
                                        nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr) {
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner_));
    }
    return FromHwnd(window);
}

void Win32Wire::DestroyWindow(dde::Window window) {
    SetWindowLongPtrA(ToHwnd(window), GWLP_USERDATA, 0);
    ::DestroyWindow(ToHwnd(window));
}

bool Win32Wire::WindowAlive(dde::Window window) {
    return IsWindow(ToHwnd(window)) != FALSE;
}

dde::Atom Win32Wire::AddAtom(const std::string& name) {
    return GlobalAddAtomA(name.c_str());
}

void Win32Wire::DeleteAtom(dde::Atom atom) {
    if (deferDeletes_) {
        deletes_.push_back(atom);
    } else {
        GlobalDeleteAtom(atom);
    }
}

dde::Block Win32Wire::NewAdvise() {
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(DDEADVISE));
    auto* options = memory != nullptr ? static_cast<DDEADVISE*>(GlobalLock(memory)) : nullptr;
    if (options == nullptr) {
        GlobalFree(memory);
        return 0;
    }
    // CF_TEXT, the data in every update (no fDeferUpd), no ack asked of us.
    std::memset(options, 0, sizeof(DDEADVISE));
    options->cfFormat = CF_TEXT;
    GlobalUnlock(memory);
    return FromMemory(memory);
}

dde::Block Win32Wire::NewExecute(const std::string& command) {
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, command.size() + 1);
    void* bytes = memory != nullptr ? GlobalLock(memory) : nullptr;
    if (bytes == nullptr) {
        GlobalFree(memory);
        return 0;
    }
    std::memcpy(bytes, command.c_str(), command.size() + 1);
    GlobalUnlock(memory);
    return FromMemory(memory);
}

void Win32Wire::FreeBlock(dde::Block block) {
    GlobalFree(ToMemory(block));
}

bool Win32Wire::PostAdvise(dde::Window to, dde::Window from, dde::Block options, dde::Atom item) {
    const LPARAM packed = PackDDElParam(WM_DDE_ADVISE, static_cast<UINT_PTR>(options), item);
    if (PostMessageA(ToHwnd(to), WM_DDE_ADVISE, static_cast<WPARAM>(from), packed)) {
        return true;
    }
    FreeDDElParam(WM_DDE_ADVISE, packed);
    return false;
}

bool Win32Wire::PostExecute(dde::Window to, dde::Window from, dde::Block command) {
    // An execute's lParam is the command's handle itself, not packed.
    return PostMessageA(ToHwnd(to), WM_DDE_EXECUTE, static_cast<WPARAM>(from),
                        static_cast<LPARAM>(command)) != FALSE;
}

bool Win32Wire::PostTerminate(dde::Window to, dde::Window from) {
    return PostMessageA(ToHwnd(to), WM_DDE_TERMINATE, static_cast<WPARAM>(from), 0) != FALSE;
}

bool Win32Wire::PostDataAck(dde::Window to, dde::Window from, bool positive, dde::Atom item) {
    if (dataKind_ == 0) {
        return false;
    }
    const LPARAM ack = ReuseDDElParam(data_, dataKind_, WM_DDE_ACK, positive ? DDE_FACK : 0, item);
    if (PostMessageA(ToHwnd(to), WM_DDE_ACK, static_cast<WPARAM>(from), ack)) {
        dataKind_ = 0;  // the pair went with the ack
        return true;
    }
    data_ = ack;  // not delivered: the pair is still ours
    dataKind_ = WM_DDE_ACK;
    return false;
}

void Win32Wire::BeginData(LPARAM lParam) {
    data_ = lParam;
    dataKind_ = WM_DDE_DATA;
    deferDeletes_ = true;
}

void Win32Wire::EndData() {
    if (dataKind_ != 0) {
        FreeDDElParam(dataKind_, data_);
    }
    dataKind_ = 0;
    deferDeletes_ = false;
}

void Win32Wire::FlushDeletes() {
    for (const dde::Atom atom : deletes_) {
        GlobalDeleteAtom(atom);
    }
    deletes_.clear();
}

}  // namespace quillon::win32::ddewire
