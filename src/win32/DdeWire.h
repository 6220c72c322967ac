#pragma once
// The rules of plain DDE messages, in one place: what each message carries,
// how it is packed, who frees which memory block and who deletes which
// global atom. The link (Win32DdeLink.cpp) keeps the conversations' states
// and calls these; nothing here knows a state.
//
// Who owns what (the sender allocates; atoms are global atoms):
//   INITIATE  (sent) our two atoms, deleted by us once every window has had it.
//   ACK to an initiate (sent back to us inside the initiate, or late) the
//             server's two atoms: we delete them, whether the answer is kept
//             or not. An answer not kept (a stranger's names, a second
//             server, a late one) gets a terminate.
//   ADVISE    DDEADVISE memory and the item atom. A positive ack: the server
//             keeps the memory. A negative one, or a failed post: we free it.
//             The atom comes back in the ack, and we delete it.
//   DATA      DDEDATA memory and the item atom, from the server. fAckReq: we
//             acknowledge, reusing the atom (the server deletes it); else we
//             delete it. fRelease: we free the memory, unless our ack is
//             negative (the server frees it then). Without fRelease the
//             memory stays the server's. A DATA with no memory carries no
//             flags: no ack, the atom deleted.
//   EXECUTE   the command memory, its handle the lParam itself (not packed).
//             The ack returns the same handle: we free the memory when it
//             comes, whatever the answer, or when the conversation ends first.
//   ACK       (posted) a packed pair: status and the item atom or command
//             handle it answers; the receiver frees the pair. An ack that
//             answers nothing of ours: its atom is deleted, a handle is left.
//   TERMINATE carries nothing. Either side may send it; the other answers
//             with one, and nothing else is posted on the conversation after.
//
// Execute strings: the system passes an execute's bytes as they are. A
// server tells single-byte from Unicode text by IsWindowUnicode of the
// client's window (and a DDEML server converts to its own kind), so the
// link's windows are ANSI windows and a command goes as single-byte text.

#include <windows.h>

#include <string>

namespace quillon::win32::ddewire {

void PostTerminate(HWND to, HWND from);

// The two names of an initiate as global atoms, held while it runs; an
// empty name is atom 0 (any application or topic).
class InitiateNames {
  public:
    InitiateNames(const std::string& service, const std::string& topic);
    ~InitiateNames();
    InitiateNames(const InitiateNames&) = delete;
    InitiateNames& operator=(const InitiateNames&) = delete;
    LPARAM Packed() const { return MAKELPARAM(service_, topic_); }

  private:
    ATOM service_;
    ATOM topic_;
};

// An answer to an initiate: whether its names are `service` and `topic`
// (without regard to case; an empty name matches any). Its atoms are
// deleted either way.
bool TakeInitiateAnswer(LPARAM names, const std::string& service, const std::string& topic);

// A hot-link request on its way: its memory and item atom until answered.
struct Advise {
    HGLOBAL options = nullptr;
    ATOM item = 0;
};
// Posts the request for `item` in CF_TEXT, the data in every update (no
// fDeferUpd) and no ack asked of us (no fAckReq). False, with everything
// freed, when it cannot be posted.
bool PostAdvise(HWND to, HWND from, const std::string& item, Advise& posted);
// Its ack came: the atom is deleted; the memory freed unless the server
// took it (a positive ack).
void SettleAdvise(const Advise& advise, bool positive);

// The memory of one execute command with its NUL; null when none can be had.
HGLOBAL NewExecute(const std::string& command);
// The memory stays ours whether the post succeeds or not.
bool PostExecute(HWND to, HWND from, HGLOBAL command);

// A posted ack, its pair freed.
struct Ack {
    UINT_PTR status = 0;
    UINT_PTR carried = 0;  // the item atom or command handle it answers
    bool Positive() const;
    bool Busy() const;
};
Ack TakeAck(LPARAM lParam);
// An ack that answers nothing of ours: the atom it carries is deleted.
void DropAck(const Ack& ack);

// One WM_DDE_DATA from its arrival until its duties are done: constructed
// from the message, answered once, destroyed after the value has been
// handed over (deleting an atom is a server round trip that need not stand
// between a value and its command).
class ReceivedData {
  public:
    explicit ReceivedData(LPARAM lParam);
    ~ReceivedData();
    ReceivedData(const ReceivedData&) = delete;
    ReceivedData& operator=(const ReceivedData&) = delete;

    bool HasMemory() const { return memory_ != nullptr; }
    bool IsText() const { return format_ == CF_TEXT; }
    // The CF_TEXT value: up to the first NUL, never past the data's size.
    std::string Text() const;
    // An ack when one is asked for (positive when `accepted`), posted to
    // `server` only when it is our partner; the memory freed when the rules
    // leave it to us.
    void Answer(HWND server, HWND self, bool partner, bool accepted);

  private:
    LPARAM lParam_;
    HGLOBAL memory_ = nullptr;
    ATOM item_ = 0;
    UINT format_ = 0;
    bool ackRequested_ = false;
    bool release_ = false;
    bool acknowledged_ = false;  // the ack took the pair and the atom
};

}  // namespace quillon::win32::ddewire
