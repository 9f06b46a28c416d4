#pragma once

#include "message_box.h"

namespace vantrel {

// The message box on the desktop: modal to all of the program's windows,
// and never the reason the program ends when it is dismissed.
class QtMessageBox final : public MessageBox {
public:
    void ShowCritical(const std::string& prompt, const std::string& title) override;
};

} // namespace vantrel
