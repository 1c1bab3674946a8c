#pragma once

#include "common/IDesktop.h"
#include "recording/IRecordingsView.h"
#include "recording/TTrackData.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrune {

// What a row's icon shows: a recorded track, or a recognised one with one
// match or with several to choose from.
enum class TRowState { rsRecorded, rsOneMatch, rsSeveralMatches };

// One row of the recordings list: the caption (Title column), the four
// sub-items, the state (its icon) and the record.
struct TRecordingRow {
    std::string Caption;
    std::string Artist;
    std::string Album;
    std::string Genre;
    std::string Time = "00:00";
    TRowState State = TRowState::rsRecorded;
    TTrackDataPtr Data;
    // Shown when the pointer rests on the row: why recognition left it as
    // it is (a failed query keeps "Querying online database...").
    std::string Hint;
};

// The tracks recorded since start-up, with the totals line, and the commands
// on them: delete, move, edit, tag and rename. The list is never saved.
// Window thread only.
class TRecordingsList {
public:
    explicit TRecordingsList(IRecordingsView& View);

    int Count() const { return static_cast<int>(Rows.size()); }
    const TRecordingRow& Row(int Index) const { return Rows.at(static_cast<size_t>(Index)); }
    // Changes a row and tells the view.
    void UpdateRow(int Index, const TRecordingRow& Row);
    // The row that holds the record, or -1 when it is gone.
    int IndexOf(const TTrackData* Data) const;

    int Append(TRecordingRow Row);
    // Removes the row and its record (no file is touched).
    void Remove(int Index);

    // Play: the row's file opens in the user's default player. False when
    // the row has no record or no player could be started.
    bool Play(int Index, IDesktop& Desktop) const;
    // Delete: the file goes from the disk, the row from the list, its share
    // from the totals. BytesPerSecond of the capture format estimates the
    // size of a file that cannot be read. Discard, when given, takes the file
    // away in the deleting one's place (the desktop's trash) and says whether
    // it went; a file it kept keeps its row. False when the row stays.
    bool Delete(int Index, std::int64_t BytesPerSecond,
                const std::function<bool(const std::string& File)>& Discard = {});
    void MoveUp(int Index);
    void MoveDown(int Index);
    // Edit Info through the track-information window; saved texts are
    // written into the file by TagAndRename. Tag errors reach the caller.
    void EditInfo(int Index, ITrackInfoDialog& Dialog);
    // Writes the row's texts into its file's tag and names the file after
    // artist and title. The tag error reaches the caller; a rename that
    // cannot be made (a file of that name exists) leaves the name as it is.
    void TagAndRename(int Index);

    void AddToTotals(int Seconds, double Kilobytes);
    int TotalSeconds() const { return FTotalSeconds; }
    double TotalKilobytes() const { return FTotalKilobytes; }
    std::string TotalsText() const;

    // "mm:ss", each at least two digits.
    static std::string TimeText(int Seconds);
    // Renames without ever replacing an existing file; false when it could not.
    static bool RenameNoReplace(const std::string& From, const std::string& To);

private:
    IRecordingsView& View;
    std::vector<TRecordingRow> Rows;
    int FTotalSeconds = 0;
    double FTotalKilobytes = 0;
};

} // namespace kestrune
