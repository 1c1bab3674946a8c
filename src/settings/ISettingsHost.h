#pragma once

namespace kestrune {

// What the settings window needs from the main window. Window thread only.
class ISettingsHost {
public:
    virtual ~ISettingsHost() = default;
    // The program runs for the first time (no settings file at start-up).
    virtual bool FirstRun() const = 0;
    // A noise capture finished: first-run mode is over.
    virtual void ClearFirstRun() = 0;
    // AutoRecognize changed: open or close the recognition client to match.
    virtual void ApplyAutoRecognize() = 0;
    // The recognition service's server or key changed while recognition is
    // on: a client opened with the old ones should be opened again.
    virtual void RecognitionServiceChanged() = 0;
};

} // namespace kestrune
