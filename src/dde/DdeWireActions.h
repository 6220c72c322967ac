#pragma once
// What the DDE link engine (dde/DdeLinkEngine.h) asks of the wire, and the
// plain values it is told. The engine decides; whoever implements these
// only carries a decision out: the Win32 link packs and posts messages and
// owns the windows, the fuzz target keeps a ledger of every block and atom.
//
// Values: a window, a memory block (a global handle) and an atom are plain
// numbers here; 0 is none. Ticks are milliseconds of a clock that wraps.
//
// Who owns what, the client's side of the rules (the engine keeps them):
//   INITIATE  our two atoms, added before the first window is asked and
//             deleted when the round ends.
//   its ACK   the server's two atoms: ours to delete, taken or not. An
//             answer not taken (a stranger's names, a second server, a late
//             one) gets a terminate.
//   ADVISE    our DDEADVISE block and item atom. A positive ack: the block is
//             the server's. A negative one, a failed post, or no answer by
//             the end of the conversation: we free it. The atom comes back
//             in the ack and we delete it; unanswered, we delete ours.
//   DATA      the server's block and item atom. fAckReq: we acknowledge,
//             the atom going back in the ack (else we delete it). fRelease:
//             we free the block, unless our ack is negative (the server
//             frees it then). A DATA with no block carries no flags.
//   EXECUTE   our command block; the ack returns it (or, from a careless
//             server, no handle at all). We free the block when its answer
//             comes, or when the conversation is over.
//   ACK       a pair of status and what it answers; the pair itself is the
//             platform's business. An ack that answers nothing of ours: a
//             string atom it carries is deleted, a handle is left alone.
//   TERMINATE either side may send it; the other answers with one, and
//             nothing else is posted on the conversation after.

#include <cstdint>
#include <string>

namespace quillon::dde {

using Window = uint64_t;
using Block = uint64_t;
using Atom = uint16_t;
using Tick = uint32_t;
using Thread = uint32_t;

// Global string atoms lie in 0xC000-0xFFFF; a memory handle never does.
inline bool IsStringAtom(uint64_t value) {
    return value >= 0xC000 && value <= 0xFFFF;
}

// An answer to our initiate, as sent to our window: the server's atoms and
// the names they stand for.
struct InitiateAnswer {
    Atom service = 0;
    Atom topic = 0;
    std::string serviceName;
    std::string topicName;
};

// A posted WM_DDE_ACK.
struct Ack {
    bool positive = false;  // fAck
    bool busy = false;      // fBusy
    uint64_t carried = 0;   // the item atom or command block it answers
};

// A WM_DDE_DATA.
struct Data {
    Block block = 0;  // 0: no memory at all (an empty value, no flags)
    Atom item = 0;
    bool text = false;  // the block's format is CF_TEXT
    bool ackRequested = false;
    bool release = false;
    std::string value;  // the CF_TEXT value, when `text`
};

class DdeWireActions {
  public:
    virtual ~DdeWireActions() = default;
    // A hidden top-level client window for a new conversation; 0 when none
    // can be had. Destroyed only through DestroyWindow.
    virtual Window NewWindow() = 0;
    virtual void DestroyWindow(Window window) = 0;
    // Whether a server's window still exists (a killed server says nothing).
    virtual bool WindowAlive(Window window) = 0;

    virtual Atom AddAtom(const std::string& name) = 0;  // 0 when none can be had
    virtual void DeleteAtom(Atom atom) = 0;
    virtual Block NewAdvise() = 0;  // a DDEADVISE for CF_TEXT, data in every update
    virtual Block NewExecute(const std::string& command) = 0;
    virtual void FreeBlock(Block block) = 0;

    // Each post returns false when the message could not be posted; what it
    // carried is then still ours.
    virtual bool PostAdvise(Window to, Window from, Block options, Atom item) = 0;
    virtual bool PostExecute(Window to, Window from, Block command) = 0;
    virtual bool PostTerminate(Window to, Window from) = 0;
    // The ack of the data being handled, reusing its message.
    virtual bool PostDataAck(Window to, Window from, bool positive, Atom item) = 0;
};

}  // namespace quillon::dde
