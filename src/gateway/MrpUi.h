#pragma once
// The gateway window's behaviour (MRP_UI), free of any platform: its load
// and unload handlers, the decoder link (MRPDDE), the command link
// (PalavanDDECommand), their status lines and retry timers, and the
// forwarding of decoded text. It creates no window or control: it drives
// the ports in MrpUiControls, which app/GatewayWindow builds with Win32.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "gateway/CommandQueue.h"
#include "ports/DdeLinkPort.h"
#include "ports/FormPort.h"
#include "ports/LabelPort.h"
#include "ports/ProcessPort.h"
#include "ports/TimerPort.h"

namespace quillon {

class Common;

enum LinkState : int16_t {
    LinkUnknown = 0,
    LinkNotResponding = 1,
    LinkConnecting = 2,
    LinkConnected = 3,
};

// The window's controls, created by the platform side.
struct MrpUiControls {
    FormPort& form;
    LabelPort& mrpStatusLabel;
    LabelPort& palavanStatusLabel;
    LabelPort& errorLogLabel;
    TimerPort& mrpConnectTimer;
    TimerPort& palavanConnectTimer;
    DdeLinkPort& mrpDde;             // the decoder link: its Text() is the last value delivered
    DdeLinkPort& palavanDdeCommand;  // the command link: the "displaycw" executes go here
};

class MrpUi {
  public:
    MrpUi(Common& common, const MrpUiControls& controls, ProcessPort& process);
    ~MrpUi();
    MrpUi(const MrpUi&) = delete;
    MrpUi& operator=(const MrpUi&) = delete;

    void Form_Load();
    // The unload handling, once per run: a second call does nothing.
    void Form_Unload();

    void UpdateMRPStatus();
    void ConnectToMRP();
    void UpdatePalavanStatus();
    void ConnectToPalavan();

    // Handlers of the controls' events.
    void MRPConnectTimer_Timer();
    void PalavanConnectTimer_Timer();
    void MRPDDE_Change();
    void MRPDDE_LinkClose();
    void MRPDDE_LinkError(int16_t code);
    void PalavanDDECommand_LinkClose();
    void PalavanDDECommand_LinkError(int16_t code);
    // The outcome of the command on the command link (0: accepted).
    void PalavanDDECommand_ExecuteDone(int32_t error);

    int16_t MRPLinkState = LinkUnknown;
    int16_t PalavanLinkState = LinkUnknown;
    std::string MRPServerName;

  private:
    class MrpDdeEvents;
    class PalavanDdeEvents;

    // Sends `command` now when the command link is free, else queues it.
    void ForwardCommand(std::string command);
    void SendQueuedCommands();
    // One 286 line for each of `count` commands dropped from the queue.
    void ReportDropped(size_t count);

    Common& common_;
    MrpUiControls controls_;
    ProcessPort& process_;
    bool unloaded_ = false;
    std::unique_ptr<MrpDdeEvents> mrpEvents_;
    std::unique_ptr<PalavanDdeEvents> palavanEvents_;
    bool commandWaiting_ = false;  // a command on the link waits for its outcome
    CommandQueue commandQueue_;
};

}  // namespace quillon
