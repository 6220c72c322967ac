#pragma once
// The hidden monitor-information form CommonUI: never shown, it exists to
// run the monitor report once when the error-log header loads it, and stays
// loaded until the run ends.

#include "placement/MonitorReport.h"

namespace quillon {

class CommonUi {
  public:
    explicit CommonUi(MonitorReport& report);

    // Loading runs the report; loading an already loaded form does nothing.
    void Load();
    // Harmless when the form was never loaded.
    void Unload();
    bool Loaded() const { return loaded_; }

  private:
    void Form_Load();

    MonitorReport& report_;
    bool loaded_ = false;
};

}  // namespace quillon
