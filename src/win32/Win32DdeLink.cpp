#include "win32/Win32DdeLink.h"

#include <dde.h>

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "base/RuntimeError.h"
#include "win32/DdeWire.h"

// The item names and the execute command carried over these links are
// documented with the command builder in gateway/DisplayCwCommand.h; who
// frees which memory and atom on the wire, in win32/DdeWire.h. This file
// keeps the states: of a link, and of each conversation it holds.
//
// A link has a message-only window of its own for its posted notifications
// and its watch timer. Each conversation has its own client window, a
// hidden top-level one (a server answers an initiate by sending to it, so it
// cannot be message-only):
// - A new conversation gets a new window, so a server's answer that comes
//   late for an old one never lands in the new one, and a server that keeps
//   one window per conversation never sees a new initiate from a window
//   whose terminate it has not answered yet. A window whose initiate nobody
//   answered is kept for the link's next attempt, unless an answer comes to
//   it after all.
// - A conversation ended on our side posts its terminate and lives on as
//   its window until the server answers, or kRetireMs at most; meanwhile an
//   ack that comes late still frees what it answers.
// - An execute is posted and the link returns; the ack comes through the
//   message loop. One at a time; its 5 s bound is checked by the watch
//   timer, and by every value of any link that arrives while one waits (a
//   flood of posted values keeps the timer back).
// - Only two waits remain inside a call, both short: the initiate (each
//   window kInitiateLimitMs) and the hot link's answer (kAdviseLimitMs).

namespace quillon::win32 {

namespace {

constexpr UINT kDeliverMessage = WM_APP + 1;  // values are waiting in the queue
constexpr UINT kClosedMessage = WM_APP + 2;   // wParam: generation of the lost conversation
constexpr UINT kOutcomeMessage = WM_APP + 3;  // an execute's outcome is waiting
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchIntervalMs = 250;
constexpr UINT_PTR kRetireTimer = 2;
// How long the window of an ended conversation waits for the server's
// terminate: late acks still free their memory meanwhile.
constexpr UINT kRetireMs = 2000;
constexpr DWORD kExecuteLimitMs = 5000;
// How long the open waits for the answer to the hot link. A server that
// pumps answers in a millisecond; one that does not is left at
// "connecting" and tried again, and the window is not held up meanwhile.
constexpr DWORD kAdviseLimitMs = 400;
constexpr DWORD kLookSliceMs = 100;  // a wait looks at the server's window this often
// The time a window gets to answer an initiate. A DDE server's thread
// answers in well under a millisecond when it pumps at all; this leaves
// room for a loaded machine without letting a silent one hold the window.
constexpr UINT kInitiateLimitMs = 150;
// How long a thread that let an initiate run out is left out of the
// initiates of every link of the process.
constexpr DWORD kPassOverMs = 2000;
constexpr char kLinkClass[] = "QuillonDdeLinkWindow";
constexpr char kConversationClass[] = "QuillonDdeConversation";

// Threads that let an initiate run out, with the tick until which they are
// passed over. Shared by the links: they all run on the one thread.
std::map<DWORD, DWORD>& PassedOver() {
    static std::map<DWORD, DWORD> threads;
    return threads;
}

bool IsPassedOver(DWORD thread, DWORD now) {
    auto& threads = PassedOver();
    const auto found = threads.find(thread);
    if (found == threads.end()) {
        return false;
    }
    if (static_cast<LONG>(found->second - now) > 0) {
        return true;
    }
    threads.erase(found);
    return false;
}

// How many opens of the thread's links wait for a hot link's answer right
// now. While one does, a value or an outcome is queued and posted, not
// handed over.
int& Waiting() {
    static int waiting = 0;
    return waiting;
}

// A link whose execute waits for its ack.
class ExecuteWatch {
  public:
    virtual void CheckDeadline(DWORD now) = 0;

