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
    link.executeError = kErrDdeNoResponse;  // "no channel" comes first
    contract::RunDdeLinkContract(link, [&] {
        link.SetLinkTopic("MRP40|MRP40Form");
        link.opens.push_back({});
        link.SetLinkMode(1);
    });
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
