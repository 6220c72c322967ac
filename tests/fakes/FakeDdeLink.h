#pragma once
// A scripted DDE client link: each SetLinkMode(1) takes the next scripted
// outcome, or that of the standing `server` of its topic when none is left;
// executes are recorded and answered when the message loop runs; the change
// and close notifications can be raised as the platform would. As the Win32
// link does, SetLinkMode(1) first ends any conversation, a mode other than 0
// or 1 raises 380, an execute with no conversation raises 293 and one
// started while another waits raises 5, before anything else. An execute's
// outcome comes from Settle() (the server's answer, `executeError`) or
// Answer(); an execute whose conversation ends first gets 293. A server that
// ends (ServerEnds) drops the mode at once and raises the close on the next
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
    std::vector<std::string> calls;     // "topic:..", "item:..", "mode:0", "mode:1"
    std::vector<std::string> executed;  // every execute started, in order
    int32_t executeError = 0;           // the server's answer to each execute
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
        EndConversation();
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
        if (waiting_ || outcome_) {
            Raise(kErrInvalidProcedureCall);
        }
        if (duringExecute) {
            duringExecute();
        }
        executed.push_back(command);
        waiting_ = true;
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
    // The server answers the waiting execute now; false when none waits.
    bool Answer(int32_t error) {
        if (!waiting_) {
            return false;
        }
        waiting_ = false;
        RaiseOutcome(error);
        return true;
    }
    // The server accepts every execute, those started meanwhile included.
    void AnswerAll() {
        while (Answer(0)) {
        }
    }
    void ServerCloses() {
        EndConversation();
        RaisePendingOutcome();
        if (events_ != nullptr) {
            events_->OnLinkClose();
        }
    }
    void DropHotLink() { mode_ = 0; }
    void ServerEnds() {
        server.reset();
        if (mode_ != 0) {
            EndConversation();
            closePending_ = true;
        }
    }
    // The message loop runs: an execute's outcome and a close noticed
    // meanwhile are raised.
    void Settle() {
        RaisePendingOutcome();
        Answer(executeError);
        if (closePending_) {
            closePending_ = false;
            if (events_ != nullptr) {
                events_->OnLinkClose();
            }
        }
    }

  private:
    // The conversation ends: an execute still waiting gets 293.
    void EndConversation() {
        mode_ = 0;
        if (waiting_) {
            waiting_ = false;
            outcome_ = kErrDdeMethodNoChannel;
        }
    }
    void RaisePendingOutcome() {
        if (outcome_) {
            const int32_t error = *outcome_;
            outcome_.reset();
            RaiseOutcome(error);
        }
    }
    void RaiseOutcome(int32_t error) {
        if (events_ != nullptr) {
            events_->OnExecuteDone(error);
        }
    }

    std::string topic_;
    std::string item_;
    int16_t mode_ = 0;
    bool closePending_ = false;
    bool waiting_ = false;            // an execute waits for the server's answer
    std::optional<int32_t> outcome_;  // an outcome waits for the message loop
    std::string text_;
    DdeLinkEvents* events_ = nullptr;
};

}  // namespace quillon::fakes
