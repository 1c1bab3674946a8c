#pragma once

#include <string>

namespace kestrune {

// What the recordings list asks of the window's list control (or of the
// command line). Called on the window thread only.
class IRecordingsView {
public:
    virtual ~IRecordingsView() = default;

    // A row now stands at Index (the rows from there on moved down one).
    virtual void RowInserted(int Index) = 0;
    // The row at Index is gone (the rows after it moved up one).
    virtual void RowRemoved(int Index) = 0;
    // The row at From now stands at To; the rows between shifted by one.
    virtual void RowMoved(int From, int To) = 0;
    // One row's texts or icon changed.
    virtual void RowChanged(int Index) = 0;
    virtual void SelectRow(int Index) = 0;
    // The totals line beside the status line.
    virtual void SetTotals(const std::string& Text) = 0;
};

// The track-information window: edits title, artist, album and genre.
class ITrackInfoDialog {
public:
    struct TFields {
        std::string Title;
        std::string Artist;
        std::string Album;
        std::string Genre;
    };
    virtual ~ITrackInfoDialog() = default;
    // True when the user saved; Fields then holds the new texts.
    virtual bool Edit(TFields& Fields) = 0;
};

} // namespace kestrune
