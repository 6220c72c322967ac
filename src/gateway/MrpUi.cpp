#include "gateway/MrpUi.h"

#include "base/ErrorTrap.h"
#include "common/Common.h"
#include "gateway/DisplayCwCommand.h"
#include "ports/ProgramIdentity.h"

namespace quillon {

namespace {

constexpr uint32_t kConnectInterval = 500;  // ms between connection attempts

// Character positions of a decoded text are 16-bit: a text this long or
// longer cannot be processed.
constexpr size_t kMaximumTextLength = 32767;

}  // namespace

class MrpUi::MrpDdeEvents : public DdeLinkEvents {
  public:
    explicit MrpDdeEvents(MrpUi& ui) : ui_(ui) {}
    void OnLinkChange() override { ui_.MRPDDE_Change(); }
    void OnLinkClose() override { ui_.MRPDDE_LinkClose(); }
    void OnLinkError(int16_t code) override { ui_.MRPDDE_LinkError(code); }
    void OnExecuteDone(int32_t) override {}  // nothing is executed on this link

  private:
    MrpUi& ui_;
};

class MrpUi::PalavanDdeEvents : public DdeLinkEvents {
  public:
    explicit PalavanDdeEvents(MrpUi& ui) : ui_(ui) {}
    // The command link's value is never read; its changes are ignored.
    void OnLinkChange() override {}
    void OnLinkClose() override { ui_.PalavanDDECommand_LinkClose(); }
    void OnLinkError(int16_t code) override { ui_.PalavanDDECommand_LinkError(code); }
    void OnExecuteDone(int32_t error) override { ui_.PalavanDDECommand_ExecuteDone(error); }

