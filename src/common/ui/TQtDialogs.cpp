#include "common/ui/TQtDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace kestrune {

const char* TQtDialogs::Caption(TDialogKind Kind)
{
    switch (Kind) {
    case TDialogKind::dkWarning:
        return "Warning";
    case TDialogKind::dkError:
        return "Error";
    case TDialogKind::dkInformation:
        return "Information";
    case TDialogKind::dkConfirmation:
        return "Confirm";
    }
    return "";
}

TDialogResult TQtDialogs::Show(TDialogKind Kind, const std::string& Text, TDialogButtons Buttons)
{
    QMessageBox::Icon icon = QMessageBox::Warning;
    switch (Kind) {
    case TDialogKind::dkWarning:
        icon = QMessageBox::Warning;
        break;
    case TDialogKind::dkError:
        icon = QMessageBox::Critical;
        break;
    case TDialogKind::dkInformation:
        icon = QMessageBox::Information;
        break;
    case TDialogKind::dkConfirmation:
        icon = QMessageBox::Question;
        break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    switch (Buttons) {
    case TDialogButtons::dbOK:
        break;
    case TDialogButtons::dbOKCancel:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case TDialogButtons::dbYesNo:
        buttons = QMessageBox::Yes | QMessageBox::No;
        defaultButton = QMessageBox::Yes;
        break;
    }
    QMessageBox box(icon, QString::fromLatin1(Caption(Kind)), QString::fromStdString(Text), buttons,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setDefaultButton(defaultButton);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return TDialogResult::drYes;
    case QMessageBox::No:
        return TDialogResult::drNo;
    case QMessageBox::Ok:
        return TDialogResult::drOK;
    default:
        // Closed with Escape or the window's close button: the box's way of
        // saying no.
        return Buttons == TDialogButtons::dbYesNo ? TDialogResult::drNo
               : Buttons == TDialogButtons::dbOK  ? TDialogResult::drOK
                                                  : TDialogResult::drCancel;
    }
}

} // namespace kestrune
