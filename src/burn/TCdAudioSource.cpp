#include "burn/TCdAudioSource.h"

#include "burn/TCdFigures.h"
#include "devices/TSampleConverter.h"
#include "formats/FileReaders.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace kestrune {

namespace {

constexpr TAudioFormat CdFormat{TCdFigures::SampleRate, TCdFigures::BitsPerSample, TCdFigures::Channels};

// Bytes of the file's own audio asked of the reader at a time.
constexpr std::size_t RawBlock = 64 * 1024;

std::string Quoted(const std::string& Name)
{
    return "\"" + Name + "\"";
}

} // namespace

TCdAudioSource::TCdAudioSource(std::string FileName) : FFileName(std::move(FileName))
{
    if (!AudioFileTypeOf(FFileName))
        throw EACSException("Cannot burn " + Quoted(FFileName) + ": the program reads " + ReadableTypesText() +
                            " files, and this is none of them.");
}

TCdAudioSource::~TCdAudioSource()
{
    Close();
}

void TCdAudioSource::MakeReader()
{
    if (!Reader) {
        Reader = NewFileReader(*AudioFileTypeOf(FFileName));
        Reader->SetFileName(FFileName);
    }
}

void TCdAudioSource::Probe()
{
    if (Probed)
        return;
    MakeReader();
    Reader->OpenInput(); // raises "Cannot read "NAME": REASON." for what it cannot read
    try {
        TakeFormat();
    } catch (...) {
        Reader->AbortInput();
        throw;
    }
    Reader->CloseInput();
}

void TCdAudioSource::TakeFormat()
{
    TAudioFormat format{Reader->InSampleRate(), Reader->InBitsPerSample(), Reader->InChannels()};
    if (format.SampleRate <= 0 || !IsPipelineDepth(format.BitsPerSample) || format.Channels < 1 ||
        format.Channels > 2)
        throw EACSException("Cannot burn " + Quoted(FFileName) + ": its audio (" + std::to_string(format.Channels) +
                            " channels, " + std::to_string(format.BitsPerSample) + " bits, " +
                            std::to_string(format.SampleRate) + " Hz) cannot be made into CD audio.");
    Format = format;
    // A length learnt by reading the file through stays known.
    if (const std::int64_t bytes = Reader->Size(); bytes >= 0)
        FFrames = CdFramesOf(bytes / format.FrameBytes());
    Probed = true;
}

TAudioFormat TCdAudioSource::SourceFormat()
{
    Probe();
    return Format;
}

bool TCdAudioSource::Converts()
{
    return !(SourceFormat() == CdFormat);
}

std::int64_t TCdAudioSource::Frames()
{
    Probe();
    return FFrames;
}

std::int64_t TCdAudioSource::Sectors()
{
    const std::int64_t frames = Frames();
    return frames < 0 ? -1 : TCdFigures::SectorsOfFrames(frames);
}

std::int64_t TCdAudioSource::CdFramesOf(std::int64_t SourceFrames) const
{
    if (Format.SampleRate == TCdFigures::SampleRate)
        return SourceFrames;
    return (SourceFrames * TCdFigures::SampleRate + Format.SampleRate / 2) / Format.SampleRate;
}

std::int64_t TCdAudioSource::Slack() const
{
    // The resampler's length differs from the exact ratio by its rounding
    // at the two ends; an unconverted rate must match to the frame.
    return Format.SampleRate == TCdFigures::SampleRate ? 0 : 16;
}

std::int64_t TCdAudioSource::Measure()
{
    if (Frames() >= 0)
        return FFrames;
    Close();
    Open();
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(TCdFigures::SectorBytes) * 64);
    std::int64_t frames = 0;
    try {
        while (const std::size_t n = Read(scratch.data(), scratch.size() / TCdFigures::FrameBytes))
            frames += static_cast<std::int64_t>(n);
    } catch (...) {
        Close();
        throw;
    }
    Close();
    FFrames = frames;
    return FFrames;
}

void TCdAudioSource::Open()
{
    Close();
    MakeReader();
    Reader->OpenInput();
    Opened = true;
    try {
        TakeFormat();
        if (Converts())
            Converter = std::make_unique<TSampleConverter>(Format, CdFormat);
    } catch (...) {
        Close();
        throw;
    }
}

