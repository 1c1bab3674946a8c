#pragma once

#include "common/IDialogs.h"

class QWidget;

namespace kestrune {

// The program's message boxes as Qt message boxes: the kind gives the icon and
// the caption ("Warning", "Error", "Information", "Confirm"), the buttons are
// OK, OK and Cancel, or Yes and No. A box belongs to the window that is active
// when it opens, so it stays in front of that window.
class TQtDialogs final : public IDialogs {
public:
    TDialogResult Show(TDialogKind Kind, const std::string& Text, TDialogButtons Buttons) override;

    static const char* Caption(TDialogKind Kind);
};

} // namespace kestrune
