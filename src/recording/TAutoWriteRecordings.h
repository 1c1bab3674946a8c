#pragma once

#include "burn/TBurnController.h"
#include "recording/IRecorderView.h"
#include "recording/TRecorder.h"
#include "recording/TRecordingsList.h"

namespace kestrune {

// The automatic writing mode between the recorder and the burn window: the
// recorder offers every kept track here (when WriterMode is 1 and a writer
// was found), and the burn window walks the recordings list through it to
// queue what was recorded while a disc was burning. Window thread only.
class TAutoWriteRecordings final : public ITrackOffer, public IAutoWriteRecordings {
public:
    // Hands itself to Burn, which outlives it.
    TAutoWriteRecordings(TRecordingsList& List, const TRecorder& Recorder, TBurnController& Burn);
    ~TAutoWriteRecordings() override;
    TAutoWriteRecordings(const TAutoWriteRecordings&) = delete;
    TAutoWriteRecordings& operator=(const TAutoWriteRecordings&) = delete;

    // ITrackOffer
    bool WriterAvailable() override;
    void OfferTrack(int Row, const std::string& FileName, int Seconds) override;

    // IAutoWriteRecordings: while a recording runs, the list's last row is
    // the track being recorded.
    int LastFinishedRow() const override;
    std::string FileName(int Row) const override;
    int DurationSeconds(int Row) const override;
    bool Handled(int Row) const override;
    void MarkHandled(int Row) override;

private:
    TRecordingsList& List;
    const TRecorder& Recorder;
    TBurnController& Burn;
};

} // namespace kestrune
