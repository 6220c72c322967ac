#include "win32/Win32DdeLink.h"

#include <dde.h>
// The acknowledgement flags DDE_FACK and DDE_FBUSY.
#include <ddeml.h>

#include <cstddef>
#include <cstring>
#include <deque>
#include <map>
#include <vector>

#include "base/RuntimeError.h"

// The item names and the execute command carried over these links are
// documented with the command builder in gateway/DisplayCwCommand.h.
//
// Who owns what on the wire (the sender allocates; atoms are global atoms):
//   INITIATE  our two atoms, deleted by us once every window has had it.
//   ACK to an initiate (sent, not posted)  the server's atoms: we delete them.
//   ADVISE    DDEADVISE memory and the item atom. A positive ack: the server
//             keeps the memory. A negative one, or a failed post: we free it.
//             The atom comes back in the ack, and we delete it.
//   DATA      DDEDATA memory and the item atom, from the server. fAckReq: we
//             acknowledge, reusing the atom (the server deletes it); else we
//             delete it. fRelease: we free the memory, unless our ack is
//             negative (the server frees it then). A DATA with no memory on
//             our hot link is a value of no bytes (a server sends an empty
//             value without its NUL that way).
//   EXECUTE   the command memory: we free it when its ack comes, whatever the
//             answer, or when the conversation ends before that.
//   TERMINATE carries nothing. Either side may send it; the other answers
//             with one, and nothing else is posted on the conversation after.
// Acks come in the order of the requests, so they are matched to the
// requests that wait for one in that order.

namespace quillon::win32 {

namespace {

constexpr UINT kDeliverMessage = WM_APP + 1;  // values are waiting in the queue
constexpr UINT kClosedMessage = WM_APP + 2;   // wParam: generation of the lost conversation
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchIntervalMs = 250;
constexpr DWORD kTransactionTimeoutMs = 5000;
constexpr DWORD kLookSliceMs = 100;  // a wait looks at the server's window this often
// The time a window gets to answer an initiate. A DDE server's thread
// answers in well under a millisecond when it pumps at all; this leaves
// room for a loaded machine without letting a silent one hold the window.
constexpr UINT kInitiateLimitMs = 150;
// How long a thread that let an initiate run out is left out of the
// initiates of every link of the process.
constexpr DWORD kPassOverMs = 2000;
constexpr char kWindowClass[] = "QuillonDdeLinkWindow";

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

// How many calls of the thread's links wait for an ack right now. While
// one does, a delivered value is queued and posted, not handed over.
int& Waiting() {
    static int waiting = 0;
    return waiting;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

// A global atom for a name; 0 for an empty name (any application or topic).
class GlobalAtom {
  public:
    explicit GlobalAtom(const std::string& name)
        : atom_(name.empty() ? 0 : GlobalAddAtomA(name.c_str())) {}
    ~GlobalAtom() {
        if (atom_ != 0) {
            GlobalDeleteAtom(atom_);
        }
    }
    GlobalAtom(const GlobalAtom&) = delete;
    GlobalAtom& operator=(const GlobalAtom&) = delete;
    ATOM Get() const { return atom_; }

  private:
    ATOM atom_;
};

}  // namespace

class Win32DdeLink::Impl {
  public:
    explicit Impl(HWND control) : control_(control) {
        RegisterWindowClass();
        // Hidden and top-level; WS_EX_TOOLWINDOW keeps it off the task list.
        window_ = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
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

    int16_t Mode() const { return (server_ != nullptr && IsWindow(server_)) ? 1 : 0; }

    void Execute(const std::string& command) {
        if (server_ == nullptr) {
            Raise(kErrDdeMethodNoChannel);
        }
        // No liveness check first: a post to a window that is gone fails at
        // once, and the check after the failure sorts it out. That keeps a
        // server round trip off every command.
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, command.size() + 1);
        void* bytes = memory != nullptr ? GlobalLock(memory) : nullptr;
        if (bytes == nullptr) {
            GlobalFree(memory);
            Raise(kErrOutOfMemory);
        }
        std::memcpy(bytes, command.c_str(), command.size() + 1);
        GlobalUnlock(memory);
        // The execute's lParam is the handle itself, not a packed pair.
        if (!PostMessageA(server_, WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(window_),
                          reinterpret_cast<LPARAM>(memory))) {
            GlobalFree(memory);
            if (!IsWindow(server_)) {
                LoseConversation();
                Raise(kErrDdeMethodNoChannel);
            }
            Raise(kErrDdeNoResponse);
        }
        const Answer answer = AwaitAck(Request{WM_DDE_EXECUTE, memory, ++requestId_});
        if (answer.lost) {
            Raise(kErrDdeMethodNoChannel);
        }
        if (!answer.arrived) {
            Raise(kErrDdeTimeout);
        }
        if ((answer.status & DDE_FACK) != 0) {
            return;
        }
        Raise((answer.status & DDE_FBUSY) != 0 ? kErrDdeBusy : kErrDdeNoResponse);
    }

