// The gateway's forwarding end to end: a loaded window with both links
// connected through fake DDE links, fed a sequence of arbitrary decoded
// values in arbitrary link states. Every value that arrives while the
// decoder link stands is executed on the command link as exactly
// BuildDisplayCwCommand(value); an empty value, a value in any other state
// or one that arrives during a connection attempt sends nothing; a value of
// 32767 bytes or more sends nothing, and it and a refused execute are
// reported once under "MRP_UI.MRPDDE_Change". No value changes a link state.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "common/Common.h"
#include "fakes/CountOf.h"
#include "fakes/FakeControls.h"
#include "fakes/FakeDdeLink.h"
#include "fakes/FakeForm.h"
#include "fakes/FakePlatform.h"
#include "gateway/DisplayCwCommand.h"
#include "gateway/MrpUi.h"

using quillon::fuzz::Require;

namespace {

constexpr size_t kTooLong = 32767;
const char kReportName[] = " in module MRP_UI.MRPDDE_Change: ";

struct Gateway {
    quillon::fakes::FakePlatform platform;
    quillon::Common common{platform.ports};
    quillon::fakes::FakeForm form;
    quillon::fakes::FakeLabel mrpStatus, palavanStatus, errorLogLabel;
    quillon::fakes::FakeTimer mrpTimer, palavanTimer;
    quillon::fakes::FakeDdeLink mrpDde, palavanDde;
    quillon::MrpUi ui{common,
                      quillon::MrpUiControls{form, mrpStatus, palavanStatus, errorLogLabel,
                                             mrpTimer, palavanTimer, mrpDde, palavanDde},
                      platform.process};

    Gateway() {
        common.mrpModule.AttachMainWindow(&form, &errorLogLabel);
        ui.Form_Load();
        mrpDde.opens.push_back({});
        palavanDde.opens.push_back({});
        mrpTimer.Tick();
        palavanTimer.Tick();
        Require(ui.MRPLinkState == quillon::LinkConnected, "the decoder link connects");
        Require(ui.PalavanLinkState == quillon::LinkConnected, "the command link connects");
    }

    size_t Reports() const {
        return static_cast<size_t>(quillon::fakes::CountOf(platform.LogText(), kReportName));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Gateway g;

    while (input.remaining_bytes() > 0) {
        const uint8_t control = input.ConsumeIntegral<uint8_t>();
        std::string value = input.ConsumeRandomLengthString(256);
        if ((control & 0x40) != 0 && !value.empty()) {
            // Around the 16-bit limit: 32766, 32767 or 32768 bytes.
            const size_t length = kTooLong - 1 + (control >> 7) + (control & 1);
            std::string longValue;
            while (longValue.size() < length) {
                longValue += value;
            }
            longValue.resize(length);
            value = longValue;
        }
        const int16_t state = static_cast<int16_t>((control >> 1) & 3);
        const bool refused = (control & 0x08) != 0;
        const bool duringAttempt = (control & 0x30) == 0x30;

        const size_t executedBefore = g.palavanDde.executed.size();
        const size_t reportsBefore = g.Reports();
        const std::string logBefore = g.platform.LogText();
        g.palavanDde.executeError = refused ? quillon::kErrDdeNoResponse : 0;

        bool expectSent = false;
        bool expectReport = false;
        if (duringAttempt) {
            // The server pushes the value while the decoder link is being
            // opened again: the state is not 3 yet, so it is lost.
            g.ui.MRPLinkState = quillon::LinkNotResponding;
            g.mrpDde.opens.push_back({});
            g.platform.process.onDoEvents = [&] { g.mrpDde.Deliver(value); };
            g.mrpTimer.SetEnabled(true);
            g.mrpTimer.Tick();
            g.platform.process.onDoEvents = nullptr;
            Require(g.ui.MRPLinkState == quillon::LinkConnected, "the decoder link connects again");
        } else {
            g.ui.MRPLinkState = state;
            g.mrpDde.Deliver(value);
            g.palavanDde.Settle();  // the logger answers
            if (state == quillon::LinkConnected && !value.empty()) {
                expectSent = value.size() < kTooLong;
                expectReport = refused || !expectSent;
            }
        }

        Require(g.ui.PalavanLinkState == quillon::LinkConnected,
                "no value changes the command link");
        Require(duringAttempt || g.ui.MRPLinkState == state, "no value changes the decoder link");
        if (expectSent) {
            Require(g.palavanDde.executed.size() == executedBefore + 1, "one execute per value");
            Require(g.palavanDde.executed.back() == quillon::BuildDisplayCwCommand(value),
                    "the execute carries the displaycw command of the value");
        } else {
            Require(g.palavanDde.executed.size() == executedBefore, "nothing is sent");
        }
        if (expectReport) {
            Require(g.Reports() == reportsBefore + 1, "the failure is reported once");
        } else {
            Require(g.platform.LogText() == logBefore, "nothing is logged");
        }
    }
    return 0;
}
