#pragma once
// A scripted DDE client link: each SetLinkMode(1) takes the next scripted
// outcome, or that of the standing `server` of its topic when none is left;
// executes are recorded or refused; the change and close notifications can
// be raised as the platform would. As the Win32 link does, SetLinkMode(1) first ends any
// conversation, a mode other than 0 or 1 raises 380, and an execute with no
// conversation raises 293 before anything else. A server that ends
// (ServerEnds) drops the mode at once and raises the close on the next
// Settle(), unless a new conversation was opened before. The Win32 link
// never raises the link-error notification, so neither does this one.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/RuntimeError.h"
#include "ports/DdeLinkPort.h"

namespace quillon::fakes {

class FakeDdeLink : public DdeLinkPort {
  public:
    // How one SetLinkMode(1) ends.
    struct Open {
        int32_t error = 0;     // 0: the hot link stands
        bool standing = true;  // mode read back afterwards (when error == 0)
    };
    // A server that stands until it ends, answering opens on its topic.
    struct Server {
        std::string topic;
        Open open;
    };
    std::deque<Open> opens;  // empty: `server` answers its topic, others 282
    std::optional<Server> server;
    std::vector<std::string> topicsTried;
    std::vector<std::string> calls;  // "topic:..", "item:..", "mode:0", "mode:1"
    std::vector<std::string> executed;
    int32_t executeError = 0;
    std::function<void()> duringExecute;

    void SetLinkTopic(const std::string& topic) override {
        topic_ = topic;
        calls.push_back("topic:" + topic);
    }
    void SetLinkItem(const std::string& item) override {
        item_ = item;
        calls.push_back("item:" + item);
    }
    void SetLinkMode(int16_t mode) override {
        calls.push_back("mode:" + std::to_string(mode));
        if (mode != 0 && mode != 1) {
            Raise(kErrInvalidPropertyValue);
        }
        mode_ = 0;
        if (mode == 0) {
            return;
        }
        topicsTried.push_back(topic_);
        if (opens.empty() && !(server && server->topic == topic_)) {
            Raise(kErrNoForeignApplication);
        }
        const Open open = opens.empty() ? server->open : opens.front();
        if (!opens.empty()) {
            opens.pop_front();
        }
        closePending_ = false;  // a new conversation: the old close is stale
        if (open.error != 0) {
            Raise(open.error);
        }
        mode_ = open.standing ? 1 : 0;
    }
    int16_t LinkMode() const override { return mode_; }
    void LinkExecute(const std::string& command) override {
        if (mode_ == 0) {
            Raise(kErrDdeMethodNoChannel);
        }
        if (duringExecute) {
            duringExecute();
        }
        if (executeError != 0) {
            Raise(executeError);
        }
        executed.push_back(command);
    }
    std::string Text() const override { return text_; }
    void SetEvents(DdeLinkEvents* events) override { events_ = events; }

    // What the platform does.
    void Deliver(const std::string& value) {
        text_ = value;
        if (events_ != nullptr) {
            events_->OnLinkChange();
        }
    }
    void ServerCloses() {
        mode_ = 0;
        if (events_ != nullptr) {
            events_->OnLinkClose();
        }
    }
    void DropHotLink() { mode_ = 0; }
    void ServerEnds() {
        server.reset();
        if (mode_ != 0) {
            mode_ = 0;
            closePending_ = true;
        }
    }
    // The message loop runs: a close noticed meanwhile is raised.
    void Settle() {
        if (closePending_) {
            closePending_ = false;
            if (events_ != nullptr) {
                events_->OnLinkClose();
            }
        }
    }

  private:
    std::string topic_;
    std::string item_;
    int16_t mode_ = 0;
    bool closePending_ = false;
    std::string text_;
    DdeLinkEvents* events_ = nullptr;
};

}  // namespace quillon::fakes
