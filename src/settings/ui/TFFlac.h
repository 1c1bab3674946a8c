#pragma once

#include "settings/TEncoderSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace kestrune {

// "Output Settings" (the desktop shows "Output Settings — Kestrune") of the
// FLAC writer: the compression level first (libFLAC's presets, as flac -0
// ... -8), and under it, for "Custom", block size, the model's orders and
// precision, and the search and stereo flags. "Save" goes through
// the writer's setters, so loose mid-side stereo turns mid-side stereo on.
class TFFlac : public QDialog {
    Q_OBJECT
public:
    explicit TFFlac(QWidget* Parent = nullptr);

    void Load(const TFlacSettings& Value);
    // What was loaded, or after "Save" what the writer keeps of the controls.
    TFlacSettings Settings() const { return Current; }

    void accept() override;

private:
    // The raw settings count only for "Custom".
    void ShowLevel(int Level);

    QComboBox* CBLevel;
    QSpinBox* EBlockSize;
    QSpinBox* EMaxLPCOrder;
    QSpinBox* EMaxResidualPartitionOrder;
    QSpinBox* EMinResidualPartitionOrder;
    QSpinBox* EQLPCoeffPrecision;
    QCheckBox* chkBestModelSearch;
    QCheckBox* chkVerify;
    QCheckBox* chkMidSideStereo;
    QCheckBox* chkLooseMidSideStereo;
    QCheckBox* chkCoeffPrecisionSearch;
    TFlacSettings Current;
};

} // namespace kestrune
