#pragma once

#include "recognition/TTrackInfo.h"

#include <vector>

namespace kestrune {

class TTrackChooser;

// The chooser window ("Choose a track from the list"): a read-only list with
// the columns "Title", "Artist" and "Album". Window thread only.
class ITrackChooserView {
public:
    virtual ~ITrackChooserView() = default;

    // One row per candidate, in order.
    virtual void SetRows(const std::vector<TTrackInfo>& Rows) = 0;
    // Shows the window modally and returns when it has closed; the user's
    // double click reaches Chooser.RowDoubleClicked meanwhile.
    virtual void ShowModal(TTrackChooser& Chooser) = 0;
    // Closes the window (ends ShowModal).
    virtual void Close() = 0;
};

} // namespace kestrune
