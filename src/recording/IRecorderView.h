#pragma once

#include <cstdint>
#include <string>

namespace kestrune {

// What the recorder asks of the main window (or of the command line).
// Called on the window thread only.
class IRecorderView {
public:
    virtual ~IRecorderView() = default;

    virtual void SetStatus(const std::string& Text) = 0;
    // Every control but Stop on while idle, off while recording.
    virtual void EnableControls(bool Enabled) = 0;
    virtual void FocusAlbumName() = 0;
    // The input level of the last block (largest magnitude of FullScale) and
    // the quiet run so far against the silence length, both in bytes.
    virtual void ShowLevel(int Peak, int FullScale, std::int64_t QuietBytes, std::int64_t SilenceBytes) = 0;
    // A finished track was kept in the list (Row) or dropped as too short.
    virtual void TrackFinished(int Row, bool Kept) = 0;
    // The close request that stopped the recording may now close the window.
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