  private:
    // A request that waits for its ack: the message, the memory it carries.
    struct Request {
        UINT message;
        HGLOBAL memory;
        unsigned id;
    };
    struct Answer {
        bool arrived = false;  // the ack came
        bool lost = false;     // the conversation ended first
        UINT_PTR status = 0;   // the ack's status word
    };

    static void RegisterWindowClass() {
        static bool registered = false;
        if (registered) {
            return;
        }
        // An ANSI class: the system passes an execute's bytes between two
        // ANSI windows unchanged, and converts them for a Unicode one.
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
        const HWND from = reinterpret_cast<HWND>(wParam);
        switch (message) {
            case kDeliverMessage:
                self->deliverPosted_ = false;
                self->DeliverPending();
                return 0;
            case kClosedMessage:
                self->NotifyClosed(static_cast<unsigned>(wParam));
                return 0;
            case WM_TIMER:
                self->Watch();
                return 0;
            case WM_DDE_ACK:
                if (self->initiating_) {
                    self->OnInitiateAck(from, lParam);
                } else {
                    self->OnAck(from, lParam);
                }
                return 0;
            case WM_DDE_DATA:
                self->OnData(from, lParam);
                return 0;
            case WM_DDE_TERMINATE:
                self->OnTerminate(from);
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
        const HWND server = Initiate(service, topic);
        if (server == nullptr) {
            Raise(kErrNoForeignApplication);
        }
        server_ = server;
        ++generation_;
        if (!Advise()) {
            EndConversation();
            Raise(kErrDdeNoResponse);
        }
        SetTimer(window_, kWatchTimer, kWatchIntervalMs, nullptr);
    }

    // Offers the conversation to each top-level window in turn and returns
    // the first server that took it, or null.
    HWND Initiate(const std::string& service, const std::string& topic) {
        std::vector<HWND> windows;
        EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
        const GlobalAtom serviceAtom(service);
        const GlobalAtom topicAtom(topic);
        const LPARAM names = MAKELPARAM(serviceAtom.Get(), topicAtom.Get());
        answered_ = nullptr;
        initiating_ = true;
        for (const HWND window : windows) {
            if (answered_ != nullptr) {
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
                                    names, SMTO_ABORTIFHUNG, kInitiateLimitMs, &result) == 0 &&
                IsWindow(window)) {
                PassedOver()[thread] = GetTickCount() + kPassOverMs;
            }
        }
        initiating_ = false;
        return answered_;
    }

    // An ack sent back to our initiate: the first server is taken, any other
    // that answers as well is told at once that the conversation is over.
    void OnInitiateAck(HWND server, LPARAM names) {
        const ATOM serviceAtom = LOWORD(names);
        const ATOM topicAtom = HIWORD(names);
        if (serviceAtom != 0) {
            GlobalDeleteAtom(serviceAtom);
        }
        if (topicAtom != 0) {
            GlobalDeleteAtom(topicAtom);
        }
        if (answered_ == nullptr) {
            answered_ = server;
        } else {
            PostMessageA(server, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
        }
    }

    // The hot link in CF_TEXT with the data in every update (no fDeferUpd),
    // and no fAckReq: the server need not wait for us.
    bool Advise() {
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(DDEADVISE));
        auto* options = memory != nullptr ? static_cast<DDEADVISE*>(GlobalLock(memory)) : nullptr;
        if (options == nullptr) {
            GlobalFree(memory);
            return false;
        }
        std::memset(options, 0, sizeof(DDEADVISE));
        options->cfFormat = CF_TEXT;
        GlobalUnlock(memory);
        const ATOM item = GlobalAddAtomA(item_.c_str());
        const LPARAM packed =
            PackDDElParam(WM_DDE_ADVISE, reinterpret_cast<UINT_PTR>(memory), item);
        if (!PostMessageA(server_, WM_DDE_ADVISE, reinterpret_cast<WPARAM>(window_), packed)) {
            FreeDDElParam(WM_DDE_ADVISE, packed);
            GlobalFree(memory);
            GlobalDeleteAtom(item);
            return false;
        }
        // A server that ends the conversation instead of answering: the
        // open fails, with no close notification (as for a refusal).
        linking_ = true;
        const Answer answer = AwaitAck(Request{WM_DDE_ADVISE, memory, ++requestId_});
        linking_ = false;
        return answer.arrived && !answer.lost && (answer.status & DDE_FACK) != 0;
    }

