#include "settings/ui/TEncoderDialogs.h"

#include "convert/TConvertController.h"
#include "settings/ui/TFApe.h"
#include "settings/ui/TFFlac.h"
#include "settings/ui/TFMP3.h"
#include "settings/ui/TFOgg.h"
#include "settings/ui/TFWav.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// Shows Dialog over Value; on "Save" Value takes what the dialog kept.
template <class TDialog, class TSettings>
bool Edit(QWidget* Parent, TSettings& Value)
{
    TDialog dialog(Parent);
    dialog.Load(Value);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    Value = dialog.Settings();
    return true;
}

} // namespace

bool EditEncoderSettings(QWidget* Parent, int FormatIndex, TEncoderSettings& Settings)
{
    switch (FormatIndex) {
    case TConvertController::fiWav:
        return Edit<TFWav>(Parent, Settings.Wav);
    case TConvertController::fiMp3:
        return Edit<TFMP3>(Parent, Settings.Mp3);
    case TConvertController::fiOgg:
        return Edit<TFOgg>(Parent, Settings.Ogg);
    case TConvertController::fiApe:
        return Edit<TFApe>(Parent, Settings.Ape);
    case TConvertController::fiFlac:
        return Edit<TFFlac>(Parent, Settings.Flac);
    default:
        return false;
    }
}

QFormLayout* OptionDialogFrame(QDialog& Dialog, const char* Name, const char* Caption)
{
    Dialog.setObjectName(QString::fromLatin1(Name));
    Dialog.setWindowTitle(QString::fromLatin1(Caption));
    // A title without buttons of its own: the dialog ends through Save or
    // Cancel (Escape is Cancel).
    Dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto* form = new QFormLayout;
    auto* buttons = new QDialogButtonBox(&Dialog);
    QPushButton* save = buttons->addButton(QStringLiteral("Save"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    save->setObjectName(QStringLiteral("Save"));
    cancel->setObjectName(QStringLiteral("Cancel"));
    save->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &Dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &Dialog, &QDialog::reject);

    auto* layout = new QVBoxLayout(&Dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return form;
}

} // namespace kestrune
