#pragma once

#include <cstdint>

namespace kestrune {

// The sizes of CD audio and the figures the burn window shows.
//
// CD audio is 44.1 kHz stereo 16-bit: a frame is one left and one right
// sample (4 bytes), a sector 588 frames (2352 bytes, 1/75 s). A track
// occupies whole sectors.
//
// The window's figures (the size of the queue, the used space and the disc's
// capacity) count in a unit of their own, 153535 to a second of audio; the
// window turns them into seconds by dividing and rounding up. Every figure
// the writer reports is made here, from sectors, so the queue, the space
// line and the capacity check agree to the sector.
struct TCdFigures {
    static constexpr int SampleRate = 44100;
    static constexpr int Channels = 2;
    static constexpr int BitsPerSample = 16;
    static constexpr int FrameBytes = 4;
    static constexpr int SectorFrames = 588;
    static constexpr int SectorBytes = SectorFrames * FrameBytes; // 2352
    static constexpr int SectorsPerSecond = 75;
    static constexpr std::int64_t PerSecond = 153535; // figure units per second of audio
    // A blank 80-minute CD-R.
    static constexpr int DefaultCapacityMinutes = 80;

    // Sectors that hold Frames frames: a partial sector counts whole.
    static constexpr std::int64_t SectorsOfFrames(std::int64_t Frames)
    {
        return (Frames + SectorFrames - 1) / SectorFrames;
    }
    static constexpr std::int64_t SectorsOfMinutes(std::int64_t Minutes) { return Minutes * 60 * SectorsPerSecond; }
    // The figure of Sectors sectors of audio, rounded up, so that a figure
    // turned back into seconds never shows less than the audio takes.
    static constexpr std::int64_t FigureOfSectors(std::int64_t Sectors)
    {
        return (Sectors * PerSecond + SectorsPerSecond - 1) / SectorsPerSecond;
    }
    // Whole seconds of a figure, rounded up, as the space line shows them.
    static constexpr std::int64_t SecondsOfFigure(std::int64_t Figure) { return (Figure + PerSecond - 1) / PerSecond; }
};

static_assert(TCdFigures::FigureOfSectors(TCdFigures::SectorsOfMinutes(80)) == 80 * 60 * TCdFigures::PerSecond);
static_assert(TCdFigures::SecondsOfFigure(TCdFigures::FigureOfSectors(1)) == 1);

} // namespace kestrune
