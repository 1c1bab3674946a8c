#include "settings/ui/TFMP3.h"

#include "settings/ui/TEncoderDialogs.h"

#include <QComboBox>
#include <QFormLayout>
#include <QScreen>

namespace kestrune {

TFMP3::TFMP3(QWidget* Parent) : QDialog(Parent), CBBitrate(new QComboBox(this))
{
    QFormLayout* form = OptionDialogFrame(*this, "TFMP3", "Output Settings");
    CBBitrate->setObjectName(QStringLiteral("CBBitrate"));
    for (const std::string& text : TMp3Settings::BitRateTexts())
        CBBitrate->addItem(QString::fromStdString(text));
    CBBitrate->setCurrentIndex(-1);
    form->addRow(QStringLiteral("Bitrate"), CBBitrate);
}

void TFMP3::SetStandAlone(bool Value)
{
    StandAlone = Value;
}

void TFMP3::Load(const TMp3Settings& Value)
{
    Current = Value;
    if (!StandAlone)
        CBBitrate->setCurrentIndex(static_cast<int>(Value.BitRate));
}

int TFMP3::SelectedIndex() const
{
    return CBBitrate->currentIndex();
}

void TFMP3::SelectIndex(int Index)
{
    CBBitrate->setCurrentIndex(Index >= 0 && Index < CBBitrate->count() ? Index : -1);
}

void TFMP3::accept()
{
    if (!StandAlone) {
        if (const auto rate = TMp3Settings::FromIndex(CBBitrate->currentIndex()))
            Load(KeptSettings(Current, TMp3Settings{*rate}));
    }
    QDialog::accept();
}

void TFMP3::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    // Centred on the screen rather than over the window that opened it.
    if (const QScreen* where = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(where->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace kestrune
