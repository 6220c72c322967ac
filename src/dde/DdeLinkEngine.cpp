#include "dde/DdeLinkEngine.h"

#include <algorithm>
#include <utility>

#include "base/RuntimeError.h"

namespace quillon::dde {

namespace {

// Whether `to` has come, on a clock that wraps.
bool Reached(Tick now, Tick to) {
    return static_cast<int32_t>(now - to) >= 0;
}

// Letters compared without regard to case, as the atom table compares
// names: its first spelling of a name is the one every answer carries.
// An empty name asked for any.
bool NamesMatch(const std::string& answered, const std::string& asked) {
    if (asked.empty()) {
        return true;
    }
    if (answered.size() != asked.size()) {
        return false;
    }
    const auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; };
    for (size_t i = 0; i < asked.size(); ++i) {
        if (fold(answered[i]) != fold(asked[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool PassedOverThreads::IsPassedOver(Thread thread, Tick now) {
    const auto found = until_.find(thread);
    if (found == until_.end()) {
        return false;
    }
    if (!Reached(now, found->second)) {
        return true;
    }
    until_.erase(found);
    return false;
}

void PassedOverThreads::PassOver(Thread thread, Tick now) {
    until_[thread] = now + kPassOverMs;
}

struct DdeLinkEngine::Conversation {
    enum Phase {
        kUnanswered,  // its initiate found nobody: may initiate again
        kInitiating,
        kAdvising,  // a server took it; the hot link is asked for
        kOpen,      // the hot link stands
        kLost,      // the server ended it (and we answered)
        kRetired,   // the link has left it
    };
    Window window = 0;
    Window partner = 0;
    Phase phase = kInitiating;
    std::string service;
    std::string topic;
    Atom serviceAtom = 0;  // our initiate's names, while the round runs
    Atom topicAtom = 0;
    bool answered = false;  // an answer came that was not taken
    Block advise = 0;       // the hot link request, until answered
    Atom adviseItem = 0;
    Tick adviseSent = 0;
    std::optional<bool> adviseAnswer;
    Block command = 0;  // the execute that waits for its answer
    Tick commandSent = 0;
    bool pausing = false;  // refused as busy: offered again at retryAt
    Tick retryAt = 0;
    std::deque<Block> late;    // commands past their limit, oldest first
    bool terminating = false;  // our terminate waits for its answer
    Tick retireAt = 0;
};

DdeLinkEngine::DdeLinkEngine(DdeWireActions& wire) : wire_(wire) {}

DdeLinkEngine::~DdeLinkEngine() {
    std::vector<Window> windows;
    for (const auto& [window, conversation] : conversations_) {
        const Conversation& c = *conversation;
        if (c.partner != 0 && !c.terminating && c.phase != Conversation::kLost) {
            wire_.PostTerminate(c.partner, c.window);
        }
        windows.push_back(window);
    }
    for (const Window window : windows) {
        Destroy(window);
    }
}

DdeLinkEngine::Conversation* DdeLinkEngine::Find(Window window) const {
    const auto found = conversations_.find(window);
    return found == conversations_.end() ? nullptr : found->second.get();
}

// --- opening ------------------------------------------------------------------

int32_t DdeLinkEngine::BeginInitiate(const std::string& service, const std::string& topic,
                                     Tick now) {
    End(now);
    Conversation* spare = Find(spare_);
    spare_ = 0;
    if (spare != nullptr && spare->answered) {
        Retire(*spare, now);
        spare = nullptr;
    }
    if (spare == nullptr) {
        const Window window = wire_.NewWindow();
        if (window == 0) {
            return kErrOutOfMemory;
        }
        auto created = std::make_unique<Conversation>();
        created->window = window;
        spare = created.get();
        conversations_[window] = std::move(created);
    }
    Conversation& c = *spare;
    c.phase = Conversation::kInitiating;
    c.service = service;
    c.topic = topic;
    c.serviceAtom = service.empty() ? 0 : wire_.AddAtom(service);
    c.topicAtom = topic.empty() ? 0 : wire_.AddAtom(topic);
    current_ = c.window;
    if ((!service.empty() && c.serviceAtom == 0) || (!topic.empty() && c.topicAtom == 0)) {
        EndInitiate(std::string(), now);
        return kErrOutOfMemory;
    }
    return 0;
}

Window DdeLinkEngine::InitiateWindow() const {
    return current_;
}

Atom DdeLinkEngine::InitiateService() const {
    const Conversation* c = Find(current_);
    return c != nullptr ? c->serviceAtom : 0;
}

Atom DdeLinkEngine::InitiateTopic() const {
    const Conversation* c = Find(current_);
    return c != nullptr ? c->topicAtom : 0;
}

bool DdeLinkEngine::Initiating() const {
    const Conversation* c = Find(current_);
    return c != nullptr && c->phase == Conversation::kInitiating && c->partner == 0;
}

int32_t DdeLinkEngine::EndInitiate(const std::string& item, Tick now) {
    Conversation* found = Find(current_);
    if (found == nullptr || found->phase != Conversation::kInitiating) {
        return kErrNoForeignApplication;
    }
    Conversation& c = *found;
    for (Atom* atom : {&c.serviceAtom, &c.topicAtom}) {
        if (*atom != 0) {
            wire_.DeleteAtom(*atom);
            *atom = 0;
        }
    }
    if (c.partner == 0) {
        current_ = 0;
        if (c.answered) {
            Retire(c, now);
        } else {
            c.phase = Conversation::kUnanswered;
            spare_ = c.window;
        }
        return kErrNoForeignApplication;
    }
    // A close told of the conversation before is stale now.
    notifications_.erase(std::remove_if(notifications_.begin(), notifications_.end(),
                                        [](const Notification& notification) {
                                            return notification.kind == Notification::kClose;
                                        }),
                         notifications_.end());
    c.phase = Conversation::kAdvising;
    const Block options = wire_.NewAdvise();
    const Atom atom = item.empty() ? 0 : wire_.AddAtom(item);
    if (options == 0 || (!item.empty() && atom == 0) ||
        !wire_.PostAdvise(c.partner, c.window, options, atom)) {
        if (options != 0) {
            wire_.FreeBlock(options);
        }
        if (atom != 0) {
            wire_.DeleteAtom(atom);
        }
        Retire(c, now);
        return kErrDdeNoResponse;
    }
    c.advise = options;
    c.adviseItem = atom;
    c.adviseSent = now;
    return 0;
}

bool DdeLinkEngine::AdvisePending(Tick now) const {
    const Conversation* c = Find(current_);
    return c != nullptr && c->phase == Conversation::kAdvising && !c->adviseAnswer &&
           !Reached(now, c->adviseSent + kAdviseLimitMs);
}

int32_t DdeLinkEngine::FinishOpen(Tick now) {
    Conversation* c = Find(current_);
    if (c != nullptr && c->phase == Conversation::kAdvising && c->adviseAnswer.value_or(false)) {
        c->phase = Conversation::kOpen;
        open_ = true;
        return 0;
    }
    if (c != nullptr) {
        Retire(*c, now);
    }
    return kErrDdeNoResponse;
}

// --- messages ------------------------------------------------------------------

bool DdeLinkEngine::IsInitiateAnswer(Window to, Window from) const {
    const Conversation* c = Find(to);
    if (c == nullptr) {
        return false;
    }
    // Only a server we took posts to us; any other window's ack answers an
    // initiate, in the round or after it.
    return c->phase == Conversation::kInitiating || c->partner == 0 || from != c->partner;
}

void DdeLinkEngine::OnInitiateAnswer(Window to, Window from, const InitiateAnswer& answer,
                                     Tick now) {
    for (const Atom atom : {answer.service, answer.topic}) {
        if (atom != 0) {
            wire_.DeleteAtom(atom);
        }
    }
    Conversation* c = Find(to);
    if (c == nullptr) {
        return;
    }
    const bool match =
        NamesMatch(answer.serviceName, c->service) && NamesMatch(answer.topicName, c->topic);
    if (c->phase == Conversation::kInitiating && c->partner == 0 && match) {
        c->partner = from;
    } else if (from != c->partner) {
        // A stranger's names, a second server or a late one: it opened a
        // conversation on its side, which it must be told is over.
        c->answered = true;
        wire_.PostTerminate(from, to);
    }  // else the partner answered twice: a terminate would end ours
    CheckExecute(now);
}

void DdeLinkEngine::OnAck(Window to, Window from, const Ack& ack, Tick now) {
    Conversation* c = Find(to);
    if (c == nullptr || c->partner == 0 || from != c->partner) {
        if (IsStringAtom(ack.carried)) {
            wire_.DeleteAtom(static_cast<Atom>(ack.carried));
        }
        CheckExecute(now);
        return;
    }
    if (c->advise != 0 && c->adviseItem != 0 && ack.carried == c->adviseItem) {
        wire_.DeleteAtom(c->adviseItem);
        if (!ack.positive) {
            wire_.FreeBlock(c->advise);
        }
        c->advise = 0;
        c->adviseItem = 0;
        c->adviseAnswer = ack.positive;
    } else if (IsStringAtom(ack.carried)) {
        wire_.DeleteAtom(static_cast<Atom>(ack.carried));
    } else {
        // An execute's answer: the command it names, or the oldest waiting.
        const bool current = c->command != 0 && !c->pausing;
        const auto late = std::find(c->late.begin(), c->late.end(), ack.carried);
        if (late != c->late.end()) {
            wire_.FreeBlock(*late);
            c->late.erase(late);
        } else if (!(current && ack.carried == c->command) && !c->late.empty()) {
            wire_.FreeBlock(c->late.front());
            c->late.pop_front();
        } else if (current) {
            if (ack.positive || !ack.busy) {
                wire_.FreeBlock(c->command);
                c->command = 0;
                FinishCommand(ack.positive ? 0 : kErrDdeNoResponse);
            } else if (!Reached(now, c->commandSent + kExecuteLimitMs)) {
                c->pausing = true;  // ours again: offered anew after a pause
                c->retryAt = now + kBusyPauseMs;
            } else {
                wire_.FreeBlock(c->command);
                c->command = 0;
                FinishCommand(kErrDdeBusy);
            }
        }  // else it answers nothing of ours: a handle is left alone
    }
    CheckExecute(now);
}

void DdeLinkEngine::OnData(Window to, Window from, const Data& data, Tick now) {
    Conversation* c = Find(to);
    const bool partner = c != nullptr && c->partner != 0 && from == c->partner && !c->terminating &&
                         c->phase != Conversation::kLost;
    const bool ours = partner && to == current_ &&
                      (c->phase == Conversation::kAdvising || c->phase == Conversation::kOpen);
    // The hot link was asked for in CF_TEXT; data in another format is
    // refused, not read as text. No block at all is an empty value.
    const bool accepted = ours && (data.text || data.block == 0);
    if (accepted) {
        Tell({Notification::kValue, data.block != 0 ? data.value : std::string(), 0});
    }
    const bool acknowledge = partner && data.block != 0 && data.ackRequested;
    const bool acknowledged = acknowledge && wire_.PostDataAck(from, to, accepted, data.item);
    if (!acknowledged && data.item != 0) {
        wire_.DeleteAtom(data.item);
    }
    // A negative ack hands the block back to the server.
    if (data.block != 0 && data.release && (accepted || !acknowledged)) {
        wire_.FreeBlock(data.block);
    }
    CheckExecute(now);
}

void DdeLinkEngine::OnTerminate(Window to, Window from, Tick now) {
    Conversation* c = Find(to);
    if (c == nullptr || c->partner == 0 || from != c->partner || c->phase == Conversation::kLost) {
        CheckExecute(now);
        return;  // a stranger's answer to our terminate, or none of our business
    }
    if (c->terminating) {
        Destroy(to);  // our terminate is answered: the end
        CheckExecute(now);
        return;
    }
    wire_.PostTerminate(from, to);
    const Conversation::Phase was = c->phase;
    c->phase = Conversation::kLost;
    if (was == Conversation::kOpen && to == current_) {
        Lose(now);
    } else if (was != Conversation::kAdvising || to != current_) {
        Destroy(to);  // during the open, FinishOpen sees the loss
    }
    CheckExecute(now);
}

void DdeLinkEngine::OnTime(Tick now) {
    std::vector<Window> ended;
    for (const auto& [window, conversation] : conversations_) {
        if (conversation->terminating && Reached(now, conversation->retireAt)) {
            ended.push_back(window);
        }
    }
    for (const Window window : ended) {
        Destroy(window);
    }
    Conversation* c = Find(current_);
    if (c != nullptr && c->partner != 0 && !wire_.WindowAlive(c->partner)) {
        // A killed server never sends a terminate; its window just vanishes.
        if (c->phase == Conversation::kOpen) {
            c->phase = Conversation::kLost;
            Lose(now);
        } else if (c->phase == Conversation::kAdvising) {
            c->phase = Conversation::kLost;
        }
    }
    CheckExecute(now);
}

std::optional<Tick> DdeLinkEngine::NextDeadline(Tick now) const {
    std::optional<Tick> next;
    const auto consider = [&](Tick at) {
        if (!next || static_cast<int32_t>(at - now) < static_cast<int32_t>(*next - now)) {
            next = at;
        }
    };
    for (const auto& [window, c] : conversations_) {
        if (c->terminating) {
            consider(c->retireAt);
        }
        if (c->command != 0) {
            // A command refused as busy near its limit ends at the limit,
            // before its pause.
            consider(c->commandSent + kExecuteLimitMs);
            if (c->pausing) {
                consider(c->retryAt);
            }
        }
    }
    return next;
}

// --- the link's calls ----------------------------------------------------------

int32_t DdeLinkEngine::Execute(const std::string& command, Tick now) {
    Conversation* c = Find(current_);
    if (!open_ || c == nullptr || c->phase != Conversation::kOpen) {
        return kErrDdeMethodNoChannel;
    }
    if (executing_ || outcomeDue_) {
        return kErrInvalidProcedureCall;
    }
    const Block block = wire_.NewExecute(command);
    if (block == 0) {
        return kErrOutOfMemory;
    }
    c->command = block;
    c->commandSent = now;
    c->pausing = false;
    executing_ = true;
    // No liveness check first: a post to a window that is gone fails at
    // once, and the check after the failure sorts it out.
    if (!wire_.PostExecute(c->partner, c->window, block)) {
        const bool alive = wire_.WindowAlive(c->partner);
        wire_.FreeBlock(block);
        c->command = 0;
        if (!alive) {
            executing_ = false;
            c->phase = Conversation::kLost;
            Lose(now);
            return kErrDdeMethodNoChannel;
        }
        FinishCommand(kErrDdeNoResponse);  // its queue is full
    }
    return 0;
}

Window DdeLinkEngine::End(Tick now) {
    Conversation* c = Find(current_);
    const Window window = current_;
    if (c != nullptr) {
        Retire(*c, now);
    }
    current_ = 0;
    open_ = false;
    return AwaitingTerminate(window) ? window : 0;
}

bool DdeLinkEngine::Open() const {
    const Conversation* c = Find(current_);
    return open_ && c != nullptr && c->phase == Conversation::kOpen &&
           wire_.WindowAlive(c->partner);
}

bool DdeLinkEngine::AwaitingTerminate(Window window) const {
    const Conversation* c = Find(window);
    return c != nullptr && c->terminating;
}

bool DdeLinkEngine::ExecutingFor(Tick now, Tick atLeast) const {
    const Conversation* c = Find(current_);
    return executing_ && c != nullptr && c->command != 0 && Reached(now, c->commandSent + atLeast);
}

bool DdeLinkEngine::Owns(Window window) const {
    return Find(window) != nullptr;
}

Notification DdeLinkEngine::TakeNotification() {
    Notification notification = std::move(notifications_.front());
    notifications_.pop_front();
    if (notification.kind == Notification::kOutcome) {
        outcomeDue_ = false;
    }
    return notification;
}

// --- inside ---------------------------------------------------------------------

// The link leaves the conversation: an execute still waiting gets 293, a
// terminate goes to the server, and the conversation lives on until the
// server answers it (or kRetireMs). With nothing to wait for it ends now.
void DdeLinkEngine::Retire(Conversation& c, Tick now) {
    if (c.window == current_) {
        current_ = 0;
        open_ = false;
        if (executing_) {
            FinishCommand(kErrDdeMethodNoChannel);
        }
    }
    if (c.command != 0) {
        if (c.pausing) {
            wire_.FreeBlock(c.command);  // the server has given it back
        } else {
            c.late.push_back(c.command);
        }
        c.command = 0;
        c.pausing = false;
    }
    if (c.partner != 0 && c.phase != Conversation::kLost && !c.terminating &&
        c.phase != Conversation::kRetired) {
        c.terminating = wire_.PostTerminate(c.partner, c.window);
    }
    c.phase = Conversation::kRetired;
    c.retireAt = now + kRetireMs;
    if (!c.terminating) {
        Destroy(c.window);
    }
}

// The conversation and its window end; whatever of ours it still holds is
// freed: nothing of a silent or late server outlives its conversation.
void DdeLinkEngine::Destroy(Window window) {
    const auto found = conversations_.find(window);
    if (found == conversations_.end()) {
        return;
    }
    Conversation& c = *found->second;
    for (const Atom atom : {c.serviceAtom, c.topicAtom, c.adviseItem}) {
        if (atom != 0) {
            wire_.DeleteAtom(atom);
        }
    }
    if (c.advise != 0) {
        wire_.FreeBlock(c.advise);
    }
    if (c.command != 0) {
        wire_.FreeBlock(c.command);
    }
    for (const Block block : c.late) {
        wire_.FreeBlock(block);
    }
    if (window == current_) {
        current_ = 0;
        open_ = false;
        if (executing_) {
            FinishCommand(kErrDdeMethodNoChannel);
        }
    }
    if (window == spare_) {
        spare_ = 0;
    }
    conversations_.erase(found);
    wire_.DestroyWindow(window);
}

// The server ended the open conversation (terminated, quit or died).
void DdeLinkEngine::Lose(Tick now) {
    Conversation* c = Find(current_);
    if (c == nullptr) {
        return;
    }
    Retire(*c, now);
    Tell({Notification::kClose, std::string(), 0});
}

void DdeLinkEngine::CheckExecute(Tick now) {
    Conversation* c = Find(current_);
    if (!executing_ || c == nullptr || c->command == 0) {
        return;
    }
    const bool expired = Reached(now, c->commandSent + kExecuteLimitMs);
    if (c->pausing) {
        if (expired) {
            wire_.FreeBlock(c->command);
            c->command = 0;
            c->pausing = false;
            FinishCommand(kErrDdeBusy);
        } else if (Reached(now, c->retryAt)) {
            c->pausing = false;
            PostCommand(*c, now);
        }
        return;
    }
    if (expired) {
        c->late.push_back(c->command);
        c->command = 0;
        while (c->late.size() > kMostLateCommands) {
            wire_.FreeBlock(c->late.front());
            c->late.pop_front();
        }
        FinishCommand(kErrDdeTimeout);
    }
}

// Offers the command refused as busy again.
void DdeLinkEngine::PostCommand(Conversation& c, Tick now) {
    if (wire_.PostExecute(c.partner, c.window, c.command)) {
        return;
    }
    const bool alive = wire_.WindowAlive(c.partner);
    wire_.FreeBlock(c.command);
    c.command = 0;
    if (!alive) {
        c.phase = Conversation::kLost;
        Lose(now);  // the command gets 293
        return;
    }
    FinishCommand(kErrDdeNoResponse);
}

void DdeLinkEngine::FinishCommand(int32_t error) {
    executing_ = false;
    outcomeDue_ = true;
    Tell({Notification::kOutcome, std::string(), error});
}

void DdeLinkEngine::Tell(Notification notification) {
    notifications_.push_back(std::move(notification));
}

}  // namespace quillon::dde
