#pragma once

#include "recording/IRecorderView.h"
#include "recording/IRecordingsView.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace kestrune::test {

// The main window as the recorder and the recordings list see it, keeping
// what they last showed.
struct TFakeMainView final : IRecorderView, IRecordingsView {
    void SetStatus(const std::string& Text) override { Status = Text; }
    void EnableControls(bool Enabled) override { ControlsEnabled = Enabled; }
    void FocusAlbumName() override { Focused = true; }
    void ShowLevel(int Peak, int, std::int64_t, std::int64_t) override { MaxPeak = std::max(MaxPeak, Peak); }
    void TrackFinished(int, bool Kept) override { ++(Kept ? KeptTracks : DroppedTracks); }
    void CloseWindow() override { CloseAsked = true; }
    void RowsChanged() override {}
    void RowChanged(int) override {}
    void SelectRow(int) override {}
    void SetTotals(const std::string& Text) override { Totals = Text; }

    std::string Status, Totals;
    bool ControlsEnabled = true, Focused = false, CloseAsked = false;
    int MaxPeak = 0, KeptTracks = 0, DroppedTracks = 0;
};

} // namespace kestrune::test
