#pragma once

// The About box: the product's name, version and notice, reached from the system menu.

#include "ui/modal_dialog.h"

namespace vanthe {

class AboutDialog : public ModalDialog {
public:
    AboutDialog();

protected:
    Claim ProcessMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam,
                         platform::LRESULT& result) override;
};

} // namespace vanthe
