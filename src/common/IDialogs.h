#pragma once

#include <string>

namespace kestrune {

enum class TDialogKind { dkWarning, dkError, dkInformation, dkConfirmation };
enum class TDialogButtons { dbOK, dbOKCancel, dbYesNo };
enum class TDialogResult { drOK, drCancel, drYes, drNo };

// The modal message boxes the user sees, with the program's exact texts.
// Called on the window thread only.
class IDialogs {
public:
    virtual ~IDialogs() = default;

    virtual TDialogResult Show(TDialogKind Kind, const std::string& Text, TDialogButtons Buttons) = 0;

    void Warning(const std::string& Text) { Show(TDialogKind::dkWarning, Text, TDialogButtons::dbOK); }
    void Error(const std::string& Text) { Show(TDialogKind::dkError, Text, TDialogButtons::dbOK); }
    void Information(const std::string& Text) { Show(TDialogKind::dkInformation, Text, TDialogButtons::dbOK); }
    // True for OK or Yes.
    bool Confirm(const std::string& Text, TDialogButtons Buttons)
    {
        const TDialogResult r = Show(TDialogKind::dkConfirmation, Text, Buttons);
        return r == TDialogResult::drOK || r == TDialogResult::drYes;
    }
};

} // namespace kestrune