  protected:
    ~ExecuteWatch() = default;
};

std::vector<ExecuteWatch*>& ExecutesWaiting() {
    static std::vector<ExecuteWatch*> links;
    return links;
}

// While an execute waits, every value takes the acks waiting in the queue
// first: behind a flood of values an ack would wait for all of them, and so
// would the next command. Then the bounds are checked.
void ServeWaitingExecutes() {
    if (ExecutesWaiting().empty()) {
        return;
    }
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_DDE_ACK, WM_DDE_ACK, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
    const DWORD now = GetTickCount();
    const std::vector<ExecuteWatch*> links = ExecutesWaiting();
    for (ExecuteWatch* link : links) {
        const auto& current = ExecutesWaiting();
        if (std::find(current.begin(), current.end(), link) != current.end()) {
            link->CheckDeadline(now);
        }
    }
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

void RegisterWindowClass(const char* name, WNDPROC procedure) {
    // ANSI classes: a server reads our executes as single-byte text because
    // our window is not a Unicode window (see win32/DdeWire.h).
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    RegisterClassA(&windowClass);  // fails harmlessly when registered before
}

// What a conversation tells the link it belongs to.
class ConversationOwner {
  public:
    // A value of our hot link; false when it cannot be kept.
    virtual bool QueueValue(std::string text) = 0;
    // After the value's ack has gone.
    virtual void HandOver() = 0;
    virtual void OnExecuteAnswered(const ddewire::Ack& ack) = 0;
    // The server ended the conversation.
    virtual void OnPartnerGone() = 0;

  protected:
    ~ConversationOwner() = default;
};

// One conversation and its client window, from the initiate until the
// server has answered our terminate. It owns itself once retired, and is
// deleted with its window.
class Conversation {
  public:
    static Conversation* Create(ConversationOwner* owner) {
        static const bool registered =
            (RegisterWindowClass(kConversationClass, &Conversation::WindowProc), true);
        (void)registered;
        // Hidden and top-level; WS_EX_TOOLWINDOW keeps it off the task list.
        const HWND window =
            CreateWindowExA(WS_EX_TOOLWINDOW, kConversationClass, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
        if (window == nullptr) {
            return nullptr;
        }
        auto* conversation = new Conversation(owner, window);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(conversation));
        return conversation;
    }

    HWND Window() const { return window_; }
    HWND Partner() const { return partner_; }
    // The server has ended the conversation.
    bool Lost() const { return lost_; }
    // No server has ever answered this window: it may initiate again.
    bool Unanswered() const { return partner_ == nullptr && !lost_ && !answered_; }

    // Offers the conversation to each top-level window in turn until a
    // server with these names takes it.
    bool Initiate(const std::string& service, const std::string& topic) {
        std::vector<HWND> windows;
        EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
        const ddewire::InitiateNames names(service, topic);
        service_ = service;
        topic_ = topic;
        initiating_ = true;
        for (const HWND window : windows) {
            if (partner_ != nullptr) {
                break;
            }
            const DWORD thread = GetWindowThreadProcessId(window, nullptr);
            if (window == window_ || thread == 0 || IsPassedOver(thread, GetTickCount())) {
                continue;
            }
            // The server answers by sending an ack to our window, which the
            // wait dispatches (so no SMTO_BLOCK). SMTO_ABORTIFHUNG returns at
            // once for a thread the system already counts as hung.
            DWORD_PTR result = 0;
            if (SendMessageTimeoutA(window, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(window_),
                                    names.Packed(), SMTO_ABORTIFHUNG, kInitiateLimitMs,
                                    &result) == 0 &&
                IsWindow(window)) {
                PassedOver()[thread] = GetTickCount() + kPassOverMs;
            }
        }
        initiating_ = false;
        return partner_ != nullptr;
    }

    bool PostAdvise(const std::string& item) {
        ddewire::Advise advise;
        if (!ddewire::PostAdvise(partner_, window_, item, advise)) {
            return false;
        }
        advise_ = advise;
        return true;
    }
    bool AdviseAnswered() const { return adviseAnswer_.has_value(); }
    bool AdviseAccepted() const { return adviseAnswer_.value_or(false); }

    // Posts the execute; the memory is ours until its ack or the end of the
    // conversation. False, with the memory freed, when it cannot be posted.
    bool StartExecute(HGLOBAL command) {
        if (!ddewire::PostExecute(partner_, window_, command)) {
            GlobalFree(command);
            return false;
        }
        execute_ = command;
        return true;
    }
    // The execute got no answer in time: a late ack frees its memory.
    void ExecuteTimedOut() {
        if (execute_ != nullptr) {
            late_.push_back(execute_);
            execute_ = nullptr;
        }
    }

    // The link is done with the conversation: a terminate to the server,
    // whose answer (or kRetireMs) ends the window.
    void Retire() {
        owner_ = nullptr;
        ExecuteTimedOut();
        if (partner_ != nullptr && IsWindow(partner_)) {
            ddewire::PostTerminate(partner_, window_);
            terminating_ = true;
        }
        SetTimer(window_, kRetireTimer, kRetireMs, nullptr);
    }

  private:
    Conversation(ConversationOwner* owner, HWND window) : owner_(owner), window_(window) {}

    ~Conversation() {
        // The conversation is over: memory never acknowledged is ours again.
        // (An advise's memory may be the server's by now; it is left alone.)
        if (execute_ != nullptr) {
            GlobalFree(execute_);
        }
        for (const HGLOBAL memory : late_) {
            GlobalFree(memory);
        }
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Conversation*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        const HWND from = reinterpret_cast<HWND>(wParam);
        switch (message) {
            case WM_DDE_ACK:
                // An initiate's answer is sent; every other ack is posted.
                if (InSendMessage()) {
                    self->OnInitiateAnswer(from, lParam);
                } else {
                    self->OnAck(from, lParam);
                }
                return 0;
            case WM_DDE_DATA:
                ServeWaitingExecutes();
                self->OnData(from, lParam);
                return 0;
            case WM_DDE_TERMINATE:
                self->OnTerminate(from);  // may destroy the window and `self`
                return 0;
            case WM_TIMER:
                if (wParam == kRetireTimer) {
                    DestroyWindow(window);
                }
                return 0;
            case WM_NCDESTROY:
                SetWindowLongPtrA(window, GWLP_USERDATA, 0);
                delete self;
                return DefWindowProcA(window, message, wParam, lParam);
            default:
                return DefWindowProcA(window, message, wParam, lParam);
        }
    }

    // The first server with our names is taken. Any other answer (a
    // stranger's names, a second server, an answer after the initiate) gets
    // a terminate: it opened a conversation on its side.
    void OnInitiateAnswer(HWND server, LPARAM names) {
        const bool match = ddewire::TakeInitiateAnswer(names, service_, topic_);
        if (initiating_ && partner_ == nullptr && match) {
            partner_ = server;
            return;
        }
        if (server == partner_) {
            return;  // the partner answers twice: a terminate would end ours
        }
        answered_ = true;
        ddewire::PostTerminate(server, window_);
    }

    // Each ack is matched to what it answers: an advise's by its item atom,
    // an execute's by the command handle it returns.
    void OnAck(HWND from, LPARAM lParam) {
        const ddewire::Ack ack = ddewire::TakeAck(lParam);
        if (partner_ == nullptr || from != partner_) {
            ddewire::DropAck(ack);
            return;
        }
        if (advise_ && ack.carried == advise_->item) {
            ddewire::SettleAdvise(*advise_, ack.Positive());
            advise_.reset();
            adviseAnswer_ = ack.Positive();
            return;
        }
        const auto handle = reinterpret_cast<HGLOBAL>(ack.carried);
        if (execute_ != nullptr && handle == execute_) {
            GlobalFree(execute_);
            execute_ = nullptr;
            if (owner_ != nullptr) {
                owner_->OnExecuteAnswered(ack);
            }
            return;
        }
        const auto late = std::find(late_.begin(), late_.end(), handle);
        if (late != late_.end()) {
            GlobalFree(*late);
            late_.erase(late);
            return;
        }
        ddewire::DropAck(ack);
    }

    void OnData(HWND from, LPARAM lParam) {
        ddewire::ReceivedData data(lParam);
        const bool partner = partner_ != nullptr && from == partner_ && !terminating_;
        ConversationOwner* owner = partner ? owner_ : nullptr;
        // The hot link was asked for in CF_TEXT; data in any other format (a
        // server that ignores the request) is refused, not read as text. No
        // memory at all is a value of no bytes (no NUL either), which is how
        // a server sends an empty value that has no terminating NUL.
        bool accepted = false;
        if (owner != nullptr && (data.IsText() || !data.HasMemory())) {
            accepted = owner->QueueValue(data.HasMemory() ? data.Text() : std::string());
        }
        data.Answer(from, window_, partner, accepted);  // before the handover: the server may wait
        if (accepted) {
            owner->HandOver();
        }
    }

    // A terminate from any window but the partner is the answer of a
    // stranger we sent away, or none of our business.
    void OnTerminate(HWND from) {
        if (partner_ == nullptr || from != partner_) {
            return;
        }
        if (terminating_) {
            DestroyWindow(window_);  // our terminate is answered: the end
            return;
        }
        ddewire::PostTerminate(partner_, window_);
        partner_ = nullptr;  // answered: nothing more is posted to it
        lost_ = true;
        ExecuteTimedOut();  // no ack will come; freed with the window
        if (owner_ != nullptr) {
            owner_->OnPartnerGone();
        }
    }

    ConversationOwner* owner_;
    HWND window_;
    HWND partner_ = nullptr;
    std::string service_;
    std::string topic_;
    bool initiating_ = false;
    bool answered_ = false;     // an answer came that was not taken
    bool lost_ = false;         // the server ended the conversation
    bool terminating_ = false;  // our terminate waits for its answer
    std::optional<ddewire::Advise> advise_;
    std::optional<bool> adviseAnswer_;  // positive or not, once answered
    HGLOBAL execute_ = nullptr;         // the execute that waits for its ack
    std::vector<HGLOBAL> late_;         // executes past their bound
};

}  // namespace

class Win32DdeLink::Impl : public ConversationOwner, public ExecuteWatch {
  public:
    explicit Impl(HWND control) : control_(control) {
        static const bool registered = (RegisterWindowClass(kLinkClass, &Impl::WindowProc), true);
        (void)registered;
        window_ = CreateWindowExA(0, kLinkClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        if (window_ == nullptr) {
            Raise(kErrOutOfMemory);
        }
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    ~Impl() {
        events_ = nullptr;
        controlBehind_ = false;  // the control may be gone already
        EndConversation();
        if (spare_ != nullptr) {
            spare_->Retire();
        }
        StopWatchingExecute();
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void SetTopic(const std::string& topic) { topic_ = topic; }
    void SetItem(const std::string& item) { item_ = item; }
    void SetEvents(DdeLinkEvents* events) { events_ = events; }
    const std::string& Text() const { return text_; }

    void SetMode(int16_t mode) {
        if (mode == 0) {
            EndConversation();
            return;
        }
        if (mode != 1) {
            Raise(kErrInvalidPropertyValue);
        }
        Connect();
    }

    int16_t Mode() const { return (open_ && IsWindow(conversation_->Partner())) ? 1 : 0; }

    void Execute(const std::string& command) {
        if (!open_ || conversation_->Partner() == nullptr) {
            Raise(kErrDdeMethodNoChannel);
        }
        if (executeWaiting_ || outcome_) {
            Raise(kErrInvalidProcedureCall);
        }
        // No liveness check first: a post to a window that is gone fails at
        // once, and the check after the failure sorts it out. That keeps a
        // server round trip off every command.
        const HGLOBAL memory = ddewire::NewExecute(command);
        if (memory == nullptr) {
            Raise(kErrOutOfMemory);
        }
        if (!conversation_->StartExecute(memory)) {
            if (!IsWindow(conversation_->Partner())) {
                LoseConversation();
                Raise(kErrDdeMethodNoChannel);
            }
            FinishExecute(kErrDdeNoResponse, false);  // its queue is full
            return;
        }
        executeWaiting_ = true;
        executeStart_ = GetTickCount();
        ExecutesWaiting().push_back(this);
    }

    // --- what the conversation tells

    bool QueueValue(std::string text) override {
        try {
            pending_.push_back(std::move(text));
        } catch (...) {
            return false;
        }
        return true;
    }

    // From the message loop the value is delivered at once. Inside an open
    // that waits for a hot link's answer, or inside a change handler that
    // lets the loop run, it stays queued: one posted message stands for
    // every value queued until it is handled, and the delivery takes them
    // all (under a flood a post per value would leave a stale message per
    // value for the loop to fetch). If the post fails (full queue) the watch
    // timer delivers.
    void HandOver() override {
        if (Waiting() == 0 && !delivering_) {
            DeliverPending();
        } else if (!deliverPosted_) {
            deliverPosted_ = PostMessageA(window_, kDeliverMessage, 0, 0) != FALSE;
        }
    }

    void OnExecuteAnswered(const ddewire::Ack& ack) override {
        StopWatchingExecute();
        const int32_t error = ack.Positive() ? 0 : ack.Busy() ? kErrDdeBusy : kErrDdeNoResponse;
        FinishExecute(error, Waiting() == 0);
    }

    void OnPartnerGone() override {
        // During the open, the open fails with no close notification (as for
        // a refused hot link); the wait sees it.
        if (!linking_) {
            LoseConversation();
        }
    }

    void CheckDeadline(DWORD now) override {
        if (executeWaiting_ && now - executeStart_ >= kExecuteLimitMs) {
            conversation_->ExecuteTimedOut();
            StopWatchingExecute();
            FinishExecute(kErrDdeTimeout, Waiting() == 0);
        }
    }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        switch (message) {
            case kDeliverMessage:
                self->deliverPosted_ = false;
                self->DeliverPending();
                return 0;
            case kClosedMessage:
                self->NotifyClosed(static_cast<unsigned>(wParam));
                return 0;
            case kOutcomeMessage:
                self->DeliverOutcome();
                return 0;
            case WM_TIMER:
                self->Watch();
                return 0;
            default:
                return DefWindowProcA(window, message, wParam, lParam);
        }
    }

    void Connect() {
        EndConversation();
        const size_t bar = topic_.find('|');
        const std::string service = bar == std::string::npos ? topic_ : topic_.substr(0, bar);
        const std::string topic = bar == std::string::npos ? std::string() : topic_.substr(bar + 1);
        if (spare_ != nullptr && !spare_->Unanswered()) {
            spare_->Retire();
            spare_ = nullptr;
        }
        Conversation* conversation = spare_ != nullptr ? spare_ : Conversation::Create(this);
        spare_ = nullptr;
        if (conversation == nullptr) {
            Raise(kErrOutOfMemory);
        }
        if (!conversation->Initiate(service, topic)) {
            if (conversation->Unanswered()) {
                spare_ = conversation;
            } else {
                conversation->Retire();
            }
            Raise(kErrNoForeignApplication);
        }
        conversation_ = conversation;
        ++generation_;
        if (!AwaitHotLink()) {
            EndConversation();
            Raise(kErrDdeNoResponse);
        }
        open_ = true;
        SetTimer(window_, kWatchTimer, kWatchIntervalMs, nullptr);
    }

    // Asks for the hot link and waits for its answer, at most
    // kAdviseLimitMs. Only DDE messages are dispatched meanwhile (of every
    // link of the thread): a value or an outcome for another link is queued
    // and delivered after this call, so no notification runs inside it, and
    // no close, timer or paint of the window either.
    bool AwaitHotLink() {
        Conversation* const conversation = conversation_;
        if (!conversation->PostAdvise(item_)) {
            return false;
        }
        linking_ = true;
        ++Waiting();
        const DWORD start = GetTickCount();
        DWORD looked = start;  // when the server's window was last looked at
        for (;;) {
            const DWORD elapsed = GetTickCount() - start;
            const DWORD left = elapsed < kAdviseLimitMs ? kAdviseLimitMs - elapsed : 0;
            const bool quiet = MsgWaitForMultipleObjects(
                                   0, nullptr, FALSE, left < kLookSliceMs ? left : kLookSliceMs,
                                   QS_POSTMESSAGE | QS_SENDMESSAGE) == WAIT_TIMEOUT;
            MSG message;
            while (!conversation->AdviseAnswered() && !conversation->Lost() &&
                   PeekMessageA(&message, nullptr, WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) {
                DispatchMessageA(&message);
            }
            if (conversation->AdviseAnswered() || conversation->Lost()) {
                break;
            }
            // A server that dies never answers: its window is looked at after
            // each quiet slice, and at least every slice while other
            // conversations keep the thread busy.
            const DWORD now = GetTickCount();
            if ((quiet || now - looked >= kLookSliceMs)) {
                looked = now;
                if (!IsWindow(conversation->Partner())) {
                    break;
                }
            }
            if (now - start >= kAdviseLimitMs) {
                break;
            }
        }
        --Waiting();
        linking_ = false;
        return !conversation->Lost() && conversation->AdviseAccepted();
    }

    // The outcome of the execute: handed over at once from the message
    // loop, else posted.
    void FinishExecute(int32_t error, bool fromLoop) {
        outcome_ = error;
        if (fromLoop) {
            DeliverOutcome();
        } else {
            PostMessageA(window_, kOutcomeMessage, 0, 0);  // or the watch timer delivers
        }
    }

    void DeliverOutcome() {
        if (!outcome_) {
            return;
        }
        const int32_t error = *outcome_;
        outcome_.reset();
        if (events_ != nullptr) {
            events_->OnExecuteDone(error);
        }
    }

    void StopWatchingExecute() {
        executeWaiting_ = false;
        auto& links = ExecutesWaiting();
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
    }

    // Delivers every queued value, oldest first. A delivery can nest: the
    // change handler may let the message loop run (a modal dialog, a call
    // that dispatches). The nested call returns at once and the outer loop
    // takes the rest, so values stay in order.
    void DeliverPending() {
        if (delivering_) {
            return;
        }
        delivering_ = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{delivering_};
        while (!pending_.empty()) {
            text_ = std::move(pending_.front());
            pending_.pop_front();
            controlBehind_ = true;
            if (events_ != nullptr) {
                events_->OnLinkChange();
            }
        }
    }

    // The control catches up with Text() from the watch timer, not per
    // value: under Wine setting an EDIT's text costs a few hundred
    // microseconds, which on every value would sit between the decoder and
    // the logger and cut the rate of a burst by a fifth. Handlers read
    // Text(), which is always current.
    void UpdateControl() {
        if (controlBehind_ && control_ != nullptr) {
            SetWindowTextA(control_, text_.c_str());
        }
        controlBehind_ = false;
    }

    // A killed server never sends a terminate; its window just vanishes.
    void Watch() {
        DeliverPending();
        UpdateControl();
        CheckDeadline(GetTickCount());
        DeliverOutcome();
        if (open_ && !IsWindow(conversation_->Partner())) {
            LoseConversation();
        }
    }

    // The server ended the conversation (terminated, quit or died): free it
    // and report the close once, from the message loop.
    void LoseConversation() {
        if (generation_ == closedGeneration_) {
            return;
        }
        EndConversation();
        closedGeneration_ = generation_;
        PostMessageA(window_, kClosedMessage, generation_, 0);
    }

    void NotifyClosed(unsigned generation) {
        // A close posted for an earlier conversation is stale once a new one
        // has been opened.
        if (generation == generation_ && !open_ && events_ != nullptr) {
            events_->OnLinkClose();
        }
    }

    // Ends the conversation without a close notification; an execute still
    // waiting gets 293. Our terminate is not waited for: the conversation's
    // window takes the answer, and a new conversation has a window of its own.
    void EndConversation() {
        KillTimer(window_, kWatchTimer);
        UpdateControl();  // no watch timer from now on
        if (executeWaiting_) {
            StopWatchingExecute();
            FinishExecute(kErrDdeMethodNoChannel, false);
        }
        if (conversation_ != nullptr) {
            conversation_->Retire();
            conversation_ = nullptr;
        }
        open_ = false;
        closedGeneration_ = generation_;
    }

    HWND control_;
    HWND window_ = nullptr;  // the link's own, message-only
    DdeLinkEvents* events_ = nullptr;
    std::string topic_;
    std::string item_;
    std::string text_;
    Conversation* conversation_ = nullptr;  // the open one, or the one being opened
    Conversation* spare_ = nullptr;         // its initiate found nobody: used again
    bool open_ = false;                     // the hot link stands
    bool linking_ = false;                  // the open waits for the hot link's answer
    unsigned generation_ = 0;               // counts conversations
    unsigned closedGeneration_ = 0;
    bool executeWaiting_ = false;  // an execute waits for its ack
    DWORD executeStart_ = 0;
    std::optional<int32_t> outcome_;  // an execute's outcome not yet handed over
    std::deque<std::string> pending_;
    bool delivering_ = false;
    bool deliverPosted_ = false;  // a kDeliverMessage is in the queue
    bool controlBehind_ = false;  // the control does not show text_ yet
};

Win32DdeLink::Win32DdeLink(HWND control) : impl_(std::make_unique<Impl>(control)) {}

Win32DdeLink::~Win32DdeLink() = default;

void Win32DdeLink::SetLinkTopic(const std::string& topic) {
    impl_->SetTopic(topic);
}

void Win32DdeLink::SetLinkItem(const std::string& item) {
    impl_->SetItem(item);
}

void Win32DdeLink::SetLinkMode(int16_t mode) {
    impl_->SetMode(mode);
}

int16_t Win32DdeLink::LinkMode() const {
    return impl_->Mode();
}

void Win32DdeLink::LinkExecute(const std::string& command) {
    impl_->Execute(command);
}

std::string Win32DdeLink::Text() const {
    return impl_->Text();
}

void Win32DdeLink::SetEvents(DdeLinkEvents* events) {
    impl_->SetEvents(events);
}

}  // namespace quillon::win32