    // Waits for the ack of `request`, which has been posted. Only DDE
    // messages are dispatched meanwhile (of every link of the thread): a
    // value for another link is queued and delivered after this call, so no
    // notification runs inside it.
    Answer AwaitAck(const Request& request) {
        awaiting_.push_back(request);
        const unsigned generation = generation_;
        answer_ = Answer{};
        awaitedId_ = request.id;
        const DWORD start = GetTickCount();
        DWORD looked = start;  // when the server's window was last looked at
        ++Waiting();
        for (;;) {
            // The ack cannot be here yet on the first round: wait first.
            const DWORD elapsed = GetTickCount() - start;
            const DWORD left =
                elapsed < kTransactionTimeoutMs ? kTransactionTimeoutMs - elapsed : 0;
            const bool quiet = MsgWaitForMultipleObjects(
                                   0, nullptr, FALSE, left < kLookSliceMs ? left : kLookSliceMs,
                                   QS_POSTMESSAGE | QS_SENDMESSAGE) == WAIT_TIMEOUT;
            MSG message;
            while (!answer_.arrived && server_ != nullptr && generation == generation_ &&
                   PeekMessageA(&message, nullptr, WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) {
                DispatchMessageA(&message);
            }
            if (answer_.arrived) {
                break;
            }
            // A server that dies never answers: its window is looked at after
            // each quiet slice, and at least every slice while other
            // conversations keep the thread busy.
            const DWORD now = GetTickCount();
            const bool look = quiet || now - looked >= kLookSliceMs;
            if (look) {
                looked = now;
            }
            if (server_ == nullptr || generation != generation_ || (look && !IsWindow(server_))) {
                answer_.lost = true;
                if (server_ != nullptr && generation == generation_ && !linking_) {
                    LoseConversation();
                }
                break;
            }
            if (now - start >= kTransactionTimeoutMs) {
                break;  // the request stays in awaiting_ for a late ack
            }
        }
        --Waiting();
        awaitedId_ = 0;
        return answer_;
    }

    void OnAck(HWND from, LPARAM lParam) {
        UINT_PTR status = 0;
        UINT_PTR carried = 0;
        UnpackDDElParam(WM_DDE_ACK, lParam, &status, &carried);
        FreeDDElParam(WM_DDE_ACK, lParam);
        if (from != server_ || server_ == nullptr || awaiting_.empty()) {
            return;  // not of this conversation: nothing of ours to free
        }
        const Request request = awaiting_.front();
        awaiting_.pop_front();
        if (request.message == WM_DDE_ADVISE) {
            if (carried != 0) {
                GlobalDeleteAtom(static_cast<ATOM>(carried));
            }
            if ((status & DDE_FACK) == 0) {
                GlobalFree(request.memory);
            }
        } else {
            GlobalFree(request.memory);
        }
        if (request.id == awaitedId_) {
            answer_.arrived = true;
            answer_.status = status;
        }
    }

    void OnData(HWND from, LPARAM lParam) {
        UINT_PTR memoryValue = 0;
        UINT_PTR itemValue = 0;
        UnpackDDElParam(WM_DDE_DATA, lParam, &memoryValue, &itemValue);
        const auto memory = reinterpret_cast<HGLOBAL>(memoryValue);
        const auto item = static_cast<ATOM>(itemValue);
        const bool ours = server_ != nullptr && from == server_;
        bool ackRequested = false;
        bool release = false;
        bool accepted = false;
        const auto* data =
            memory != nullptr ? static_cast<const DDEDATA*>(GlobalLock(memory)) : nullptr;
        if (data != nullptr) {
            ackRequested = data->fAckReq != 0;
            release = data->fRelease != 0;
            // The hot link was asked for in CF_TEXT; data in any other format
            // (a server that ignores the request) is refused, not read as
            // single-byte text.
            if (ours && data->cfFormat == CF_TEXT) {
                const SIZE_T total = GlobalSize(memory);
                const size_t header = offsetof(DDEDATA, Value);
                const size_t size = total > header ? total - header : 0;
                accepted = QueueValue(reinterpret_cast<const BYTE*>(data) + header, size);
            }
            GlobalUnlock(memory);
        } else if (memory == nullptr && ours) {
            // No memory: the update of a warm link. We asked for the data,
            // so it is a value of no bytes at all (no NUL either), which is
            // how a server sends an empty value that has no terminating NUL.
            accepted = QueueValue(nullptr, 0);
        }
        const bool acknowledge = ackRequested && ours;
        if (acknowledge) {
            // Before the handover: the server may wait for it.
            const LPARAM ack =
                ReuseDDElParam(lParam, WM_DDE_DATA, WM_DDE_ACK, accepted ? DDE_FACK : 0, item);
            if (!PostMessageA(server_, WM_DDE_ACK, reinterpret_cast<WPARAM>(window_), ack)) {
                FreeDDElParam(WM_DDE_ACK, ack);
                GlobalDeleteAtom(item);
            }
        }
        if (memory != nullptr && release && (accepted || !acknowledge)) {
            GlobalFree(memory);
        }
        if (accepted) {
            HandOver();
        }
        // After the handover: deleting a global atom is a server round trip
        // that need not stand between the value and its command.
        if (!acknowledge) {
            FreeDDElParam(WM_DDE_DATA, lParam);
            if (item != 0) {
                GlobalDeleteAtom(item);
            }
        }
    }

    // From the message loop the value is delivered at once. Inside a call
    // that waits for an ack, or inside a change handler that lets the loop
    // run, it stays queued: one posted message stands for every value queued
    // until it is handled, and the delivery takes them all (under a flood a
    // post per value would leave a stale message per value for the loop to
    // fetch). If the post fails (full queue) the watch timer delivers.
    void HandOver() {
        if (Waiting() == 0 && !delivering_) {
            DeliverPending();
        } else if (!deliverPosted_) {
            deliverPosted_ = PostMessageA(window_, kDeliverMessage, 0, 0) != FALSE;
        }
    }

    bool QueueValue(const BYTE* bytes, size_t size) {
        try {
            // CF_TEXT ends at the first NUL; a server that sends no NUL ends
            // at the data size. Never read past the size.
            const void* nul = size != 0 ? std::memchr(bytes, 0, size) : nullptr;
            const size_t length =
                nul != nullptr ? static_cast<size_t>(static_cast<const BYTE*>(nul) - bytes) : size;
            pending_.emplace_back(length != 0 ? reinterpret_cast<const char*>(bytes) : "", length);
        } catch (...) {
            return false;
        }
        return true;
    }

    // The server ends the conversation: answer, and report the close once
    // from the message loop. A terminate from any other window is the answer
    // to one of ours, or none of our business.
    void OnTerminate(HWND from) {
        if (server_ == nullptr || from != server_) {
            return;
        }
        PostMessageA(server_, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
        server_ = nullptr;  // answered: nothing more is posted to it
        if (linking_) {
            EndConversation();
        } else {
            LoseConversation();
        }
    }

    // Delivers every queued value, oldest first. A delivery can nest: the
    // change handler may let the message loop run (a modal dialog, a call
    // that dispatches). The nested call returns at once and the outer loop
    // takes the rest, so values stay in order and no execute starts inside
    // another.
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
        if (server_ != nullptr && !IsWindow(server_)) {
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
        if (generation == generation_ && server_ == nullptr && events_ != nullptr) {
            events_->OnLinkClose();
        }
    }

    // Ends the conversation without a close notification. Our terminate is
    // not waited for: the server's answer is recognised by its window and
    // dropped, and a new conversation has a window of its own.
    void EndConversation() {
        KillTimer(window_, kWatchTimer);
        UpdateControl();  // no watch timer from now on
        if (server_ != nullptr) {
            PostMessageA(server_, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
            server_ = nullptr;
        }
        closedGeneration_ = generation_;
        // Executes never acknowledged: their memory is ours again. (An
        // advise's memory may be the server's by now; it is left alone.)
        for (const Request& request : awaiting_) {
            if (request.message == WM_DDE_EXECUTE) {
                GlobalFree(request.memory);
            }
        }
        awaiting_.clear();
    }

    HWND control_;
    HWND window_ = nullptr;
    DdeLinkEvents* events_ = nullptr;
    std::string topic_;
    std::string item_;
    std::string text_;
    HWND server_ = nullptr;    // the partner of the open conversation
    HWND answered_ = nullptr;  // first server that answered the initiate
    bool initiating_ = false;
    bool linking_ = false;     // the advise of a new conversation waits
    unsigned generation_ = 0;  // counts conversations
    unsigned closedGeneration_ = 0;
    std::deque<Request> awaiting_;  // posted, not yet acknowledged
    unsigned requestId_ = 0;
    unsigned awaitedId_ = 0;
    Answer answer_;
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
