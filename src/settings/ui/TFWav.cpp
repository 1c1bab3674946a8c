#include "settings/ui/TFWav.h"

#include "settings/ui/TEncoderDialogs.h"

#include <QComboBox>
#include <QFormLayout>
#include <QSpinBox>

namespace kestrune {

TFWav::TFWav(QWidget* Parent) : QDialog(Parent), EBlockSize(new QSpinBox(this)), CBWavType(new QComboBox(this))
{
    QFormLayout* form = OptionDialogFrame(*this, "TFWav", "Output Settings");
    EBlockSize->setObjectName(QStringLiteral("EBlockSize"));
    EBlockSize->setRange(0, 65535);
    CBWavType->setObjectName(QStringLiteral("CBWavType"));
    for (const std::string& text : TWavSettings::WavTypeTexts())
        CBWavType->addItem(QString::fromStdString(text));
    form->addRow(QStringLiteral("Block size"), EBlockSize);
    form->addRow(QStringLiteral("Wave type"), CBWavType);
    Load(Current);
}

void TFWav::Load(const TWavSettings& Value)
{
    Current = Value;
    EBlockSize->setValue(Value.BlockSize);
    CBWavType->setCurrentIndex(static_cast<int>(Value.WavType));
}

void TFWav::accept()
{
    TWavSettings asked = Current;
    asked.BlockSize = static_cast<std::uint16_t>(EBlockSize->value());
    if (CBWavType->currentIndex() >= 0)
        asked.WavType = static_cast<TWavType>(CBWavType->currentIndex());
    Load(KeptSettings(Current, asked));
    QDialog::accept();
}

} // namespace kestrune
