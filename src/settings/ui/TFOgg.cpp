#include "settings/ui/TFOgg.h"

#include "settings/ui/TEncoderDialogs.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPlainTextEdit>
#include <QSpinBox>

#include <cmath>
#include <limits>

namespace kestrune {

namespace {

TVorbisBitRate RateAt(const QComboBox& List, TVorbisBitRate Otherwise)
{
    const int index = List.currentIndex();
    return index >= 0 ? static_cast<TVorbisBitRate>(index) : Otherwise;
}

} // namespace

TFOgg::TFOgg(QWidget* Parent)
    : QDialog(Parent), ECompression(new QDoubleSpinBox(this)), CBMaximumBitrate(new QComboBox(this)),
      CBNominalBitrate(new QComboBox(this)), CBMinimumBitrate(new QComboBox(this)), ESerial(new QSpinBox(this)),
      MComments(new QPlainTextEdit(this))
{
    QFormLayout* form = OptionDialogFrame(*this, "TFOgg", "Output Settings");
    ECompression->setObjectName(QStringLiteral("ECompression"));
    ECompression->setRange(0.0, 1.0);
    ECompression->setDecimals(2);
    ECompression->setSingleStep(0.1);
    CBMaximumBitrate->setObjectName(QStringLiteral("CBMaximumBitrate"));
    CBNominalBitrate->setObjectName(QStringLiteral("CBNominalBitrate"));
    CBMinimumBitrate->setObjectName(QStringLiteral("CBMinimumBitrate"));
    for (QComboBox* list : {CBMaximumBitrate, CBNominalBitrate, CBMinimumBitrate})
        for (const std::string& text : TOggSettings::BitRateTexts())
            list->addItem(QString::fromStdString(text));
    ESerial->setObjectName(QStringLiteral("ESerial"));
    ESerial->setRange(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    MComments->setObjectName(QStringLiteral("MComments"));
    MComments->setLineWrapMode(QPlainTextEdit::NoWrap);
    MComments->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MComments->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MComments->setMinimumWidth(fontMetrics().averageCharWidth() * 36);
    MComments->setFixedHeight(fontMetrics().lineSpacing() * 6);

    form->addRow(QStringLiteral("Compression"), ECompression);
    form->addRow(QStringLiteral("Desired maximum bitrate"), CBMaximumBitrate);
    form->addRow(QStringLiteral("Desired normal bitrate"), CBNominalBitrate);
    form->addRow(QStringLiteral("Minimum bitrate"), CBMinimumBitrate);
    form->addRow(QStringLiteral("Serial"), ESerial);
    form->addRow(QStringLiteral("Comments"), MComments);
    Load(Current);
}

void TFOgg::Load(const TOggSettings& Value)
{
    Current = Value;
    ECompression->setValue(Value.Compression);
    CBMaximumBitrate->setCurrentIndex(static_cast<int>(Value.DesiredMaximumBitrate));
    CBNominalBitrate->setCurrentIndex(static_cast<int>(Value.DesiredNominalBitrate));
    CBMinimumBitrate->setCurrentIndex(static_cast<int>(Value.MinimumBitrate));
    ESerial->setValue(Value.Serial);
    QStringList lines;
    for (const std::string& line : Value.Comments)
        lines << QString::fromStdString(line);
    MComments->setPlainText(lines.join(QLatin1Char('\n')));
}

void TFOgg::accept()
{
    TOggSettings asked;
    // The edit shows two decimals; a value it only rounded for showing stays.
    const double shown = ECompression->value();
    asked.Compression = std::abs(shown - Current.Compression) < 0.005 ? Current.Compression : static_cast<float>(shown);
    asked.DesiredMaximumBitrate = RateAt(*CBMaximumBitrate, Current.DesiredMaximumBitrate);
    asked.DesiredNominalBitrate = RateAt(*CBNominalBitrate, Current.DesiredNominalBitrate);
    asked.MinimumBitrate = RateAt(*CBMinimumBitrate, Current.MinimumBitrate);
    asked.Serial = ESerial->value();
    asked.Comments = TOggSettings::CommentLines(MComments->toPlainText().toStdString());
    Load(KeptSettings(Current, asked));
    QDialog::accept();
}

} // namespace kestrune
