#pragma once
// What every DDE client link does without a server's help, as one table run
// against the scripted link (host tests) and the DDEML link (under Wine).
// `openStandingLink` opens a hot link to a server that answers; the link is
// then moved to a service nobody offers.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "ports/DdeLinkPort.h"

namespace quillon::contract {

constexpr const char* kNobodysTopic = "NoSuchDecoder|MRP40Form";

inline void RunDdeLinkContract(DdeLinkPort& link, const std::function<void()>& openStandingLink) {
    enum Op { kMode, kExecute, kNobody, kStanding };
    struct Step {
        Op op;
        int16_t mode;  // the mode set
        int32_t error;
        int16_t modeAfter;
    };
    const Step steps[] = {
        {kMode, 0, 0, 0},  // ending no conversation is no error
        {kExecute, 0, kErrDdeMethodNoChannel, 0},
        {kMode, 2, kErrInvalidPropertyValue, 0},
        {kMode, -1, kErrInvalidPropertyValue, 0},
        {kNobody, 1, kErrNoForeignApplication, 0},
        {kExecute, 0, kErrDdeMethodNoChannel, 0},
        {kStanding, 1, 0, 1},
        {kMode, 3, kErrInvalidPropertyValue, 1},  // the standing link is left alone
        // A failed open ends the conversation that stood before it.
        {kNobody, 1, kErrNoForeignApplication, 0},
        {kExecute, 0, kErrDdeMethodNoChannel, 0},
    };
    int index = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("step " + std::to_string(index++));
        const int32_t error = CollectError([&] {
            switch (step.op) {
                case kNobody:
                    link.SetLinkTopic(kNobodysTopic);
                    link.SetLinkItem("RXSymbol");
                    link.SetLinkMode(step.mode);
                    break;
                case kMode:
                    link.SetLinkMode(step.mode);
                    break;
                case kExecute:
                    link.LinkExecute("006displaycwCQ");
                    break;
                case kStanding:
                    openStandingLink();
                    break;
            }
        });
        EXPECT_EQ(error, step.error);
        EXPECT_EQ(link.LinkMode(), step.modeAfter);
    }
}

}  // namespace quillon::contract
