// The fakes against the tables of what their Win32 adapters do; the same
// tables run against the adapters in the Windows tests.

#include <gtest/gtest.h>

#include "contract/DdeLinkContract.h"
#include "contract/FormContract.h"
#include "contract/NumberContract.h"
#include "contract/SettingsContract.h"
#include "fakes/FakeDdeLink.h"
#include "fakes/FakeForm.h"
#include "fakes/FakeNumbers.h"
#include "fakes/FakeSettings.h"

namespace quillon {
namespace {

TEST(PortContractTest, FakeSettings) {
    fakes::FakeSettings store;
    contract::RunSettingsContract(store);
}

TEST(PortContractTest, FakeNumbers) {
    fakes::FakeNumbers numbers;
    contract::RunNumberContract(numbers);
}

TEST(PortContractTest, FakeDdeLink) {
    fakes::FakeDdeLink link;
    contract::DdeLinkContractDriver driver;
    driver.open = [&](contract::Peer peer) {
        using contract::Peer;
        link.SetLinkTopic("Palavan|DDEServer");
        link.SetLinkItem("DDECommand");
        link.server = fakes::FakeDdeLink::Server{
            "Palavan|DDEServer", {peer == Peer::kRefusesAdvise ? kErrDdeNoResponse : 0}};
        link.executeError = peer == Peer::kRefusesExecutes ? kErrDdeNoResponse
                            : peer == Peer::kAnswersBusy   ? kErrDdeBusy
                            : peer == Peer::kNeverAnswers  ? kErrDdeTimeout
                                                           : 0;
        return CollectError([&] { link.SetLinkMode(1); });
    };
    driver.end = [&](bool) { link.ServerEnds(); };
    driver.settle = [&] { link.Settle(); };
    contract::RunDdeLinkContract(link, driver);
}

TEST(PortContractTest, FakeForm) {
    fakes::FakeForm form;
    contract::RunFormContract(form, [] {});
    form.dpiX = 144;
    form.dpiY = 120;
    contract::RunFormContract(form, [] {});
}

}  // namespace
}  // namespace quillon
