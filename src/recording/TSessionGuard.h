#pragma once

#include "common/IDesktopSession.h"
#include "common/TJob.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

class TRecorder;
class TRecognitionController;
class TRecordingsList;
struct TTrackData;

// Ties the recording to the desktop session: the session stays awake from
// the recording's start until it has ended, however it ended (stopped, the
// device's audio over, or an error), and every track kept gets a
// notification, replaced by one with its title, artist and album once the
// track is recognised. Window thread only; built after and destroyed before
// the recorder, the recognition and the list it watches.
class TSessionGuard : private TJobListenerBase {
public:
    TSessionGuard(TRecorder& Recorder, TRecognitionController& Recognition, TRecordingsList& List,
                  IDesktopSession& Session);
    ~TSessionGuard() override;
    TSessionGuard(const TSessionGuard&) = delete;
    TSessionGuard& operator=(const TSessionGuard&) = delete;

private:
    void JobStarted(TJobKind Kind, const std::string& Title) override;
    void JobMessage(TJobKind Kind, TJobMessageKind MessageKind, const std::string& Text) override;
    void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) override;
    void NotifyKeptTracks();
    void RowRecognised(int Row);
    // The notification key of a track already announced, or 0.
    std::uint64_t KeyOf(const TTrackData* Track);

    TRecorder& Recorder;
    TRecognitionController& Recognition;
    TRecordingsList& List;
    IDesktopSession& Session;
    int RecognisedListener = 0;
    struct TNote {
        std::weak_ptr<TTrackData> Track;
        std::uint64_t Key = 0;
    };
    std::vector<TNote> Notes;
    std::uint64_t NextKey = 1;
};

} // namespace kestrune
