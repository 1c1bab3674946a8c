#pragma once

#include "settings/TEncoderSettings.h"

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;
class QPlainTextEdit;
class QSpinBox;

namespace kestrune {

// "Output Settings" of the Ogg Vorbis writer: quality, the three bit-rate
// limits, the stream's serial number and the comments (one "NAME=value" a
// line). "Save" goes through the writer's rules, so a minimum above the
// normal bit rate, say, is not kept.
class TFOgg : public QDialog {
    Q_OBJECT
public:
    explicit TFOgg(QWidget* Parent = nullptr);

    void Load(const TOggSettings& Value);
    // What was loaded, or after "Save" what the writer keeps of the controls.
    TOggSettings Settings() const { return Current; }

    void accept() override;

private:
    QDoubleSpinBox* ECompression;
    QComboBox* CBMaximumBitrate;
    QComboBox* CBNominalBitrate;
    QComboBox* CBMinimumBitrate;
    QSpinBox* ESerial;
    QPlainTextEdit* MComments;
    TOggSettings Current;
};

} // namespace kestrune
