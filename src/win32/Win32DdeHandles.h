#pragma once
// RAII owners for DDEML handles: an instance, a string handle and a client
// conversation. Destruction order matters: a conversation and the string
// handles must go before the instance they belong to, so declare the
// instance first and the conversation last.

#include <windows.h>
// ddeml.h needs the types of windows.h declared first.
#include <ddeml.h>

#include <string>

namespace quillon::win32 {

class DdeInstance {
  public:
    DdeInstance() = default;
    ~DdeInstance() { Reset(); }
    DdeInstance(const DdeInstance&) = delete;
    DdeInstance& operator=(const DdeInstance&) = delete;

    // False when DDEML refuses (for instance when called from inside a DDE
    // callback, which DDEML does not allow).
    bool Initialize(PFNCALLBACK callback, DWORD flags) {
        Reset();
        DWORD id = 0;
        if (DdeInitializeA(&id, callback, flags, 0) != DMLERR_NO_ERROR) {
            return false;
        }
        id_ = id;
        return true;
    }
    void Reset() {
        if (id_ != 0) {
            DdeUninitialize(id_);
            id_ = 0;
        }
    }
    DWORD Id() const { return id_; }

  private:
    DWORD id_ = 0;
};

class DdeStringHandle {
  public:
    DdeStringHandle() = default;
    ~DdeStringHandle() { Reset(); }
    DdeStringHandle(const DdeStringHandle&) = delete;
    DdeStringHandle& operator=(const DdeStringHandle&) = delete;

    // CP_WINANSI: the text's bytes are taken as they are.
    void Assign(DWORD instance, const std::string& text) {
        Reset();
        instance_ = instance;
        handle_ = DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI);
    }
    void Reset() {
        if (handle_ != nullptr) {
            DdeFreeStringHandle(instance_, handle_);
            handle_ = nullptr;
        }
    }

    HSZ Get() const { return handle_; }

  private:
    DWORD instance_ = 0;
    HSZ handle_ = nullptr;
};

class DdeConversation {
  public:
    DdeConversation() = default;
    ~DdeConversation() { Reset(); }
    DdeConversation(const DdeConversation&) = delete;
    DdeConversation& operator=(const DdeConversation&) = delete;

    // DdeDisconnect waits (up to 10 s on Wine) for the server's answer when
    // the server window still exists; it returns at once when the partner is
    // gone or has already terminated the conversation.
    void Reset(HCONV handle = nullptr) {
        if (handle_ != nullptr) {
            DdeDisconnect(handle_);
        }
        handle_ = handle;
    }
    HCONV Get() const { return handle_; }

  private:
    HCONV handle_ = nullptr;
};

}  // namespace quillon::win32
