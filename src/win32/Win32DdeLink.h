#pragma once
// The DDE client link of one window control, on plain DDE messages (ANSI,
// CF_TEXT).
//
// The control is the hidden EDIT or STATIC that shows the linked item: its
// window text catches up with the last delivered value on the next tick of
// the link's 250 ms watch timer, and when the conversation ends; the change
// notification itself reads Text(). Each conversation has a hidden
// top-level client window of its own (a server answers an initiate by
// sending to it, so it cannot be message-only); the link's notifications
// and timer go through a message-only window of the link. A value that
// arrives while the message loop runs is handed over at once; one that
// arrives while an open waits for the hot link's answer (the wait
// dispatches DDE messages, at most a short while) is queued and posted, so
// every notification of DdeLinkEvents comes from the message loop, never
// from inside a call. An execute is posted and its outcome comes from the
// message loop too, so no call waits for a server for long.
// A null control is allowed (the value is then only kept in Text()).
//
// The initiate goes to the top-level windows one by one, each with a short
// time limit, instead of one broadcast that waits for the slowest window on
// the desktop: a thread that does not answer in time is passed over for a
// few seconds by every link of the process, so one that stops pumping costs
// an attempt at most one short limit now and then.
//
// Trap: setting an EDIT's text makes it send EN_CHANGE to its parent. The
// adapter raises OnLinkChange itself, once per delivered value; the window
// must not raise the change again from EN_CHANGE.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ports/DdeLinkPort.h"

namespace quillon::win32 {

class Win32DdeLink : public DdeLinkPort {
  public:
    explicit Win32DdeLink(HWND control);
    ~Win32DdeLink() override;
    Win32DdeLink(const Win32DdeLink&) = delete;
    Win32DdeLink& operator=(const Win32DdeLink&) = delete;

    void SetLinkTopic(const std::string& topic) override;
    void SetLinkItem(const std::string& item) override;
    void SetLinkMode(int16_t mode) override;
    int16_t LinkMode() const override;
    void LinkExecute(const std::string& command) override;
    std::string Text() const override;
    void SetEvents(DdeLinkEvents* events) override;

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quillon::win32
