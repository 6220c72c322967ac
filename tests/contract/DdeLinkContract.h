#pragma once
// What every DDE client link does, as one table run against the scripted
// link (host tests) and the real link against the simulators (under Wine).
// The table asks its driver for servers that behave in a given way, ends
// them in order (the server sends a terminate) or kills them (no word at
// all), and lets the message loop run; the close notifications and the
// outcomes of executes it records itself, and checks once the loop has run.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
    kAnswersBusy,      // acknowledges each execute with the busy bit, every time
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

class EventRecorder : public DdeLinkEvents {
  public:
    void OnLinkChange() override {}
    void OnLinkClose() override { ++closes; }
    void OnLinkError(int16_t) override {}
    void OnExecuteDone(int32_t error) override { outcomes.push_back(error); }
    int closes = 0;
    std::vector<int32_t> outcomes;
};

inline void RunDdeLinkContract(DdeLinkPort& link, const DdeLinkContractDriver& driver) {
    enum Op {
        kMode,
        kExecute,
        kNobody,
        kOpen,
        kReopen,
        kServerQuits,
        kServerDies,
        kSettle,
        kAwait
    };
    constexpr int32_t kNone = -1;  // no outcome arrives
    struct Step {
        Op op;
        int16_t mode;  // the mode set
        Peer peer;
        int32_t error;  // raised by the call
        int16_t modeAfter;
        int closes;       // close notifications so far, checked once settled
        int32_t outcome;  // of an execute, arrived while the loop ran (kSettle, kAwait)
    };
    constexpr Peer kAny = Peer::kAnswers;
    const Step steps[] = {
        {kMode, 0, kAny, 0, 0, 0, kNone},  // ending no conversation is no error
        {kExecute, 0, kAny, kErrDdeMethodNoChannel, 0, 0, kNone},
        {kMode, 2, kAny, kErrInvalidPropertyValue, 0, 0, kNone},
        {kMode, -1, kAny, kErrInvalidPropertyValue, 0, 0, kNone},
        {kNobody, 1, kAny, kErrNoForeignApplication, 0, 0, kNone},
        {kExecute, 0, kAny, kErrDdeMethodNoChannel, 0, 0, kNone},
        {kOpen, 1, Peer::kAnswers, 0, 1, 0, kNone},
        {kMode, 3, kAny, kErrInvalidPropertyValue, 1, 0, kNone},  // the standing link is left alone
        // An execute returns at once; its outcome comes from the loop, and
        // until it has come no other execute starts.
        {kExecute, 0, kAny, 0, 1, 0, kNone},
        {kExecute, 0, kAny, kErrInvalidProcedureCall, 1, 0, kNone},
        {kSettle, 0, kAny, 0, 1, 0, 0},
        {kExecute, 0, kAny, 0, 1, 0, kNone},
        {kSettle, 0, kAny, 0, 1, 0, 0},
        // A failed open ends the conversation that stood before it, and
        // leaving a link for another raises no close.
        {kNobody, 1, kAny, kErrNoForeignApplication, 0, 0, kNone},
        {kExecute, 0, kAny, kErrDdeMethodNoChannel, 0, 0, kNone},
        {kSettle, 0, kAny, 0, 0, 0, kNone},  // an execute that raised has no outcome
        // The server terminates: the mode drops at once, one close follows.
        {kOpen, 1, Peer::kAnswers, 0, 1, 0, kNone},
        {kServerQuits, 0, kAny, 0, 0, 0, kNone},
        {kSettle, 0, kAny, 0, 0, 1, kNone},
        {kExecute, 0, kAny, kErrDdeMethodNoChannel, 0, 1, kNone},
        // The server dies without a word: noticed all the same, once.
        {kOpen, 1, Peer::kAnswers, 0, 1, 1, kNone},
        {kServerDies, 0, kAny, 0, 0, 1, kNone},
        {kSettle, 0, kAny, 0, 0, 2, kNone},
        // Its window is gone before the next execute: 293, and one close.
        {kOpen, 1, Peer::kAnswers, 0, 1, 2, kNone},
        {kServerDies, 0, kAny, 0, 0, 2, kNone},
        {kExecute, 0, kAny, kErrDdeMethodNoChannel, 0, 2, kNone},
        {kSettle, 0, kAny, 0, 0, 3, kNone},
        // We terminate: no close, and the same server takes us again.
        {kOpen, 1, Peer::kAnswers, 0, 1, 3, kNone},
        {kMode, 0, kAny, 0, 0, 3, kNone},
        {kSettle, 0, kAny, 0, 0, 3, kNone},
        {kReopen, 1, kAny, 0, 1, 3, kNone},
        {kExecute, 0, kAny, 0, 1, 3, kNone},
        {kSettle, 0, kAny, 0, 1, 3, 0},
        // Refusals and late answers: the open raises, an execute's outcome
        // carries the number; only the refused hot link ends the
        // conversation, and none of them raises a close.
        {kOpen, 1, Peer::kRefusesAdvise, kErrDdeNoResponse, 0, 3, kNone},
        {kOpen, 1, Peer::kRefusesExecutes, 0, 1, 3, kNone},
        {kExecute, 0, kAny, 0, 1, 3, kNone},
        {kSettle, 0, kAny, 0, 1, 3, kErrDdeNoResponse},
        // Busy: offered again until the 5 s are up, then one outcome.
        {kOpen, 1, Peer::kAnswersBusy, 0, 1, 3, kNone},
        {kExecute, 0, kAny, 0, 1, 3, kNone},
        {kAwait, 0, kAny, 0, 1, 3, kErrDdeBusy},
        {kOpen, 1, Peer::kNeverAnswers, 0, 1, 3, kNone},
        {kExecute, 0, kAny, 0, 1, 3, kNone},
        {kAwait, 0, kAny, 0, 1, 3, kErrDdeTimeout},
        // An execute whose conversation ends first: 293, whoever ends it.
        {kExecute, 0, kAny, 0, 1, 3, kNone},
        {kServerDies, 0, kAny, 0, 0, 3, kNone},
        {kSettle, 0, kAny, 0, 0, 4, kErrDdeMethodNoChannel},
        {kOpen, 1, Peer::kNeverAnswers, 0, 1, 4, kNone},
        {kExecute, 0, kAny, 0, 1, 4, kNone},
        {kMode, 0, kAny, 0, 0, 4, kNone},
        {kSettle, 0, kAny, 0, 0, 4, kErrDdeMethodNoChannel},
    };
    EventRecorder recorder;
    link.SetEvents(&recorder);
    int index = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("step " + std::to_string(index++));
        int32_t error = 0;
        recorder.outcomes.clear();
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
            case kAwait:
                // Past the 5 s bound: the loop runs until an outcome comes.
                for (int round = 0; round < 20 && recorder.outcomes.empty(); ++round) {
                    driver.settle();
                }
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
        if (step.op == kSettle || step.op == kAwait) {
            EXPECT_EQ(recorder.closes, step.closes);
            EXPECT_EQ(recorder.outcomes, step.outcome == kNone
                                             ? std::vector<int32_t>{}
                                             : std::vector<int32_t>{step.outcome});
        } else {
            EXPECT_TRUE(recorder.outcomes.empty()) << "an outcome came inside a call";
        }
    }
    link.SetEvents(nullptr);
}

}  // namespace quillon::contract
