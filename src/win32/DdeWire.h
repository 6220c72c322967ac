#pragma once
// Plain DDE messages packed and unpacked, and the engine's actions carried
// out with Win32: windows, global memory, global atoms, posts. Who owns
// which block and atom, and when each is freed, the engine decides
// (dde/DdeWireActions.h); nothing here knows a state.
//
// Execute strings: the system passes an execute's bytes as they are. A
// server tells single-byte from Unicode text by IsWindowUnicode of the
// client's window (and a DDEML server converts to its own kind), so the
// link's windows are ANSI windows and a command goes as single-byte text.

#include <windows.h>

#include <vector>

#include "dde/DdeWireActions.h"

namespace quillon::win32::ddewire {

inline HWND ToHwnd(dde::Window window) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
}
inline dde::Window FromHwnd(HWND window) {
    return reinterpret_cast<uintptr_t>(window);
}

// An initiate's answer, sent to us: two atoms, unpacked, and their names.
dde::InitiateAnswer ReadInitiateAnswer(LPARAM lParam);
// A posted ack, its pair freed.
dde::Ack TakeAck(LPARAM lParam);
// A WM_DDE_DATA's block, item and flags, and the CF_TEXT value; the pair is
// left to DataMessage.
dde::Data ReadData(LPARAM lParam);

// The actions, for the conversation windows of one link: hidden top-level
// windows of `windowClass` whose user data is `owner`.
class Win32Wire : public dde::DdeWireActions {
  public:
    Win32Wire(const char* windowClass, void* owner) : windowClass_(windowClass), owner_(owner) {}

    dde::Window NewWindow() override;
    void DestroyWindow(dde::Window window) override;
    bool WindowAlive(dde::Window window) override;
    dde::Atom AddAtom(const std::string& name) override;
    void DeleteAtom(dde::Atom atom) override;
    dde::Block NewAdvise() override;
    dde::Block NewExecute(const std::string& command) override;
    void FreeBlock(dde::Block block) override;
    bool PostAdvise(dde::Window to, dde::Window from, dde::Block options, dde::Atom item) override;
    bool PostExecute(dde::Window to, dde::Window from, dde::Block command) override;
    bool PostTerminate(dde::Window to, dde::Window from) override;
    bool PostDataAck(dde::Window to, dde::Window from, bool positive, dde::Atom item) override;

    // The data message being handled: its ack reuses the pair, which is
    // freed at EndData unless the ack took it. Atoms deleted meanwhile wait
    // for FlushDeletes (deleting an atom is a server round trip that need
    // not stand between a value and its command).
    void BeginData(LPARAM lParam);
    void EndData();
    void FlushDeletes();

  private:
    const char* windowClass_;
    void* owner_;
    LPARAM data_ = 0;
    UINT dataKind_ = 0;  // what the pair is packed as now: 0 when none is held
    bool deferDeletes_ = false;
    std::vector<dde::Atom> deletes_;
};

}  // namespace quillon::win32::ddewire
