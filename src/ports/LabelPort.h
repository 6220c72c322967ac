#pragma once
// Port: a label (a standard static text control) of a window.

#include <string>

namespace quillon {

class LabelPort {
  public:
    virtual ~LabelPort() = default;
    virtual void SetCaption(const std::string& text) = 0;
    virtual std::string Caption() const = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool Visible() const = 0;
};

}  // namespace quillon
