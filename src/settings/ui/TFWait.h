#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "settings/TNoiseLevelCapture.h"

#include <QDialog>

class QLabel;
class QTimer;

namespace kestrune {
class TLevelMeter;
}

namespace kestrune {

class TOptions;

// "Please Wait...": the twenty seconds of the noise-level capture with their
// countdown, and beside it what the capture sees: the level of the input
// right now against the levels measured so far, each on a meter that marks
// the loudest silence can be, so a measurement of music shows at a glance.
class TFWait : public QDialog, private TJobListenerBase {
    Q_OBJECT
public:
    TFWait(TOptions& Options, IDispatcher& Dispatcher, IDialogs& Dialogs, QWidget* Parent = nullptr);
    ~TFWait() override;

    // The capture; a virtual device read faster than real time is paced by
    // its audio: set AudioIn1().SetRealTime(false) before Run.
    TNoiseLevelCapture& Capture() { return FCapture; }

    // Shows the window modally and runs the capture; true when it reached
    // "Test finished" and the levels measured were kept.
    bool Run();
    // Starts the capture in a window shown without waiting for it; Run does
    // this once its window is up.
    void Start();

public slots:
    // Closing the window early abandons the capture; the levels from before stay.
    void reject() override;

private:
    void JobProgress(TJobKind Kind, double Fraction, const std::string& Text) override;
    void JobMessage(TJobKind Kind, TJobMessageKind MessageKind, const std::string& Text) override;
    void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) override;
    void ShowLevels();

    TOptions& Options;
    IDialogs& Dialogs;
    TNoiseLevelCapture FCapture;
    QLabel* LTime = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Display = nullptr;
    TLevelMeter* InputMeter = nullptr;
    TLevelMeter* Meter8 = nullptr;
    TLevelMeter* Meter16 = nullptr;
    QLabel* LInput = nullptr;
    QLabel* L8 = nullptr;
    QLabel* L16 = nullptr;
    QLabel* LNote = nullptr; // a warning about the input's level, while the capture runs
    bool Kept = false;
    std::string LastMessage;
};

} // namespace kestrune
