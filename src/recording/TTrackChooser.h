#pragma once

#include "recording/ITrackChooserView.h"

#include <vector>

namespace kestrune {

// The chooser window `TFTrackList` without its drawing: offers the
// candidates of a recognition and remembers the one the user double-clicked.
// Window thread only.
class TTrackChooser {
public:
    static constexpr const char* Caption = "Choose a track from the list";

    explicit TTrackChooser(ITrackChooserView& View);

    // Fills the list and shows it modally; returns the chosen index, or -1
    // when the window was closed any other way.
    int Choose(const std::vector<TTrackInfo>& Candidates);

    // The view's double click; Selected is the selected row or -1.
    void RowDoubleClicked(int Selected);
    int ChosenIndex() const { return FChosenIndex; }

private:
    ITrackChooserView& View;
    int FChosenIndex = -1;
    int RowCount = 0;
};

} // namespace kestrune
