#pragma once
// What every DDE client link does, as one table run against the scripted
// link (host tests) and the real link against the simulators (under Wine).
// The table asks its driver for servers that behave in a given way, ends
// them in order (the server sends a terminate) or kills them (no word at
// all), and lets the message loop run; the close notifications it counts
// itself, once the loop has run.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "ports/DdeLinkPort.h"

namespace quillon::contract {

constexpr const char* kNobodysTopic = "NoSuchDecoder|MRP40Form";

// How a server the table asks for behaves.
enum class Peer {
    kAnswers,          // takes the hot link and every execute
    kRefusesAdvise,    // answers the initiate, refuses the hot link
    kRefusesExecutes,  // acknowledges each execute negatively
    kAnswersBusy,      // acknowledges each execute with the busy bit
    kNeverAnswers,     // acknowledges an execute long after the 5 s bound
};

struct DdeLinkContractDriver {
    // Ends the server started before, starts one that behaves so, describes
    // the link for it and sets mode 1 once the server is up; the error
    // number of that open, 0 when it stood.
    std::function<int32_t(Peer)> open;
    // The server of the last open ends: in order, or killed when `killed`.
    std::function<void(bool killed)> end;
    // Lets the message loop run until posted notifications have arrived.
    std::function<void()> settle;
};

class CloseCounter : public DdeLinkEvents {
  public:
    void OnLinkChange() override {}
    void OnLinkClose() override { ++closes; }
    void OnLinkError(int16_t) override {}
    int closes = 0;
};

inline void RunDdeLinkContract(DdeLinkPort& link, const DdeLinkContractDriver& driver) {
    enum Op { kMode, kExecute, kNobody, kOpen, kReopen, kServerQuits, kServerDies, kSettle };
    struct Step {
        Op op;
        int16_t mode;  // the mode set
        Peer peer;
        int32_t error;
        int16_t modeAfter;
        int closes;  // close notifications so far, checked once settled
    };
    constexpr Peer kAny = Peer::kAnswers;
    const Step steps[] = {
        {kMode, 0, kAny, 0, 0, 0},  // ending no conversation is no error
        {kExecute, 0, kAny, kErrDdeMethodNoChannel, 0, 0},
        {kMode, 2, kAny, kErrInvalidPropertyValue, 0, 0},
        {kMode, -1, kAny, kErrInvalidPropertyValue, 0, 0},
        {kNobody, 1, kAny, kErrNoForeignApplication, 0, 0},
        {kExecute, 0, kAny, kErrDdeMethodNoChannel, 0, 0},
        {kOpen, 1, Peer::kAnswers, 0, 1, 0},
        {kMode, 3, kAny, kErrInvalidPropertyValue, 1, 0},  // the standing link is left alone
        {kExecute, 0, kAny, 0, 1, 0},
        // A failed open ends the conversation that stood before it, and
        // leaving a link for another raises no close.
        {kNobody, 1, kAny, kErrNoForeignApplication, 0, 0},
        {kExecute, 0, kAny, kErrDdeMethodNoChannel, 0, 0},
        {kSettle, 0, kAny, 0, 0, 0},
        // The server terminates: the mode drops at once, one close follows.
        {kOpen, 1, Peer::kAnswers, 0, 1, 0},
        {kServerQuits, 0, kAny, 0, 0, 0},
        {kSettle, 0, kAny, 0, 0, 1},
        {kExecute, 0, kAny, kErrDdeMethodNoChannel, 0, 1},
        // The server dies without a word: noticed all the same, once.
        {kOpen, 1, Peer::kAnswers, 0, 1, 1},
        {kServerDies, 0, kAny, 0, 0, 1},
        {kSettle, 0, kAny, 0, 0, 2},
        // Its window is gone before the next execute: 293, and one close.
        {kOpen, 1, Peer::kAnswers, 0, 1, 2},
        {kServerDies, 0, kAny, 0, 0, 2},
        {kExecute, 0, kAny, kErrDdeMethodNoChannel, 0, 2},
        {kSettle, 0, kAny, 0, 0, 3},
        // We terminate: no close, and the same server takes us again.
        {kOpen, 1, Peer::kAnswers, 0, 1, 3},
        {kMode, 0, kAny, 0, 0, 3},
        {kSettle, 0, kAny, 0, 0, 3},
        {kReopen, 1, kAny, 0, 1, 3},
        {kExecute, 0, kAny, 0, 1, 3},
        // Refusals and late answers raise their numbers; only the refused
        // hot link ends the conversation, and none of them raises a close.
        {kOpen, 1, Peer::kRefusesAdvise, kErrDdeNoResponse, 0, 3},
        {kOpen, 1, Peer::kRefusesExecutes, 0, 1, 3},
        {kExecute, 0, kAny, kErrDdeNoResponse, 1, 3},
        {kOpen, 1, Peer::kAnswersBusy, 0, 1, 3},
        {kExecute, 0, kAny, kErrDdeBusy, 1, 3},
        {kOpen, 1, Peer::kNeverAnswers, 0, 1, 3},
        {kExecute, 0, kAny, kErrDdeTimeout, 1, 3},
        {kMode, 0, kAny, 0, 0, 3},
        {kSettle, 0, kAny, 0, 0, 3},
    };
    CloseCounter counter;
    link.SetEvents(&counter);
    int index = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("step " + std::to_string(index++));
        int32_t error = 0;
        switch (step.op) {
            case kOpen:
                // No conversation is left standing on the server that goes.
                link.SetLinkMode(0);
                error = driver.open(step.peer);
                break;
            case kServerQuits:
            case kServerDies:
                driver.end(step.op == kServerDies);
                break;
            case kSettle:
                driver.settle();
                break;
            default:
                error = CollectError([&] {
                    switch (step.op) {
                        case kNobody:
                            link.SetLinkTopic(kNobodysTopic);
                            link.SetLinkItem("RXSymbol");
                            link.SetLinkMode(step.mode);
                            break;
                        case kExecute:
                            link.LinkExecute("006displaycwCQ");
                            break;
                        default:  // kMode, kReopen
                            link.SetLinkMode(step.mode);
                            break;
                    }
                });
                break;
        }
        EXPECT_EQ(error, step.error);
        EXPECT_EQ(link.LinkMode(), step.modeAfter);
        if (step.op == kSettle) {
            EXPECT_EQ(counter.closes, step.closes);
        }
    }
    link.SetEvents(nullptr);
}

}  // namespace quillon::contract
