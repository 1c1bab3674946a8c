#include "recording/TAutoWriteRecordings.h"

#include <algorithm>

namespace kestrune {

TAutoWriteRecordings::TAutoWriteRecordings(TRecordingsList& List_, const TRecorder& Recorder_, TBurnController& Burn_)
    : List(List_), Recorder(Recorder_), Burn(Burn_)
{
    Burn.SetRecordings(this);
}

TAutoWriteRecordings::~TAutoWriteRecordings()
{
    Burn.SetRecordings(nullptr);
}

bool TAutoWriteRecordings::WriterAvailable()
{
    return Burn.WriterAvailable();
}

void TAutoWriteRecordings::OfferTrack(int Row, const std::string&, int)
{
    Burn.OfferTrack(Row);
}

int TAutoWriteRecordings::LastFinishedRow() const
{
    return std::max(-1, List.Count() - (Recorder.Recording() ? 2 : 1));
}

std::string TAutoWriteRecordings::FileName(int Row) const
{
    const TRecordingRow& row = List.Row(Row);
    return row.Data ? row.Data->FileName : std::string();
}

int TAutoWriteRecordings::DurationSeconds(int Row) const
{
    const TRecordingRow& row = List.Row(Row);
    return row.Data ? row.Data->Duration : 0;
}

bool TAutoWriteRecordings::Handled(int Row) const
{
    const TRecordingRow& row = List.Row(Row);
    return !row.Data || row.Data->Handled;
}

void TAutoWriteRecordings::MarkHandled(int Row)
{
    if (const TRecordingRow& row = List.Row(Row); row.Data)
        row.Data->Handled = true;
}

} // namespace kestrune