  private:
    MrpUi& ui_;
};

MrpUi::MrpUi(Common& common, const MrpUiControls& controls, ProcessPort& process)
    : common_(common),
      controls_(controls),
      process_(process),
      mrpEvents_(std::make_unique<MrpDdeEvents>(*this)),
      palavanEvents_(std::make_unique<PalavanDdeEvents>(*this)) {
    // The retry timers stay stopped until the load handler's last step
    // starts them, whatever the window was built with: a tick delivered
    // earlier (a second copy's message box dispatches messages) would open
    // a link before the load has refused a second copy.
    controls_.mrpConnectTimer.SetEnabled(false);
    controls_.palavanConnectTimer.SetEnabled(false);
    controls_.mrpDde.SetEvents(mrpEvents_.get());
    controls_.palavanDdeCommand.SetEvents(palavanEvents_.get());
    controls_.mrpConnectTimer.SetTickHandler([this] { MRPConnectTimer_Timer(); });
    controls_.palavanConnectTimer.SetTickHandler([this] { PalavanConnectTimer_Timer(); });
}

MrpUi::~MrpUi() {
    controls_.mrpDde.SetEvents(nullptr);
    controls_.palavanDdeCommand.SetEvents(nullptr);
    controls_.mrpConnectTimer.SetTickHandler(nullptr);
    controls_.palavanConnectTimer.SetTickHandler(nullptr);
}

void MrpUi::Form_Load() {
    // Up to the window position, errors are ignored step by step.
    IgnoreErrors([&] { common_.Initialize(); });
    bool anotherCopy = false;
    IgnoreErrors([&] { anotherCopy = process_.PrevInstance(); });
    if (anotherCopy) {
        IgnoreErrors([&] {
            const std::string product = common_.ports.program.ProductName();
            process_.ShowMessage(product + " is already running on this PC", product);
        });
        IgnoreErrors([&] { common_.Terminate(); });
        process_.EndProcess();
        return;
    }
    IgnoreErrors([&] { common_.positions.RestoreWindowPosition(controls_.form); });

    Trap(common_.log, "MRP_UI.Form_Load", [&] {
        controls_.form.SetCaption(identity::kCaptionPrefix + common_.settings.Version());
        // Hidden only until the run's header is written: an error logged
        // earlier in the load (a stored window state the window refuses)
        // has already shown the hint, and nothing hides it again.
        if (!common_.log.HeaderWritten()) {
            controls_.errorLogLabel.SetVisible(false);
        }
        MRPLinkState = LinkUnknown;
        PalavanLinkState = LinkUnknown;
        UpdateMRPStatus();
        UpdatePalavanStatus();
    });
}

void MrpUi::Form_Unload() {
    // Raised by a close and by the end of the Windows session; whichever
    // comes first unloads the window, and nothing unloads it twice.
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    Trap(common_.log, "MRP_UI.Form_Unload", [&] {
        common_.positions.SaveWindowPosition(controls_.form);
        common_.Terminate();
        // Each conversation ends with its terminate before the process
        // does; a server that does not answer holds the close only briefly.
        IgnoreErrors([&] { controls_.mrpDde.SetLinkMode(0); });
        IgnoreErrors([&] { controls_.palavanDdeCommand.SetLinkMode(0); });
        process_.EndProcess();
    });
}

// --- decoder link -----------------------------------------------------------

void MrpUi::UpdateMRPStatus() {
    Trap(common_.log, "MRP_UI.UpdateMRPStatus", [&] {
        TimerPort& timer = controls_.mrpConnectTimer;
        timer.SetEnabled(false);
        timer.SetInterval(kConnectInterval);
        switch (MRPLinkState) {
            case LinkUnknown:
                controls_.mrpStatusLabel.SetCaption("MRP status: unknown");
                timer.SetEnabled(true);
                break;
            case LinkNotResponding:
                controls_.mrpStatusLabel.SetCaption("MRP status: not responding");
                timer.SetEnabled(true);
                break;
            case LinkConnecting:
                controls_.mrpStatusLabel.SetCaption("MRP status: connecting");
                timer.SetEnabled(true);
                break;
            case LinkConnected:
                controls_.mrpStatusLabel.SetCaption("MRP status: connected to " + MRPServerName);
                break;
            default:
                break;
        }
    });
}

void MrpUi::ConnectToMRP() {
    Trap(common_.log, "MRP_UI.ConnectToMRP", [&] {
        DdeLinkPort& link = controls_.mrpDde;
        MRPServerName = "MRP40";
        link.SetLinkTopic(MRPServerName + "|MRP40Form");
        link.SetLinkItem("RXSymbol");
        if (CollectError([&] { link.SetLinkMode(1); }) == kErrNoForeignApplication) {
            MRPServerName = "MRP40 SDR";
            link.SetLinkMode(0);
            link.SetLinkTopic(MRPServerName + "|MRP40Form");
            link.SetLinkItem("RXSymbol");
            if (CollectError([&] { link.SetLinkMode(1); }) == kErrNoForeignApplication) {
                MRPLinkState = LinkNotResponding;
                UpdateMRPStatus();
                return;
            }
        }
        // Let an immediate refusal or close by the server take effect before
        // the link is read back.
        process_.DoEvents();
        MRPLinkState = link.LinkMode() == 1 ? LinkConnected : LinkConnecting;
        UpdateMRPStatus();
    });
}

void MrpUi::MRPConnectTimer_Timer() {
    Trap(common_.log, "MRP_UI.MRPConnectTimer_Timer", [&] { ConnectToMRP(); });
}

void MrpUi::MRPDDE_LinkClose() {
    Trap(common_.log, "MRP_UI.MRPDDE_LinkClose", [&] {
        MRPLinkState = LinkNotResponding;
        UpdateMRPStatus();
    });
}

void MrpUi::MRPDDE_LinkError(int16_t /*code*/) {
    Trap(common_.log, "MRP_UI.MRPDDE_LinkError", [&] {
        MRPLinkState = LinkNotResponding;
        UpdateMRPStatus();
    });
}

// --- forwarding ---------------------------------------------------------------
//
// The command link takes one command at a time. A value that arrives while
// a command waits for its outcome is kept in commandQueue_ and sent, in
// order, once the link is free again. Each failure is reported under
// "MRP_UI.MRPDDE_Change", one line per value: an outcome with an error, a
// send that fails at once (293 while the link is down), and a command
// dropped from the queue (286, as for a command that got no answer): by its
// bound, which is tighter from the moment a command goes its full wait
// without being taken (no answer, or busy all along) until the logger
// takes or refuses one again.

void MrpUi::MRPDDE_Change() {
    Trap(common_.log, "MRP_UI.MRPDDE_Change", [&] {
        const std::string text = controls_.mrpDde.Text();
        if (text.empty() || MRPLinkState != LinkConnected) {
            return;  // dropped: nothing is kept for later
        }
        if (text.size() >= kMaximumTextLength) {
            Raise(kErrOverflow);
        }
        ForwardCommand(BuildDisplayCwCommand(text));
    });
}

void MrpUi::ForwardCommand(std::string command) {
    // Behind older commands even while the link is free: a report written
    // between two sends may let the message loop run.
    if (!commandWaiting_ && commandQueue_.Empty()) {
        controls_.palavanDdeCommand.LinkExecute(command);
        commandWaiting_ = true;
        return;
    }
    ReportDropped(commandQueue_.Push(std::move(command)));
}

void MrpUi::ReportDropped(size_t count) {
    for (; count > 0; --count) {
        common_.log.ReportProgramError(kErrDdeTimeout, "MRP_UI.MRPDDE_Change");
    }
}

void MrpUi::PalavanDDECommand_ExecuteDone(int32_t error) {
    Trap(common_.log, "MRP_UI.MRPDDE_Change", [&] {
        commandWaiting_ = false;
        size_t dropped = 0;
        if (error == kErrDdeTimeout || error == kErrDdeBusy) {
            dropped = commandQueue_.SetStalled(true);
        } else if (error == 0 || error == kErrDdeNoResponse) {
            commandQueue_.SetStalled(false);  // the logger answers again
        }
        // The next command goes before the lines are written: a few
        // thousand of them, each a write of the log, would hold it back.
        SendQueuedCommands();
        if (error != 0) {
            common_.log.ReportProgramError(error, "MRP_UI.MRPDDE_Change");
        }
        ReportDropped(dropped);
    });
}

void MrpUi::SendQueuedCommands() {
    while (!commandWaiting_ && !commandQueue_.Empty()) {
        Trap(common_.log, "MRP_UI.MRPDDE_Change", [&] {
            controls_.palavanDdeCommand.LinkExecute(commandQueue_.Pop());
            commandWaiting_ = true;
        });
    }
}

// --- command link -------------------------------------------------------------

void MrpUi::UpdatePalavanStatus() {
    Trap(common_.log, "MRP_UI.UpdatePalavanStatus", [&] {
        TimerPort& timer = controls_.palavanConnectTimer;
        timer.SetEnabled(false);
        timer.SetInterval(kConnectInterval);
        switch (PalavanLinkState) {
            case LinkUnknown:
                controls_.palavanStatusLabel.SetCaption("Palavan status: unknown");
                timer.SetEnabled(true);
                break;
            case LinkNotResponding:
                controls_.palavanStatusLabel.SetCaption("Palavan status: not responding");
                timer.SetEnabled(true);
                break;
            case LinkConnecting:
                controls_.palavanStatusLabel.SetCaption("Palavan status: connecting");
                timer.SetEnabled(true);
                break;
            case LinkConnected:
                controls_.palavanStatusLabel.SetCaption("Palavan status: connected");
                break;
            default:
                break;
        }
    });
}

void MrpUi::ConnectToPalavan() {
    Trap(common_.log, "MRP_UI.ConnectToPalavan", [&] {
        DdeLinkPort& link = controls_.palavanDdeCommand;
        link.SetLinkItem("DDECommand");
        link.SetLinkTopic("Palavan|DDEServer");
        if (CollectError([&] { link.SetLinkMode(1); }) == kErrNoForeignApplication) {
            PalavanLinkState = LinkNotResponding;
            UpdatePalavanStatus();
            return;
        }
        process_.DoEvents();
        PalavanLinkState = link.LinkMode() == 1 ? LinkConnected : LinkConnecting;
        UpdatePalavanStatus();
    });
}

void MrpUi::PalavanConnectTimer_Timer() {
    Trap(common_.log, "MRP_UI.PalavanConnectTimer_Timer", [&] { ConnectToPalavan(); });
}

void MrpUi::PalavanDDECommand_LinkClose() {
    // The reported names of the command link's two notifications are kept
    // as the program has always logged them.
    Trap(common_.log, "MRP_UI.PalavanDDECommand_LinkClose_LinkClose", [&] {
        PalavanLinkState = LinkNotResponding;
        UpdatePalavanStatus();
    });
}

void MrpUi::PalavanDDECommand_LinkError(int16_t /*code*/) {
    Trap(common_.log, "MRP_UI.MPalavanDDECommand_LinkClose_LinkError", [&] {
        PalavanLinkState = LinkNotResponding;
        UpdatePalavanStatus();
    });
}

}  // namespace quillon
