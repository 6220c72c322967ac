#include "win32/Win32DdeLink.h"

#include <dde.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "base/RuntimeError.h"
#include "dde/DdeLinkEngine.h"
#include "win32/DdeWire.h"

// The link's decisions are the engine's (dde/DdeLinkEngine.h); the packing
// of messages and the actions on the wire are win32/DdeWire.cpp. This file
// owns the windows and timers, routes each message to the engine, runs the
// two short waits inside a call, and hands the engine's notifications to
// the window from the message loop.
//
// A link has a message-only window of its own for its posted notifications
// and its timers; each conversation has a hidden top-level client window,
// made and destroyed as the engine says.

namespace quillon::win32 {

namespace {

constexpr UINT kDeliverMessage = WM_APP + 1;  // notifications are waiting
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchIntervalMs = 250;
constexpr UINT_PTR kDeadlineTimer = 2;     // the engine's next deadline, when sooner
constexpr DWORD kLookSliceMs = 100;        // a wait looks at the server's window this often
constexpr dde::Tick kAckLookAfterMs = 20;  // an execute's ack is looked for ahead of values
// The time a window gets to answer an initiate. A DDE server's thread
// answers in well under a millisecond when it pumps at all; this leaves
// room for a loaded machine without letting a silent one hold the window.
constexpr UINT kInitiateLimitMs = 150;
constexpr char kLinkClass[] = "QuillonDdeLinkWindow";
constexpr char kConversationClass[] = "QuillonDdeConversation";

dde::Tick Now() {
    return GetTickCount();
}

// Shared by the links: they all run on the one thread.
dde::PassedOverThreads& PassedOver() {
    static dde::PassedOverThreads threads;
    return threads;
}

// How many calls that let DDE messages in run right now. While one does, a
// notification is posted, not handed over.
int& Waiting() {
    static int waiting = 0;
    return waiting;
}

struct WaitingScope {
    WaitingScope() { ++Waiting(); }
    ~WaitingScope() { --Waiting(); }
    WaitingScope(const WaitingScope&) = delete;
    WaitingScope& operator=(const WaitingScope&) = delete;
};

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

}  // namespace

class Win32DdeLink::Impl {
  public:
    explicit Impl(HWND control)
        : control_(control), wire_(kConversationClass, this), engine_(wire_) {
        static const bool registered =
            (RegisterWindowClass(kLinkClass, &Impl::LinkWindowProc),
             RegisterWindowClass(kConversationClass, &Impl::ConversationWindowProc), true);
        (void)registered;
        window_ = CreateWindowExA(0, kLinkClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        if (window_ == nullptr) {
            Raise(kErrOutOfMemory);
        }
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        Links().push_back(this);
    }

    ~Impl() {
        // The engine's own end (a member) posts the terminates and destroys
        // the conversations' windows.
        events_ = nullptr;
        auto& links = Links();
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
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
            End();
            return;
        }
        if (mode != 1) {
            Raise(kErrInvalidPropertyValue);
        }
        Connect();
    }

    int16_t Mode() const { return engine_.Open() ? 1 : 0; }

    void Execute(const std::string& command) {
        const int32_t error = engine_.Execute(command, Now());
        AfterCall();
        if (error != 0) {
            Raise(error);
        }
    }

  private:
    static std::vector<Impl*>& Links() {
        static std::vector<Impl*> links;
        return links;
    }

    static LRESULT CALLBACK LinkWindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
        auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        switch (message) {
            case kDeliverMessage:
                self->deliverPosted_ = false;
                self->Deliver();
                return 0;
            case WM_TIMER:
                if (wParam == kDeadlineTimer) {
                    KillTimer(window, kDeadlineTimer);
                    self->deadline_.reset();
                } else {
                    // Only once the values pause: a setting of the control
                    // would sit between a value and its command.
                    if (!self->deliveredSinceWatch_) {
                        self->UpdateControl();
                    }
                    self->deliveredSinceWatch_ = false;
                }
                self->engine_.OnTime(Now());
                self->AfterInput();
                return 0;
            default:
                return DefWindowProcA(window, message, wParam, lParam);
        }
    }

