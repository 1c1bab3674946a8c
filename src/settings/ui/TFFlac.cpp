#include "settings/ui/TFFlac.h"

#include "settings/ui/TEncoderDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QSpinBox>

#include <initializer_list>

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

// The level list: 0 to 8, then "Custom" for the raw settings (-1).
constexpr int CustomIndex = 9;

int LevelOfIndex(int Index)
{
    return Index >= 0 && Index < CustomIndex ? Index : -1;
}

int IndexOfLevel(int Level)
{
    return Level >= 0 && Level < CustomIndex ? Level : CustomIndex;
}

} // namespace

TFFlac::TFFlac(QWidget* Parent)
    : QDialog(Parent), CBLevel(new QComboBox(this)), EBlockSize(NumberEdit(*this, "EBlockSize")),
      EMaxLPCOrder(NumberEdit(*this, "EMaxLPCOrder")),
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
    CBLevel->setObjectName(QStringLiteral("CBLevel"));
    for (int level = 0; level < CustomIndex; ++level)
        CBLevel->addItem(level == 0   ? QStringLiteral("0 (fastest)")
                         : level == 5 ? QStringLiteral("5 (default)")
                         : level == 8 ? QStringLiteral("8 (smallest)")
                                      : QString::number(level));
    CBLevel->addItem(QStringLiteral("Custom (the settings below)"));
    form->addRow(QStringLiteral("Compression level"), CBLevel);
    connect(CBLevel, &QComboBox::currentIndexChanged, this, [this](int Index) { ShowLevel(LevelOfIndex(Index)); });
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

void TFFlac::ShowLevel(int Level)
{
    for (QWidget* raw : std::initializer_list<QWidget*>{
             EBlockSize, EMaxLPCOrder, EMaxResidualPartitionOrder, EMinResidualPartitionOrder, EQLPCoeffPrecision,
             chkBestModelSearch, chkMidSideStereo, chkLooseMidSideStereo, chkCoeffPrecisionSearch})
        raw->setEnabled(Level < 0);
}

void TFFlac::Load(const TFlacSettings& Value)
{
    Current = Value;
    CBLevel->setCurrentIndex(IndexOfLevel(Value.CompressionLevel));
    ShowLevel(Value.CompressionLevel);
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
    asked.CompressionLevel = LevelOfIndex(CBLevel->currentIndex());
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
