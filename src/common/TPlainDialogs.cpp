#include "common/TPlainDialogs.h"

namespace kestrune {

namespace {

const char* KindName(TDialogKind Kind)
{
    switch (Kind) {
    case TDialogKind::dkWarning:
        return "warning";
    case TDialogKind::dkError:
        return "error";
    case TDialogKind::dkInformation:
        return "information";
    case TDialogKind::dkConfirmation:
        return "question";
    }
    return "message";
}

TDialogResult DefaultAnswer(TDialogButtons Buttons, bool Yes)
{
    switch (Buttons) {
    case TDialogButtons::dbOK:
        return TDialogResult::drOK;
    case TDialogButtons::dbOKCancel:
        return Yes ? TDialogResult::drOK : TDialogResult::drCancel;
    case TDialogButtons::dbYesNo:
        return Yes ? TDialogResult::drYes : TDialogResult::drNo;
    }
    return TDialogResult::drOK;
}

} // namespace

TPlainDialogs::TPlainDialogs(std::ostream* EchoStream, bool Yes) : Echo(EchoStream), DefaultYes(Yes) {}

TDialogResult TPlainDialogs::Show(TDialogKind Kind, const std::string& Text, TDialogButtons Buttons)
{
    TDialogResult answer = DefaultAnswer(Buttons, DefaultYes);
    if (Buttons != TDialogButtons::dbOK && !Answers.empty()) {
        answer = Answers.front();
        Answers.pop_front();
    }
    History.push_back({Kind, Text, Buttons, answer});
    if (OnShow)
        OnShow(History.back());
    if (Echo)
        *Echo << KindName(Kind) << ": " << Text << '\n';
    return answer;
}

} // namespace kestrune
