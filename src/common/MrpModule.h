#pragma once
// The program's own module (MRP_Module): what the error-log header asks of
// the gateway window.

#include <string>

#include "ports/FormPort.h"
#include "ports/LabelPort.h"

namespace quillon {

class ErrorLog;

class MrpModule {
  public:
    explicit MrpModule(ErrorLog& log) : log_(log) {}

    // The main window and its "see ErrorLog" label, once they exist.
    void AttachMainWindow(FormPort* mainForm, LabelPort* errorLogLabel) {
        mainForm_ = mainForm;
        errorLogLabel_ = errorLogLabel;
    }

    // Shows "see ErrorLog" and brings the main window to its normal state.
    void ErrorLogExists();
    // The text of the header's last line: empty in this program.
    std::string GetInteropCaption();

  private:
    ErrorLog& log_;
    FormPort* mainForm_ = nullptr;
    LabelPort* errorLogLabel_ = nullptr;
};

}  // namespace quillon
