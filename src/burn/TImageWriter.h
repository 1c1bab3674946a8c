#pragma once

#include "burn/TCdFigures.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kestrune {

// One file of the queue and what the disc says about it.
struct TImageTrack {
    std::string FileName;
    // The track's ISRC (12 characters: country, owner, year, number, as in
    // "USABC2400001"); empty for none.
    std::string Isrc;
    // CD-TEXT; an empty text is taken from the file's tags (title, artist).
    std::string Title;
    std::string Performer;
};

// Where a track lies in the image, in sectors from the start of the bin.
struct TImageTrackPlace {
    std::int64_t GapStart = 0;  // INDEX 00; equal to Start when there is no gap
    std::int64_t Start = 0;     // INDEX 01: the file's first frame
    std::int64_t Frames = 0;    // the file's frames of CD audio
    std::int64_t Sectors = 0;   // from Start: the audio, its last sector filled with silence
    std::string Title;          // CD-TEXT as written (from the queue or the tags)
    std::string Performer;
    std::string Isrc;
};

// The image a queue makes, before a byte of it is written.
struct TImageLayout {
    std::vector<TImageTrackPlace> Tracks;
    std::string AlbumTitle;     // the disc's CD-TEXT
    std::string AlbumPerformer;
    std::int64_t TotalSectors = 0;

    // The size of the queue in the burn window's unit (153535 a second).
    std::int64_t Figure() const { return TCdFigures::FigureOfSectors(TotalSectors); }
};

// What the writer tells while it writes: the track (0-based) whose sectors
// it writes now and how far the whole image is.
struct TImageProgress {
    std::size_t Track = 0;
    std::string FileName;
    std::int64_t SectorsDone = 0;
    std::int64_t SectorsTotal = 0;
};

// Writes a queue of audio files as a CD image that burning programs and CD
// readers take for an audio disc: NAME.bin (the audio, 16-bit little-endian
// stereo, sector by sector) beside NAME.cue (one FILE line naming it, one
// AUDIO track per file). The CD reading library finds the bin by the cue's
// name, so the two always share it.
//
// Layout: the tracks follow one another in queue order, each filling whole
// sectors (its last sector filled with silence, and a file shorter than four
// seconds, the least a CD track may last, filled up to that). Between two
// tracks lies a gap of GapSectors() sectors of silence, marked as the next
// track's INDEX 00; with no gap there is no INDEX 00. The first track starts
// at the bin's first sector (the disc's own two-second lead-in is not part of
// an image).
//
// Reading such a disc back: a CD reader, the program's grabber and
// cd-paranoia alike, reads a track from its INDEX 01 to the next track's
// INDEX 01, so the gap in front of a track comes back as the end of the
// track before it. A file therefore returns as its own audio followed by
// silence: the fill of its last sector and, for every file but the last,
// the gap that follows it. Burning programs that count the gap as the head
// of the next track (libburn) write the same sectors.
//
// CD-TEXT goes into the cue as TITLE and PERFORMER lines, for the disc (the
// album and artist given, or else those all tagged files share) and for each
// track; ISRC lines where a track has one. Texts are written in ISO-8859-1,
// the character set of CD-TEXT; characters outside it become "?", and a
// double quote, which a cue cannot carry inside a text, becomes a single one.
//
// Nothing is half written: the queue is measured and checked (every file
// readable, at most 99 tracks, ISRCs well formed, the whole within the
// capacity) before the first byte; both files are written under temporary
// names in the target folder (TPartFile) and get their names only when
// complete. A failure or a cancel removes what was written; what a killed
// write left there is removed by the next write in that folder.
//
// Threads: Write runs on the caller's thread (a worker's, in the burn
// controller) and calls the progress function there; on a machine with more
// than one core it writes the following tracks on further threads of its own
// at the same time, each at its place in the bin, and ends them before it
// returns. Cancel may be called from any thread.
class TImageWriter {
public:
    static constexpr int DefaultGapSectors = 2 * TCdFigures::SectorsPerSecond;
    static constexpr int MinTrackSectors = 4 * TCdFigures::SectorsPerSecond;
    static constexpr int MaxTracks = 99;

    enum class TResult { irWritten, irCancelled };
    using TProgress = std::function<void(const TImageProgress&)>;

    // Sectors a track of Frames frames takes: whole sectors, at least the
    // four seconds a CD track lasts.
    static constexpr std::int64_t TrackSectors(std::int64_t Frames)
    {
        return std::max<std::int64_t>(TCdFigures::SectorsOfFrames(Frames), MinTrackSectors);
    }

    // The image's cue sheet; the bin is the same name with ".bin".
    explicit TImageWriter(std::filesystem::path CuePath);

    const std::filesystem::path& CuePath() const { return FCuePath; }
    std::filesystem::path BinPath() const;

    // Silence between tracks, in sectors (75 a second); 0 for none.
    void SetGapSectors(int Sectors);
    int GapSectors() const { return FGapSectors; }
    // How much the "disc" holds, in sectors; an 80-minute CD-R unless set.
    void SetCapacitySectors(std::int64_t Sectors) { FCapacitySectors = Sectors; }
    std::int64_t CapacitySectors() const { return FCapacitySectors; }
    // The disc's CD-TEXT; empty texts are taken from the files' tags.
    void SetAlbum(std::string Title, std::string Performer);
    // Whether an existing image of the same name is replaced; when not, its
    // presence is refused before anything is written.
    void SetReplace(bool Value) { FReplace = Value; }
    void SetProgress(TProgress Progress) { FProgress = std::move(Progress); }

    // Measures the queue and lays it out, with every check Write makes
    // before writing; raises EACSException with the reason when the queue
    // cannot be written. Reads no more of the files than their headers,
    // except a file whose length only reading it through can tell.
    TImageLayout Plan(const std::vector<TImageTrack>& Queue) const;

    // Writes the image. Raises EACSException when the queue cannot be
    // written or writing fails; returns irCancelled after a Cancel. In both
    // cases neither file is left behind.
    TResult Write(const std::vector<TImageTrack>& Queue);
    // Asks the running Write to stop; it stops at the next block.
    void Cancel() { FCancel = true; }

    // The cue sheet of Layout for a bin named BinName.
    static std::string CueText(const TImageLayout& Layout, const std::string& BinName);

private:
    std::filesystem::path FCuePath;
    int FGapSectors = DefaultGapSectors;
    std::int64_t FCapacitySectors = TCdFigures::SectorsOfMinutes(TCdFigures::DefaultCapacityMinutes);
    std::string FAlbumTitle;
    std::string FAlbumPerformer;
    bool FReplace = false;
    TProgress FProgress;
    std::atomic<bool> FCancel{false};
};

} // namespace kestrune
