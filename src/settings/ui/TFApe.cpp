#include "settings/ui/TFApe.h"

#include "settings/ui/TEncoderDialogs.h"

#include <QComboBox>
#include <QFormLayout>

namespace kestrune {

namespace {

// The list runs 1000, 2000, ... 5000.
int LevelOfIndex(int Index)
{
    return (Index + 1) * 1000;
}

} // namespace

TFApe::TFApe(QWidget* Parent) : QDialog(Parent), CBLevel(new QComboBox(this))
{
    QFormLayout* form = OptionDialogFrame(*this, "TFApe", "Output Settings");
    CBLevel->setObjectName(QStringLiteral("CBLevel"));
    for (const std::string& text : TApeSettings::LevelTexts())
        CBLevel->addItem(QString::fromStdString(text));
    form->addRow(QStringLiteral("Compression level"), CBLevel);
    Load(Current);
}

void TFApe::Load(const TApeSettings& Value)
{
    Current = Value;
    CBLevel->setCurrentIndex(TApeSettings::ValidLevel(Value.CompressionLevel) ? Value.CompressionLevel / 1000 - 1 : -1);
}

void TFApe::accept()
{
    if (CBLevel->currentIndex() >= 0)
        Load(KeptSettings(Current, TApeSettings{LevelOfIndex(CBLevel->currentIndex())}));
    QDialog::accept();
}

} // namespace kestrune
