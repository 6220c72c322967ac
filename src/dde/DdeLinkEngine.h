#pragma once
// The DDE client link's decisions, free of any platform: every
// conversation of one link control from its initiate until its terminate
// has been answered, the hot link, the executes and their answers, and
// what the link tells the window. Messages and the clock come in as plain
// values; the engine answers by calling DdeWireActions (post this, free
// that) and by queueing notifications, which the platform hands to the
// window from its message loop. Nothing here waits, and nothing here
// touches a window: win32/Win32DdeLink.cpp carries the decisions out.
//
// One link holds at most one conversation that is open (or being opened);
// conversations it has left live on until the server answers our
// terminate, or kRetireMs, so that late answers still free what they
// answer. Each conversation is known by its client window.
//
// Executes, one at a time:
// - The ack that carries the command's block answers it. An ack that
//   carries no block of a waiting command (a server that names no handle)
//   answers the oldest command still waiting on that conversation, as a
//   server answers in order: a command that ran out of time before it is
//   older than the current one, so its late answer is never taken for the
//   current one.
// - A busy answer costs nothing: the same command is offered again after
//   kBusyPauseMs, until it is taken, refused, or kExecuteLimitMs have gone
//   since it was first sent: then the outcome is 288 (busy), or 286 when
//   the last offer got no answer at all.
// - No answer within kExecuteLimitMs: the outcome is 286, and the block is
//   kept until its late answer or the end of the conversation.
// The limits are checked on every input, not only by the clock, so a
// flood of values cannot hold a deadline back.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dde/DdeWireActions.h"

namespace quillon::dde {

constexpr Tick kExecuteLimitMs = 5000;
constexpr Tick kBusyPauseMs = 50;
// How long an open waits for the hot link's answer. A server that pumps
// answers in a millisecond; one that does not is left at "connecting".
constexpr Tick kAdviseLimitMs = 400;
// How long a conversation we have left waits for the server's terminate.
constexpr Tick kRetireMs = 2000;
// How long ending a link waits for the server's terminate.
constexpr Tick kEndLimitMs = 500;
// Timed-out commands whose late answer is still awaited, per conversation.
constexpr size_t kMostLateCommands = 64;

// Threads whose windows let an initiate run out are passed over by the
// initiates of every link for kPassOverMs, so that a program that stops
// pumping costs an attempt one short limit now and then.
class PassedOverThreads {
  public:
    static constexpr Tick kPassOverMs = 2000;
    bool IsPassedOver(Thread thread, Tick now);
    void PassOver(Thread thread, Tick now);

  private:
    std::map<Thread, Tick> until_;
};

// What the link tells the window, in the order it happened.
struct Notification {
    enum Kind { kValue, kOutcome, kClose };
    Kind kind = kValue;
    std::string value;  // kValue: a value of the hot link
    int32_t error = 0;  // kOutcome: 0 accepted, 285, 286, 288 or 293
};

class DdeLinkEngine {
  public:
    explicit DdeLinkEngine(DdeWireActions& wire);
    // Ends every conversation (terminates posted, windows destroyed,
    // everything ours freed): the process is going.
    ~DdeLinkEngine();
    DdeLinkEngine(const DdeLinkEngine&) = delete;
    DdeLinkEngine& operator=(const DdeLinkEngine&) = delete;

    // --- Opening, in this order: BeginInitiate; the platform sends the
    // initiate from InitiateWindow() to each top-level window while
    // Initiating(); EndInitiate; while AdvisePending() it dispatches the
    // conversation's messages; FinishOpen.

    // Leaves the conversation that stood and takes a client window for a
    // new one (the last unanswered one, or a new window). 0, or 7 when no
    // window or atom can be had.
    int32_t BeginInitiate(const std::string& service, const std::string& topic, Tick now);
    Window InitiateWindow() const;
    Atom InitiateService() const;
    Atom InitiateTopic() const;
    // No server has taken the initiate yet.
    bool Initiating() const;
    // Ends the round. 0: a server took it and the hot link on `item` was
    // asked for; 282: nobody answered; 285: the request could not be posted.
    int32_t EndInitiate(const std::string& item, Tick now);
    bool AdvisePending(Tick now) const;
    // 0: the hot link stands. 285: refused, unanswered, or the server went
    // meanwhile; the conversation is left.
    int32_t FinishOpen(Tick now);

    // --- Messages to a client window `to` from `from`.

    // Whether an ack is the answer to an initiate (its lParam holds two
    // atoms, unpacked) rather than a posted ack: told by the conversation's
    // state, never by how the message came.
    bool IsInitiateAnswer(Window to, Window from) const;
    void OnInitiateAnswer(Window to, Window from, const InitiateAnswer& answer, Tick now);
    void OnAck(Window to, Window from, const Ack& ack, Tick now);
    void OnData(Window to, Window from, const Data& data, Tick now);
    void OnTerminate(Window to, Window from, Tick now);
    // The clock: deadlines, busy pauses, retired windows, and whether the
    // server of the open conversation still exists.
    void OnTime(Tick now);
    // When OnTime next has work, if ever.
    std::optional<Tick> NextDeadline(Tick now) const;

    // --- The link's calls.

    // Starts one execute: 0, or 293 with no conversation open, 5 while the
    // outcome of the previous one is due, 7 with no memory for it.
    int32_t Execute(const std::string& command, Tick now);
    // Leaves the open conversation (our terminate posted); an execute still
    // waiting gets 293, and no close is told. The conversation's window
    // when its terminate waits for an answer, else 0.
    Window End(Tick now);
    // The hot link stands and its server's window exists.
    bool Open() const;
    // The hot link stands as far as the engine has been told (no look at
    // the server's window: cheap enough for every message).
    bool Linked() const { return open_; }
    // The conversation of `window` waits for the answer to our terminate.
    bool AwaitingTerminate(Window window) const;
    // An execute waits for its answer.
    bool Executing() const { return executing_; }
    // An execute has waited for its answer at least `atLeast` ms.
    bool ExecutingFor(Tick now, Tick atLeast) const;
    // The limits of the execute, checked without the rest of OnTime.
    void CheckDeadlines(Tick now) { CheckExecute(now); }
    // A client window of this link (the platform routes its messages here).
    bool Owns(Window window) const;

    bool HasNotification() const { return !notifications_.empty(); }
    Notification TakeNotification();

  private:
    struct Conversation;

    Conversation* Find(Window window) const;
    void Retire(Conversation& conversation, Tick now);
    void Destroy(Window window);
    void Lose(Tick now);
    // The current command's limit and busy pause.
    void CheckExecute(Tick now);
    void PostCommand(Conversation& conversation, Tick now);
    void FinishCommand(int32_t error);
    void Tell(Notification notification);

    DdeWireActions& wire_;
    std::map<Window, std::unique_ptr<Conversation>> conversations_;
    Window current_ = 0;       // the open conversation, or the one being opened
    Window spare_ = 0;         // its initiate found nobody: used again
    bool open_ = false;        // the hot link stands
    bool executing_ = false;   // an execute waits for its outcome
    bool outcomeDue_ = false;  // an outcome is queued, not yet taken
    std::deque<Notification> notifications_;
};

}  // namespace quillon::dde
