#include "win32/Win32DdeLink.h"

#include <ddeml.h>

#include <cstring>
#include <deque>
#include <map>
#include <vector>

#include "base/RuntimeError.h"
#include "win32/Win32DdeHandles.h"

// The item names and the execute command carried over these links are
// documented with the command builder in gateway/DisplayCwCommand.h.

namespace quillon::win32 {

namespace {

constexpr UINT kDeliverMessage = WM_APP + 1;  // values are waiting in the queue
constexpr UINT kClosedMessage = WM_APP + 2;   // wParam: generation of the lost conversation
constexpr UINT kCheckMessage = WM_APP + 3;    // the server sent a terminate: look now
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchIntervalMs = 250;
constexpr DWORD kTransactionTimeoutMs = 5000;
constexpr char kWindowClass[] = "QuillonDdeLinkWindow";

// Client only; registrations of other servers are of no interest.
constexpr DWORD kInstanceFlags =
    APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS;

}  // namespace

class Win32DdeLink::Impl {
  public:
    explicit Impl(HWND control) : control_(control) {
        RegisterWindowClass();
        window_ = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
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

    int16_t Mode() const { return (session_ != nullptr && ConversationAlive()) ? 1 : 0; }

    void Execute(const std::string& command) {
        if (session_ == nullptr) {
            Raise(kErrDdeMethodNoChannel);
        }
        // No liveness check first: on a conversation the server has ended the
        // transaction fails at once, and the check after the failure sorts
        // it out. That keeps a server round trip off every command.
        std::vector<BYTE> data(command.begin(), command.end());
        data.push_back(0);
        DWORD ack = 0;
        // Synchronous: while it waits, DDEML dispatches the DDE messages of
        // other conversations, so the other link's values may be queued
        // meanwhile; they are delivered after this command, in order.
        const HDDEDATA accepted = DdeClientTransaction(
            data.data(), static_cast<DWORD>(data.size()), session_->conversation.Get(), nullptr,
            CF_TEXT, XTYP_EXECUTE, kTransactionTimeoutMs, &ack);
        if (accepted != nullptr) {
            return;
        }
        const UINT error = DdeGetLastError(session_->instance.Id());
        if (!ConversationAlive()) {
            LoseConversation();
            Raise(kErrDdeMethodNoChannel);
        }
        if (error == DMLERR_EXECACKTIMEOUT) {
            Raise(kErrDdeTimeout);
        }
        // Wine reports a busy acknowledgement as DMLERR_NOTPROCESSED; the
        // acknowledgement word itself still carries the busy bit.
        if (error == DMLERR_BUSY || (ack & DDE_FBUSY) != 0) {
            Raise(kErrDdeBusy);
        }
        Raise(kErrDdeNoResponse);
    }

  private:
    // The DDEML state of one conversation. Each conversation gets a fresh
    // instance: once a server has terminated a conversation, Wine's DDEML
    // refuses every later DdeConnect to that service and topic on the same
    // instance, which would make reconnection after a restart fail. Only an
    // instance that never had a conversation is kept for the next attempt.
    struct Session {
        DdeInstance instance;  // declared first: destroyed last
        DdeStringHandle service;
        DdeStringHandle topic;
        DdeStringHandle item;
        DdeConversation conversation;
        bool serverTerminated = false;
    };

    static std::map<HCONV, Impl*>& Links() {
        static std::map<HCONV, Impl*> links;
        return links;
    }

    static void RegisterWindowClass() {
        static bool registered = false;
        if (registered) {
            return;
        }
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &Impl::WindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kWindowClass;
        registered =
            RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }

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
            case kCheckMessage:
            case WM_TIMER:
                self->Watch();
                return 0;
            default:
                return DefWindowProcA(window, message, wParam, lParam);
        }
    }

