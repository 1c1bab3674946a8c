#pragma once

#include "common/TJob.h"
#include "recording/IRecorderView.h"
#include "recording/IRecordingsView.h"
#include "recording/TRecorder.h"

#include <string>
#include <vector>

namespace kestrune::test {

// The main window as the recorder and the recordings list see it, keeping
// what they last showed: the status line as the window draws it from the
// recording's job events, and the list's notifications in order.
struct TFakeMainView final : IRecorderView, IRecordingsView, TJobListenerBase {
    void EnableControls(bool Enabled) override { ControlsEnabled = Enabled; }
    void FocusAlbumName() override { Focused = true; }
    void TrackFinished(int, bool Kept) override { ++(Kept ? KeptTracks : DroppedTracks); }
    void CloseWindow() override { CloseAsked = true; }
    void RowInserted(int Index) override { Notes.push_back("+" + std::to_string(Index)); }
    void RowRemoved(int Index) override { Notes.push_back("-" + std::to_string(Index)); }
    void RowMoved(int From, int To) override { Notes.push_back(std::to_string(From) + ">" + std::to_string(To)); }
    void RowChanged(int Index) override { Notes.push_back("~" + std::to_string(Index)); }
    void SelectRow(int) override {}
    void SetTotals(const std::string& Text) override { Totals = Text; }

    void JobStarted(TJobKind Kind, const std::string& Title) override
    {
        if (Kind == TJobKind::jkRecording)
            Status = Title;
    }
    void JobMessage(TJobKind, TJobMessageKind, const std::string& Text) override { Messages.push_back(Text); }
    void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) override
    {
        if (Kind == TJobKind::jkRecognition)
            RecognitionOutcomes.push_back(Outcome);
        if (Kind != TJobKind::jkRecording)
            return;
        Status = TRecorder::StatusText(Outcome, Reason);
        Outcomes.push_back(Outcome);
    }

    std::string Status, Totals;
    bool ControlsEnabled = true, Focused = false, CloseAsked = false;
    int KeptTracks = 0, DroppedTracks = 0;
    std::vector<std::string> Notes, Messages;
    std::vector<TJobOutcome> Outcomes, RecognitionOutcomes;
};

} // namespace kestrune::test
