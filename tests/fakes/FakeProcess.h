#pragma once
// The process services of a test: counts message dispatches and sleeps,
// records message boxes and process ends, and can run a callback on every
// DoEvents or while a message box is open (to stand in for handlers that run
// while messages are pumped).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ports/ProcessPort.h"

namespace quillon::fakes {

class FakeProcess : public ProcessPort {
  public:
    struct Message {
        std::string text;
        std::string title;
    };

    bool prevInstance = false;
    int doEvents = 0;
    int sleeps = 0;
    uint32_t sleptMilliseconds = 0;
    int endProcessCalls = 0;
    std::vector<Message> messages;
    std::function<void()> onDoEvents;
    // Runs while a message box is open: its modal loop dispatches messages.
    std::function<void()> whileMessageOpen;

    bool PrevInstance() override { return prevInstance; }
    void ShowMessage(const std::string& text, const std::string& title) override {
        messages.push_back({text, title});
        if (whileMessageOpen) {
            whileMessageOpen();
        }
    }
    void DoEvents() override {
        ++doEvents;
        if (onDoEvents) {
            onDoEvents();
        }
    }
    void Sleep(uint32_t milliseconds) override {
        ++sleeps;
        sleptMilliseconds += milliseconds;
    }
    void EndProcess() override { ++endProcessCalls; }
};

}  // namespace quillon::fakes