    // Runs inside DDEML: only copy and post. Starting a transaction or
    // touching the instance from here fails with a re-entrancy error.
    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ, HSZ,
                                      HDDEDATA data, ULONG_PTR, ULONG_PTR) {
        const auto found = Links().find(conversation);
        if (found == Links().end()) {
            return type == XTYP_ADVDATA ? reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED) : nullptr;
        }
        Impl* self = found->second;
        if (type == XTYP_ADVDATA) {
            // The hot link was asked for in CF_TEXT; data in any other format
            // (a server that ignores the request) is refused, not read as
            // single-byte text.
            if (format != CF_TEXT) {
                return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
            }
            return self->QueueValue(data);
        }
        if (type == XTYP_DISCONNECT) {
            if (self->session_ != nullptr) {
                self->session_->serverTerminated = true;
            }
            PostMessageA(self->window_, kCheckMessage, 0, 0);
        }
        return nullptr;
    }

    HDDEDATA QueueValue(HDDEDATA data) {
        try {
            std::string value;
            if (data != nullptr) {
                DWORD size = 0;
                const BYTE* bytes = DdeAccessData(data, &size);
                if (bytes != nullptr) {
                    // CF_TEXT ends at the first NUL; a server that sends no NUL
                    // ends at the data size. Never read past the size.
                    const void* nul = std::memchr(bytes, 0, size);
                    const size_t length =
                        nul != nullptr ? static_cast<size_t>(static_cast<const BYTE*>(nul) - bytes)
                                       : size;
                    value.assign(reinterpret_cast<const char*>(bytes), length);
                    DdeUnaccessData(data);
                }
            }
            pending_.push_back(std::move(value));
        } catch (...) {
            return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
        }
        // One posted message stands for every value queued until it is
        // handled, and the delivery takes them all: under a flood a post per
        // value would leave a stale message per value for the loop to fetch.
        // If the post fails (full queue) the watch timer delivers instead.
        if (!deliverPosted_) {
            deliverPosted_ = PostMessageA(window_, kDeliverMessage, 0, 0) != FALSE;
        }
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    }

    // Delivers every queued value, oldest first. A delivery can nest: the
    // change handler's execute lets DDEML dispatch messages while it waits.
    // The nested call returns at once and the outer loop takes the rest, so
    // values stay in order and no execute starts inside another.
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

    void Connect() {
        EndConversation();
        const size_t bar = topic_.find('|');
        const std::string service = bar == std::string::npos ? topic_ : topic_.substr(0, bar);
        const std::string topic = bar == std::string::npos ? std::string() : topic_.substr(bar + 1);

        // An instance on which no conversation has lived yet is reused: the
        // retry timers try every 500 ms, and a fresh instance per unanswered
        // attempt costs more CPU than the rest of an idle gateway.
        std::unique_ptr<Session> session = std::move(unused_);
        if (session == nullptr) {
            session = std::make_unique<Session>();
            // A failed initialisation is treated like an unanswered connect:
            // the only thing that counts is that no conversation exists.
            if (!session->instance.Initialize(&Impl::Callback, kInstanceFlags)) {
                Raise(kErrNoForeignApplication);
            }
        }
        const DWORD instance = session->instance.Id();
        session->service.Assign(instance, service);
        session->topic.Assign(instance, topic);
        session->item.Assign(instance, item_);

        const HCONV conversation =
            DdeConnect(instance, session->service.Get(), session->topic.Get(), nullptr);
        // Decide from the missing handle: DdeGetLastError is not always set
        // when the initiate simply went unanswered.
        if (conversation == nullptr) {
            unused_ = std::move(session);
            Raise(kErrNoForeignApplication);
        }
        session->conversation.Reset(conversation);

        ++generation_;
        session_ = std::move(session);
        Links()[conversation] = this;

        // Hot link in CF_TEXT with the data in every notification: no
        // XTYPF_NODATA, and no XTYPF_ACKREQ (the server need not wait for us).
        const HDDEDATA started =
            DdeClientTransaction(nullptr, 0, conversation, session_->item.Get(), CF_TEXT,
                                 XTYP_ADVSTART, kTransactionTimeoutMs, nullptr);
        if (started == nullptr) {
            EndConversation();
            Raise(kErrDdeNoResponse);
        }
        SetTimer(window_, kWatchTimer, kWatchIntervalMs, nullptr);
    }

    bool ConversationAlive() const {
        if (session_ == nullptr || session_->serverTerminated) {
            return false;
        }
        CONVINFO info{};
        info.cb = sizeof(info);
        if (DdeQueryConvInfo(session_->conversation.Get(), QID_SYNC, &info) == 0) {
            return false;
        }
        if ((info.wStatus & ST_CONNECTED) == 0 || (info.wStatus & ST_TERMINATED) != 0) {
            return false;
        }
        // A killed server never sends a terminate; its window just vanishes.
        return info.hwndPartner == nullptr || IsWindow(info.hwndPartner);
    }

    void Watch() {
        DeliverPending();
        UpdateControl();
        if (session_ != nullptr && !ConversationAlive()) {
            LoseConversation();
        }
    }

    // The server ended the conversation (terminated, quit or died): free it
    // and report the close once, from the message loop.
    void LoseConversation() {
        if (session_ == nullptr) {
            return;
        }
        EndConversation();
        PostMessageA(window_, kClosedMessage, generation_, 0);
    }

    void NotifyClosed(unsigned generation) {
        // A close posted for an earlier conversation is stale once a new one
        // has been opened.
        if (generation == generation_ && session_ == nullptr && events_ != nullptr) {
            events_->OnLinkClose();
        }
    }

    // Ends the conversation without a close notification.
    void EndConversation() {
        KillTimer(window_, kWatchTimer);
        UpdateControl();  // no watch timer from now on
        if (session_ == nullptr) {
            return;
        }
        Links().erase(session_->conversation.Get());
        session_.reset();
    }

    HWND control_;
    HWND window_ = nullptr;
    DdeLinkEvents* events_ = nullptr;
    std::string topic_;
    std::string item_;
    std::string text_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<Session> unused_;  // instance with no conversation yet
    unsigned generation_ = 0;
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
