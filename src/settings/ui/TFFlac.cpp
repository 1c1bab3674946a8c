#include "settings/ui/TFFlac.h"

#include "settings/ui/TEncoderDialogs.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QSpinBox>

namespace kestrune {

namespace {

QSpinBox* NumberEdit(QDialog& Dialog, const char* Name)
{
    auto* edit = new QSpinBox(&Dialog);
    edit->setObjectName(QString::fromLatin1(Name));
    edit->setRange(0, 65535);
    return edit;
}

QCheckBox* Flag(QDialog& Dialog, const char* Name, const char* Caption)
{
    auto* box = new QCheckBox(QString::fromLatin1(Caption), &Dialog);
    box->setObjectName(QString::fromLatin1(Name));
    return box;
}

std::uint16_t Number(const QSpinBox& Edit)
{
    return static_cast<std::uint16_t>(Edit.value());
}

} // namespace

TFFlac::TFFlac(QWidget* Parent)
    : QDialog(Parent), EBlockSize(NumberEdit(*this, "EBlockSize")), EMaxLPCOrder(NumberEdit(*this, "EMaxLPCOrder")),
      EMaxResidualPartitionOrder(NumberEdit(*this, "EMaxResidualPartitionOrder")),
      EMinResidualPartitionOrder(NumberEdit(*this, "EMinResidualPartitionOrder")),
      EQLPCoeffPrecision(NumberEdit(*this, "EQLPCoeffPrecision")),
      chkBestModelSearch(Flag(*this, "chkBestModelSearch", "Best Model Search")),
      chkVerify(Flag(*this, "chkVerify", "Verify")),
      chkMidSideStereo(Flag(*this, "chkMidSideStereo", "MidSide Stereo")),
      chkLooseMidSideStereo(Flag(*this, "chkLooseMidSideStereo", "Loose MidSide Stereo")),
      chkCoeffPrecisionSearch(Flag(*this, "chkCoeffPrecisionSearch", "Coeff Precision Search"))
{
    QFormLayout* form = OptionDialogFrame(*this, "TFFlac", "Output Settings");
    form->addRow(QStringLiteral("Block size"), EBlockSize);
    form->addRow(QStringLiteral("Max LPC Order"), EMaxLPCOrder);
    form->addRow(QStringLiteral("Max Residual Partition  Order"), EMaxResidualPartitionOrder);
    form->addRow(QStringLiteral("Min Residual Partition  Order"), EMinResidualPartitionOrder);
    form->addRow(QStringLiteral("QLP Precision Coefficient"), EQLPCoeffPrecision);
    for (QCheckBox* box :
         {chkBestModelSearch, chkVerify, chkMidSideStereo, chkLooseMidSideStereo, chkCoeffPrecisionSearch})
        form->addRow(box);
    Load(Current);
}

void TFFlac::Load(const TFlacSettings& Value)
{
    Current = Value;
    EBlockSize->setValue(Value.BlockSize);
    EMaxLPCOrder->setValue(Value.MaxLPCOrder);
    EMaxResidualPartitionOrder->setValue(Value.MaxResidualPartitionOrder);
    EMinResidualPartitionOrder->setValue(Value.MinResidualPartitionOrder);
    EQLPCoeffPrecision->setValue(Value.QLPCoeffPrecision);
    chkBestModelSearch->setChecked(Value.BestModelSearch);
    chkVerify->setChecked(Value.Verify);
    chkMidSideStereo->setChecked(Value.EnableMidSideStereo);
    chkLooseMidSideStereo->setChecked(Value.EnableLooseMidSideStereo);
    chkCoeffPrecisionSearch->setChecked(Value.QLPCoeffPrecisionSearch);
}

void TFFlac::accept()
{
    TFlacSettings asked;
    asked.BlockSize = Number(*EBlockSize);
    asked.MaxLPCOrder = Number(*EMaxLPCOrder);
    asked.MaxResidualPartitionOrder = Number(*EMaxResidualPartitionOrder);
    asked.MinResidualPartitionOrder = Number(*EMinResidualPartitionOrder);
    asked.QLPCoeffPrecision = Number(*EQLPCoeffPrecision);
    asked.BestModelSearch = chkBestModelSearch->isChecked();
    asked.Verify = chkVerify->isChecked();
    asked.EnableMidSideStereo = chkMidSideStereo->isChecked();
    asked.EnableLooseMidSideStereo = chkLooseMidSideStereo->isChecked();
    asked.QLPCoeffPrecisionSearch = chkCoeffPrecisionSearch->isChecked();
    Load(KeptSettings(Current, asked));
    QDialog::accept();
}

} // namespace kestrune