bool TCdAudioSource::Refill()
{
    if (ReaderEnded)
        return false;
    // A block may end inside a frame; the part frame waits at the front of
    // Raw for the rest of it.
    const std::size_t frameBytes = static_cast<std::size_t>(Format.FrameBytes());
    const std::size_t carried = Raw.size();
    Raw.resize(carried + RawBlock);
    int got = 0;
    do
        got = Reader->ReadBlock(Raw.data() + carried, static_cast<int>(RawBlock));
    while (got < 0); // "ask again": a file always has its bytes at hand
    Raw.resize(carried + static_cast<std::size_t>(got));
    const std::size_t whole = Raw.size() / frameBytes * frameBytes;

    // Keep what the caller has not taken yet at the front of Pending.
    Pending.erase(Pending.begin(), Pending.begin() + static_cast<std::ptrdiff_t>(PendingAt));
    PendingAt = 0;
    if (Converter)
        Converter->Convert(Raw.data(), whole, Pending);
    else
        Pending.insert(Pending.end(), Raw.begin(), Raw.begin() + static_cast<std::ptrdiff_t>(whole));
    Raw.erase(Raw.begin(), Raw.begin() + static_cast<std::ptrdiff_t>(whole));

    if (got == 0) {
        ReaderEnded = true;
        if (Converter)
            Converter->Flush(Pending);
        // Raw may still hold a part frame: a file cut inside a frame loses it.
        Raw.clear();
    }
    return true;
}

std::size_t TCdAudioSource::Read(std::uint8_t* Buffer, std::size_t MaxFrames)
{
    if (!Opened)
        Open();
    constexpr std::size_t frameBytes = TCdFigures::FrameBytes;
    const std::size_t wanted = MaxFrames * frameBytes;
    while (Pending.size() - PendingAt < wanted && Refill()) {
    }
    std::size_t frames = (Pending.size() - PendingAt) / frameBytes;
    frames = std::min(frames, MaxFrames);

    if (FFrames >= 0) {
        const auto left = static_cast<std::size_t>(std::max<std::int64_t>(0, FFrames - Delivered));
        if (frames >= left) {
            // The length is met: whatever the file still holds is the
            // resampler's rounding, or the sign of a broken file.
            std::int64_t beyond = static_cast<std::int64_t>((Pending.size() - PendingAt) / frameBytes - left);
            Pending.erase(Pending.begin(), Pending.begin() + static_cast<std::ptrdiff_t>(PendingAt));
            PendingAt = 0;
            Pending.resize(left * frameBytes);
            for (std::size_t kept = Pending.size(); Refill(); Pending.resize(kept))
                beyond += static_cast<std::int64_t>((Pending.size() - kept) / frameBytes);
            if (beyond > Slack())
                throw EACSException("Cannot read " + Quoted(FFileName) + ": it holds more audio than its length (" +
                                    std::to_string(beyond) + " frames more).");
            frames = left;
        } else if (frames == 0 && ReaderEnded) {
            // Short by the resampler's rounding: silence makes up the length.
            const std::int64_t shortBy = FFrames - Delivered;
            if (shortBy > Slack())
                throw EACSException("Cannot read " + Quoted(FFileName) + ": it ends " + std::to_string(shortBy) +
                                    " frames before its length.");
            frames = std::min(MaxFrames, static_cast<std::size_t>(shortBy));
            std::memset(Buffer, 0, frames * frameBytes);
            Delivered += static_cast<std::int64_t>(frames);
            return frames;
        }
    }

    std::memcpy(Buffer, Pending.data() + PendingAt, frames * frameBytes);
    PendingAt += frames * frameBytes;
    Delivered += static_cast<std::int64_t>(frames);
    if (frames == 0 && FFrames < 0)
        FFrames = Delivered;
    return frames;
}

void TCdAudioSource::Close()
{
    if (Opened && Reader) {
        try {
            Reader->CloseInput();
        } catch (...) {
            Reader->AbortInput();
        }
    }
    // A queue holds a source per file; only the open one keeps a reader.
    Reader.reset();
    Opened = false;
    Probed = false;
    ReaderEnded = false;
    Converter.reset();
    Raw.clear();
    Pending.clear();
    PendingAt = 0;
    Delivered = 0;
}

} // namespace kestrune
