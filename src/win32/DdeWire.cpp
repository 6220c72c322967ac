#include "win32/DdeWire.h"

#include <dde.h>
// The acknowledgement flags DDE_FACK and DDE_FBUSY.
#include <ddeml.h>

#include <cstddef>
#include <cstring>

namespace quillon::win32::ddewire {

namespace {

// String atoms lie in 0xC000-0xFFFF; a command handle never does.
bool IsStringAtom(UINT_PTR value) {
    return value >= 0xC000 && value <= 0xFFFF;
}

// Whether `atom` names `name`, letters compared without regard to case as
// the atom table compares them. Atom 0 asked for nothing: any name.
bool AtomNames(ATOM atom, const std::string& name) {
    if (name.empty()) {
        return true;
    }
    char text[256];
    const UINT length = atom != 0 ? GlobalGetAtomNameA(atom, text, sizeof(text)) : 0;
    if (length != name.size()) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        const auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; };
        if (fold(text[i]) != fold(name[i])) {
            return false;
        }
    }
    return true;
}

ATOM AddAtom(const std::string& name) {
    return name.empty() ? 0 : GlobalAddAtomA(name.c_str());
}

void DeleteAtom(ATOM atom) {
    if (atom != 0) {
        GlobalDeleteAtom(atom);
    }
}

}  // namespace

void PostTerminate(HWND to, HWND from) {
    PostMessageA(to, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(from), 0);
}

InitiateNames::InitiateNames(const std::string& service, const std::string& topic)
    : service_(AddAtom(service)), topic_(AddAtom(topic)) {}

InitiateNames::~InitiateNames() {
    DeleteAtom(service_);
    DeleteAtom(topic_);
}

bool TakeInitiateAnswer(LPARAM names, const std::string& service, const std::string& topic) {
    const ATOM serviceAtom = LOWORD(names);
    const ATOM topicAtom = HIWORD(names);
    const bool match = AtomNames(serviceAtom, service) && AtomNames(topicAtom, topic);
    DeleteAtom(serviceAtom);
    DeleteAtom(topicAtom);
    return match;
}

bool PostAdvise(HWND to, HWND from, const std::string& item, Advise& posted) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(DDEADVISE));
    auto* options = memory != nullptr ? static_cast<DDEADVISE*>(GlobalLock(memory)) : nullptr;
    if (options == nullptr) {
        GlobalFree(memory);
        return false;
    }
    std::memset(options, 0, sizeof(DDEADVISE));
    options->cfFormat = CF_TEXT;
    GlobalUnlock(memory);
    const ATOM atom = AddAtom(item);
    const LPARAM packed = PackDDElParam(WM_DDE_ADVISE, reinterpret_cast<UINT_PTR>(memory), atom);
    if (!PostMessageA(to, WM_DDE_ADVISE, reinterpret_cast<WPARAM>(from), packed)) {
        FreeDDElParam(WM_DDE_ADVISE, packed);
        GlobalFree(memory);
        DeleteAtom(atom);
        return false;
    }
    posted = Advise{memory, atom};
    return true;
}

void SettleAdvise(const Advise& advise, bool positive) {
    DeleteAtom(advise.item);
    if (!positive) {
        GlobalFree(advise.options);
    }
}

HGLOBAL NewExecute(const std::string& command) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, command.size() + 1);
    void* bytes = memory != nullptr ? GlobalLock(memory) : nullptr;
    if (bytes == nullptr) {
        GlobalFree(memory);
        return nullptr;
    }
    std::memcpy(bytes, command.c_str(), command.size() + 1);
    GlobalUnlock(memory);
    return memory;
}

bool PostExecute(HWND to, HWND from, HGLOBAL command) {
    return PostMessageA(to, WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(from),
                        reinterpret_cast<LPARAM>(command)) != FALSE;
}

bool Ack::Positive() const {
    return (status & DDE_FACK) != 0;
}

bool Ack::Busy() const {
    return (status & DDE_FBUSY) != 0;
}

Ack TakeAck(LPARAM lParam) {
    Ack ack;
    UnpackDDElParam(WM_DDE_ACK, lParam, &ack.status, &ack.carried);
    FreeDDElParam(WM_DDE_ACK, lParam);
    return ack;
}

void DropAck(const Ack& ack) {
    if (IsStringAtom(ack.carried)) {
        GlobalDeleteAtom(static_cast<ATOM>(ack.carried));
    }
}

ReceivedData::ReceivedData(LPARAM lParam) : lParam_(lParam) {
    UINT_PTR memory = 0;
    UINT_PTR item = 0;
    UnpackDDElParam(WM_DDE_DATA, lParam, &memory, &item);
    memory_ = reinterpret_cast<HGLOBAL>(memory);
    item_ = static_cast<ATOM>(item);
    const auto* data =
        memory_ != nullptr ? static_cast<const DDEDATA*>(GlobalLock(memory_)) : nullptr;
    if (data != nullptr) {
        format_ = static_cast<UINT>(data->cfFormat);
        ackRequested_ = data->fAckReq != 0;
        release_ = data->fRelease != 0;
        GlobalUnlock(memory_);
    }
}

ReceivedData::~ReceivedData() {
    if (!acknowledged_) {
        FreeDDElParam(WM_DDE_DATA, lParam_);
        DeleteAtom(item_);
    }
}

std::string ReceivedData::Text() const {
    const auto* data = static_cast<const BYTE*>(GlobalLock(memory_));
    if (data == nullptr) {
        return std::string();
    }
    const SIZE_T total = GlobalSize(memory_);
    const size_t header = offsetof(DDEDATA, Value);
    const size_t size = total > header ? total - header : 0;
    const BYTE* bytes = data + header;
    // CF_TEXT ends at the first NUL; a server that sends no NUL ends at the
    // data size.
    const void* nul = size != 0 ? std::memchr(bytes, 0, size) : nullptr;
    const size_t length =
        nul != nullptr ? static_cast<size_t>(static_cast<const BYTE*>(nul) - bytes) : size;
    std::string text(reinterpret_cast<const char*>(bytes), length);
    GlobalUnlock(memory_);
    return text;
}

void ReceivedData::Answer(HWND server, HWND self, bool partner, bool accepted) {
    const bool acknowledge = ackRequested_ && partner;
    if (acknowledge) {
        const LPARAM ack =
            ReuseDDElParam(lParam_, WM_DDE_DATA, WM_DDE_ACK, accepted ? DDE_FACK : 0, item_);
        if (PostMessageA(server, WM_DDE_ACK, reinterpret_cast<WPARAM>(self), ack)) {
            acknowledged_ = true;
        } else {
            // Not delivered: the pair and the atom are still ours.
            lParam_ = ack;
        }
    }
    // A negative ack hands the memory back to the server.
    if (memory_ != nullptr && release_ && (accepted || !acknowledged_)) {
        GlobalFree(memory_);
    }
}

}  // namespace quillon::win32::ddewire
