#include "common/MrpModule.h"

#include "base/ErrorTrap.h"

namespace quillon {

void MrpModule::ErrorLogExists() {
    Trap(log_, "MRP_Module.ErrorLogExists", [&] {
        if (errorLogLabel_ == nullptr || mainForm_ == nullptr) {
            Raise(kErrInternal);  // no main window: nothing to show the hint on
        }
        errorLogLabel_->SetVisible(true);
        mainForm_->SetWindowState(kStateNormal);
    });
}

std::string MrpModule::GetInteropCaption() {
    std::string result;
    Trap(log_, "MRP_Module.GetInteropCaption", [&] { result = ""; });
    return result;
}

}  // namespace quillon