    static LRESULT CALLBACK ConversationWindowProc(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
        auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr || message < WM_DDE_FIRST || message > WM_DDE_LAST) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        self->OnMessage(ddewire::FromHwnd(window), message, wParam, lParam);
        return 0;
    }

    void OnMessage(dde::Window to, UINT message, WPARAM wParam, LPARAM lParam) {
        const dde::Window from = static_cast<dde::Window>(wParam);
        switch (message) {
            case WM_DDE_ACK:
                if (engine_.IsInitiateAnswer(to, from)) {
                    engine_.OnInitiateAnswer(to, from, ddewire::ReadInitiateAnswer(lParam), Now());
                } else {
                    engine_.OnAck(to, from, ddewire::TakeAck(lParam), Now());
                }
                break;
            case WM_DDE_DATA:
                ServeWaitingExecutes();
                wire_.BeginData(lParam);
                engine_.OnData(to, from, ddewire::ReadData(lParam), Now());
                wire_.EndData();
                AfterInput();  // the value goes before the atoms are deleted
                wire_.FlushDeletes();
                return;
            case WM_DDE_TERMINATE:
                engine_.OnTerminate(to, from, Now());
                break;
            default:
                return;
        }
        AfterInput();
    }

    // While an execute has waited a while, every value takes the acks
    // waiting in the queue first: behind a flood of values an ack would
    // wait for all of them, and so would the next command. (Not at once: a
    // look into the queue is a server round trip, and an ack usually comes
    // within a millisecond.) Then every link's limits are checked: a flood
    // keeps the timers back.
    static void ServeWaitingExecutes() {
        const auto& links = Links();
        if (std::none_of(links.begin(), links.end(),
                         [](Impl* link) { return link->engine_.Executing(); })) {
            return;
        }
        const dde::Tick now = Now();
        MSG message;
        while (std::any_of(links.begin(), links.end(),
                           [now](Impl* link) {
                               return link->engine_.ExecutingFor(now, kAckLookAfterMs);
                           }) &&
               PeekMessageA(&message, nullptr, WM_DDE_ACK, WM_DDE_ACK, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        const std::vector<Impl*> copy = links;
        for (Impl* link : copy) {
            link->engine_.CheckDeadlines(Now());
            link->AfterInput();
        }
    }

    void Connect() {
        const size_t bar = topic_.find('|');
        const std::string service = bar == std::string::npos ? topic_ : topic_.substr(0, bar);
        const std::string topic = bar == std::string::npos ? std::string() : topic_.substr(bar + 1);
        int32_t error = 0;
        {
            // An answer that arrives inside the call (the initiate's are
            // sent to us) tells the window nothing until it has returned.
            const WaitingScope inside;
            error = engine_.BeginInitiate(service, topic, Now());
            if (error == 0) {
                Initiate();
                error = engine_.EndInitiate(item_, Now());
            }
            if (error == 0) {
                AwaitHotLink();
                error = engine_.FinishOpen(Now());
            }
        }
        AfterCall();
        if (error != 0) {
            Raise(error);
        }
    }

    // Offers the conversation to each top-level window in turn, each with a
    // short limit, until a server takes it, instead of one broadcast that
    // waits for the slowest window on the desktop. The server answers by
    // sending an ack to our window, which the send dispatches (so no
    // SMTO_BLOCK); SMTO_ABORTIFHUNG returns at once for a thread the system
    // already counts as hung.
    void Initiate() {
        std::vector<HWND> windows;
        EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
        const HWND self = ddewire::ToHwnd(engine_.InitiateWindow());
        const LPARAM names = MAKELPARAM(engine_.InitiateService(), engine_.InitiateTopic());
        for (const HWND window : windows) {
            if (!engine_.Initiating()) {
                break;
            }
            const DWORD thread = GetWindowThreadProcessId(window, nullptr);
            if (engine_.Owns(ddewire::FromHwnd(window)) || thread == 0 ||
                PassedOver().IsPassedOver(thread, Now())) {
                continue;
            }
            DWORD_PTR result = 0;
            if (SendMessageTimeoutA(window, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(self), names,
                                    SMTO_ABORTIFHUNG, kInitiateLimitMs, &result) == 0 &&
                IsWindow(window)) {
                PassedOver().PassOver(thread, Now());
            }
        }
    }

    // Waits for the hot link's answer. Only DDE messages are dispatched
    // meanwhile (of every link of the thread): a value or an outcome for
    // any link is posted and handed over after this call, so no
    // notification runs inside it, and no close, timer or paint either.
    void AwaitHotLink() {
        AwaitDde([this] { return engine_.AdvisePending(Now()); }, dde::kAdviseLimitMs);
    }

    // Ends the conversation, waiting a short while for the server's answer
    // to our terminate: when the window closes, no conversation is left
    // open on the server's side, and a silent server holds nothing up.
    void End() {
        const dde::Window ending = engine_.End(Now());
        if (ending != 0) {
            AwaitDde([&] { return engine_.AwaitingTerminate(ending); }, dde::kEndLimitMs);
        }
        UpdateControl();
        AfterCall();
    }

    template <typename Pending>
    void AwaitDde(Pending pending, DWORD limit) {
        const WaitingScope inside;
        const DWORD start = GetTickCount();
        while (pending()) {
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed >= limit) {
                break;
            }
            const DWORD left = limit - elapsed;
            const bool quiet = MsgWaitForMultipleObjects(
                                   0, nullptr, FALSE, left < kLookSliceMs ? left : kLookSliceMs,
                                   QS_POSTMESSAGE | QS_SENDMESSAGE) == WAIT_TIMEOUT;
            MSG message;
            while (pending() &&
                   PeekMessageA(&message, nullptr, WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) {
                DispatchMessageA(&message);
            }
            // A server that dies never answers: the engine looks at its
            // window after each quiet slice, and at least every slice while
            // other conversations keep the thread busy.
            const DWORD now = GetTickCount();
            if (quiet || now - looked_ >= kLookSliceMs) {
                looked_ = now;
                engine_.OnTime(now);
            }
        }
    }

    // After an input from the message loop: the notifications are handed
    // over at once, unless a wait inside a call or a delivery runs.
    void AfterInput() {
        Schedule();
        if (!engine_.HasNotification()) {
            return;
        }
        if (Waiting() == 0 && !delivering_) {
            Deliver();
        } else {
            PostDeliver();
        }
    }

    // After a call of the link: never inside the call.
    void AfterCall() {
        Schedule();
        if (engine_.HasNotification()) {
            PostDeliver();
        }
    }

    // One posted message stands for every notification queued until it is
    // handled (under a flood a post per value would leave a stale message
    // per value for the loop to fetch). If the post fails (full queue) the
    // watch timer delivers.
    void PostDeliver() {
        if (!deliverPosted_) {
            deliverPosted_ = PostMessageA(window_, kDeliverMessage, 0, 0) != FALSE;
        }
    }

    // The watch timer runs while a conversation stands or waits for its
    // end; a deadline sooner than its next tick gets a timer of its own.
    // Neither is set again while it stands: under a flood of values a timer
    // set anew on every value would never come.
    void Schedule() {
        const DWORD now = Now();
        const auto next = engine_.NextDeadline(now);
        if (next && static_cast<int32_t>(*next - now) < static_cast<int32_t>(kWatchIntervalMs) &&
            (!deadline_ || *deadline_ != *next)) {
            const auto delay = static_cast<int32_t>(*next - now);
            SetTimer(window_, kDeadlineTimer, delay > 0 ? static_cast<UINT>(delay) : 1, nullptr);
            deadline_ = *next;
        }
        const bool watch = next.has_value() || engine_.Linked();
        if (watch != watching_) {
            if (watch) {
                SetTimer(window_, kWatchTimer, kWatchIntervalMs, nullptr);
            } else {
                KillTimer(window_, kWatchTimer);
            }
            watching_ = watch;
        }
    }

    // Hands every notification over, in order. A delivery can nest: the
    // change handler may let the message loop run (a modal dialog, a call
    // that dispatches). The nested call returns at once and the outer loop
    // takes the rest, so they stay in order.
    void Deliver() {
        if (delivering_) {
            return;
        }
        delivering_ = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{delivering_};
        while (engine_.HasNotification()) {
            const dde::Notification notification = engine_.TakeNotification();
            switch (notification.kind) {
                case dde::Notification::kValue:
                    text_ = notification.value;
                    controlBehind_ = true;
                    deliveredSinceWatch_ = true;
                    if (events_ != nullptr) {
                        events_->OnLinkChange();
                    }
                    break;
                case dde::Notification::kOutcome:
                    if (events_ != nullptr) {
                        events_->OnExecuteDone(notification.error);
                    }
                    break;
                case dde::Notification::kClose:
                    UpdateControl();
                    if (events_ != nullptr) {
                        events_->OnLinkClose();
                    }
                    break;
            }
        }
    }

    // The control catches up with Text() from the watch timer once the
    // values pause, and when the conversation ends, not per value: under
    // Wine setting an EDIT's text costs a few hundred microseconds, which
    // on every value (or every tick of a steady stream) would sit between
    // the decoder and the logger. Handlers read Text(), which is always
    // current.
    void UpdateControl() {
        if (controlBehind_ && control_ != nullptr) {
            SetWindowTextA(control_, text_.c_str());
        }
        controlBehind_ = false;
    }

    HWND control_;
    HWND window_ = nullptr;  // the link's own, message-only
    ddewire::Win32Wire wire_;
    dde::DdeLinkEngine engine_;  // after wire_: its end uses the wire
    DdeLinkEvents* events_ = nullptr;
    std::string topic_;
    std::string item_;
    std::string text_;
    DWORD looked_ = 0;                   // when a wait last had the engine look at the server
    bool watching_ = false;              // the watch timer runs
    std::optional<dde::Tick> deadline_;  // the deadline timer's, while it is set
    bool delivering_ = false;
    bool deliverPosted_ = false;        // a kDeliverMessage is in the queue
    bool controlBehind_ = false;        // the control does not show text_ yet
    bool deliveredSinceWatch_ = false;  // a value came since the watch timer's last tick
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
