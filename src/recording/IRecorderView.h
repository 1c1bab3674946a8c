#pragma once

#include <cstdint>
#include <string>

namespace kestrune {

// What the recorder asks of the main window (or of the command line) besides
// its job events (status texts come from those). Called on the window thread
// only.
class IRecorderView {
public:
    virtual ~IRecorderView() = default;

    // Every control but Stop on while idle, off while recording.
    virtual void EnableControls(bool Enabled) = 0;
    virtual void FocusAlbumName() = 0;
    // A finished track was kept in the list (Row) or dropped as too short.
    virtual void TrackFinished(int Row, bool Kept) = 0;
    // The close request that stopped the recording has been carried out: the
    // window may close now.
    virtual void CloseWindow() = 0;
};

// Where finished tracks are offered for automatic CD writing; the burn
// window fills it. Window thread.
class ITrackOffer {
public:
    virtual ~ITrackOffer() = default;
    virtual bool WriterAvailable() = 0;
    virtual void OfferTrack(int Row, const std::string& FileName, int Seconds) = 0;
};

} // namespace kestrune
