#include "common/CommonUi.h"

#include "base/ErrorTrap.h"

namespace quillon {

CommonUi::CommonUi(MonitorReport& report) : report_(report) {}

void CommonUi::Load() {
    if (loaded_) {
        return;
    }
    loaded_ = true;
    Form_Load();
}

void CommonUi::Unload() {
    loaded_ = false;
}

void CommonUi::Form_Load() {
    IgnoreErrors([&] { report_.LogMonitorInfo(); });
}

}  // namespace quillon
