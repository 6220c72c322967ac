#pragma once
// Port: the DDE client link of a window control, as the classic link
// properties of a text box or label expose it.
//
//   SetLinkTopic("Application|Topic"), SetLinkItem("Item") describe the link.
//   SetLinkMode(1) opens the conversation and the hot (automatic) link on the
//   item; it raises 282 when no application answers the initiate, and 285
//   when the link cannot be made (the hot link refused or not answered in
//   time), leaving the mode at 0. SetLinkMode(0) ends any conversation with
//   its terminate, waiting a short while (well under a second) for the
//   server's answer. A mode other than 0 or 1 raises 380.
//   LinkMode() reads the mode back: 1 only while the hot link stands.
//   LinkExecute(command) starts one execute on the open conversation and
//   returns at once; its outcome follows as OnExecuteDone. One execute at a
//   time: the next may start once the outcome of the one before has come.
//   It raises 293 with no conversation open, 7 when no memory can be had for
//   the command and 5 while an execute is still waiting for its outcome;
//   after a raise no outcome follows.
//
// Notifications arrive on the user-interface thread from the message loop,
// never from inside a DDE callback or inside a call of the link:
//   OnLinkChange  - a new value of the item is in Text(); raised once for
//                   every value the server delivers, equal values included;
//   OnLinkClose   - the conversation has ended (server closed, quit or died);
//   OnExecuteDone - the outcome of the execute started last, exactly once:
//                   0 accepted, 285 refused (a negative acknowledgement),
//                   288 still busy after 5 s (a busy answer is offered the
//                   same command again after a short pause), 286 no answer
//                   within 5 s, 293 the conversation ended first;
//   OnLinkError   - an error on the open link, with its code. Part of the
//                   classic event set, so the window keeps a handler for it;
//                   the Win32 link never raises it: its failures are raised
//                   by the call that meets them (SetLinkMode, LinkExecute) or
//                   come as the outcome of an execute, and a lost
//                   conversation is reported by OnLinkClose.

#include <cstdint>
#include <string>

namespace quillon {

class DdeLinkEvents {
  public:
    virtual ~DdeLinkEvents() = default;
    virtual void OnLinkChange() = 0;
    virtual void OnLinkClose() = 0;
    virtual void OnLinkError(int16_t code) = 0;
    virtual void OnExecuteDone(int32_t error) = 0;
};

class DdeLinkPort {
  public:
    virtual ~DdeLinkPort() = default;
    virtual void SetLinkTopic(const std::string& topic) = 0;
    virtual void SetLinkItem(const std::string& item) = 0;
    virtual void SetLinkMode(int16_t mode) = 0;
    virtual int16_t LinkMode() const = 0;
    virtual void LinkExecute(const std::string& command) = 0;
    // The control's text: the last value the hot link delivered.
    virtual std::string Text() const = 0;
    virtual void SetEvents(DdeLinkEvents* events) = 0;
};

}  // namespace quillon
