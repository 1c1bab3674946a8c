#include "recording/TTrackChooser.h"

namespace kestrune {

TTrackChooser::TTrackChooser(ITrackChooserView& V) : View(V) {}

int TTrackChooser::Choose(const std::vector<TTrackInfo>& Candidates)
{
    FChosenIndex = -1;
    RowCount = static_cast<int>(Candidates.size());
    View.SetRows(Candidates);
    View.ShowModal(*this);
    return FChosenIndex;
}

void TTrackChooser::RowDoubleClicked(int Selected)
{
    if (Selected < 0 || Selected >= RowCount)
        return;
    FChosenIndex = Selected;
    View.Close();
}

} // namespace kestrune
