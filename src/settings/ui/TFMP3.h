#pragma once

#include "settings/TEncoderSettings.h"

#include <QDialog>

class QComboBox;

namespace kestrune {

// "Output Settings" of the MP3 writer: its bit rate. In stand-alone mode (the
// rip window's) it is a plain chooser of a list entry: Load and "Save" leave
// the settings alone, nothing is selected unless the caller selects it, and
// the caller reads the entry back with SelectedIndex.
class TFMP3 : public QDialog {
    Q_OBJECT
public:
    explicit TFMP3(QWidget* Parent = nullptr);

    // Set before Load and before the dialog is shown.
    void SetStandAlone(bool Value);
    // Shows Value's bit rate, unless stand-alone.
    void Load(const TMp3Settings& Value);
    // What was loaded, or after "Save" the bit rate chosen (unless stand-alone).
    TMp3Settings Settings() const { return Current; }

    // The list position (the TMP3BitRate value), -1 for none.
    int SelectedIndex() const;
    void SelectIndex(int Index);

    void accept() override;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    QComboBox* CBBitrate;
    TMp3Settings Current;
    bool StandAlone = false;
};

} // namespace kestrune
