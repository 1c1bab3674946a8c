#include "formats/TWaveIn.h"

#include "formats/TImaAdpcm.h"
#include "formats/TMpegWaveDecoder.h"
#include "formats/TMsAdpcm.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

namespace kestrune {

namespace {

// MPEG data is read whole before decoding; more than this is not a WAV file
// anybody made.
constexpr std::int64_t MpegDataLimit = 512LL * 1024 * 1024;

// Data sizes from here on are the placeholders of writers that never came
// back to their header, not lengths.
constexpr std::uint32_t UnknownSizeFrom = 0x7FFFF000U;

} // namespace

TWaveIn::~TWaveIn()
{
    if (OpenCount > 0) {
        try {
            Release();
        } catch (...) {
        }
    }
}

void TWaveIn::OpenFile()
{
    StreamAt = -1;
    if (OpenCount == 0) {
        Type = TWavType::wtUnsupported;
        FValid = true;
        InvalidReason.clear();
        OpenOwnStream();
        try {
            Parse();
        } catch (...) {
            Release();
            throw;
        }
    }
    ++OpenCount;
}

void TWaveIn::Parse()
{
    Stream->Seek(0, TSeekOrigin::soBeginning);
    Header = TRiffChunkWalk::Walk(*Stream);
    FSampleRate = static_cast<int>(std::min<std::uint32_t>(Header.SampleRate, 0x7FFFFFFF));
    FChannels = Header.Channels;
    FBitsPerSample = 0;
    FTotalSamples = 0;
    FSize = 0;
    SkipFrames = 0;
    PromisedFrames = -1;
    PromisedBytes = 0;
    ShortData = false;
    if (Header.Type == TWavType::wtUnsupported) {
        Invalidate(Header.Problem);
        return;
    }
    if (FSampleRate == 0 || FChannels == 0) {
        Invalidate(FSampleRate == 0 ? "the sample rate is 0" : "the channel count is 0");
        return;
    }
    // A writer that could not go back to its header (a capture that was
    // never finished, a pipe) leaves a size it did not know: 0, 0xFFFFFFFF,
    // or a placeholder near 2^31 (sox writes 0x7FFFF000, arecord
    // 0x80000000). Such data runs to the end of the file. Any other size is
    // the length of the audio: a file that holds less was cut, and reading it
    // ends in an error rather than passing for a shorter file.
    const std::int64_t available = std::max<std::int64_t>(0, Stream->Size() - Header.DataStart);
    const bool unknownSize = Header.DataSize == 0 || Header.DataSize >= UnknownSizeFrom;
    const std::int64_t length = unknownSize ? available : std::min<std::int64_t>(Header.DataSize, available);
    PromisedBytes = unknownSize ? length : Header.DataSize;
    DataStart = Header.DataStart;
    DataEnd = DataStart + length;
    ReadPos = DataStart;

    switch (Header.Type) {
    case TWavType::wtPCM: {
        const int bits = Header.BitsPerSample;
        if (bits != 8 && bits != 16 && bits != 24) {
            Invalidate(std::to_string(bits) + "-bit PCM samples are not supported");
            return;
        }
        FBitsPerSample = bits;
        if (FrameBytes() > BufferSize) {
            Invalidate(std::to_string(FChannels) + " channels are not supported");
            return;
        }
        FTotalSamples = length / FrameBytes();
        FSize = FTotalSamples * FrameBytes();
        PromisedFrames = PromisedBytes / FrameBytes();
        break;
    }
    case TWavType::wtDVIADPCM:
        if (Header.BitsPerSample != 4) {
            Invalidate("IMA ADPCM with " + std::to_string(Header.BitsPerSample) + " bits per sample is not supported");
            return;
        }
        CheckAdpcm(&TImaAdpcm::FramesInBytes);
        break;
    case TWavType::wtMSADPCM:
        if (Header.CoefficientCount == 0) {
            Invalidate("Microsoft ADPCM without coefficient pairs");
            return;
        }
        CheckAdpcm(&TMsAdpcm::FramesInBytes);
        break;
    case TWavType::wtACM:
        ShortData = length < PromisedBytes;
        DecodeMpeg();
        return;
    case TWavType::wtUnsupported:
        return;
    }
    ShortData = length < PromisedBytes;
    if (FValid && ShortData && FTotalSamples == 0)
        Invalidate("the file ends inside its audio: " + ReadSoFar(0));
    if (FValid) {
        Type = Header.Type;
        Stream->Seek(DataStart, TSeekOrigin::soBeginning);
    }
}

std::string TWaveIn::ReadSoFar(std::int64_t Frames) const
{
    const double rate = std::max(1, FSampleRate);
    char text[96];
    if (PromisedFrames > Frames)
        std::snprintf(text, sizeof text, "%.2f s of the %.2f s its header announces read",
                      static_cast<double>(Frames) / rate, static_cast<double>(PromisedFrames) / rate);
    else
        std::snprintf(text, sizeof text, "%.2f s read", static_cast<double>(Frames) / rate);
    return text;
}

void TWaveIn::CheckAdpcm(int (*FramesInBytes)(int, int))
{
    if (FChannels != 1 && FChannels != 2) {
        Invalidate("ADPCM with " + std::to_string(FChannels) + " channels is not supported");
        return;
    }
    BlockAlign = Header.BlockAlign;
    const int mostFrames = FramesInBytes(BlockAlign, FChannels);
    if (mostFrames <= 0) {
        Invalidate("damaged ADPCM header: blocks of " + std::to_string(BlockAlign) + " bytes");
        return;
    }
    // A header without the frames per block gets what the block holds.
    SamplesPerBlock = Header.SamplesPerBlock != 0 ? Header.SamplesPerBlock : mostFrames;
    if (SamplesPerBlock > mostFrames) {
        Invalidate("damaged ADPCM header: " + std::to_string(SamplesPerBlock) + " frames do not fit in blocks of " +
                   std::to_string(BlockAlign) + " bytes");
        return;
    }
    if (SamplesPerBlock * 2 * FChannels > BufferSize) {
        Invalidate("ADPCM blocks of " + std::to_string(SamplesPerBlock) +
                   " frames are not supported (at most 8192 mono or 4096 stereo frames)");
        return;
    }
    const auto capacityOf = [&](std::int64_t Length) {
        return Length / BlockAlign * SamplesPerBlock +
               std::min(SamplesPerBlock, FramesInBytes(static_cast<int>(Length % BlockAlign), FChannels));
    };
    const std::int64_t capacity = capacityOf(DataEnd - DataStart);
    // The fact chunk gives the true length (the last block is padded); a
    // count of 0 or beyond the data is not to be trusted.
    const std::int64_t frames =
        Header.HasFact && Header.FactFrames != 0 ? std::min<std::int64_t>(Header.FactFrames, capacity) : capacity;
    const std::int64_t promised = capacityOf(PromisedBytes);
    PromisedFrames =
        Header.HasFact && Header.FactFrames != 0 ? std::min<std::int64_t>(Header.FactFrames, promised) : promised;
    BlockBytes.assign(static_cast<size_t>(BlockAlign), 0);
    FBitsPerSample = 16;
    FTotalSamples = frames;
    FSize = frames * 2 * FChannels;
}

void TWaveIn::DecodeMpeg()
{
    const std::int64_t length = DataEnd - DataStart;
    if (length > MpegDataLimit) {
        Invalidate("the MPEG audio data is too large");
        return;
    }
    std::vector<std::uint8_t> mpeg(static_cast<size_t>(length));
    Stream->Seek(DataStart, TSeekOrigin::soBeginning);
    if (!Stream->ReadExact(mpeg.data(), length)) {
        Invalidate("the MPEG audio data could not be read");
        return;
    }
    TDecodedPcm pcm;
    try {
        pcm = TMpegWaveDecoder::Decode(mpeg.data(), mpeg.size());
    } catch (const EACSException& e) {
        Invalidate(AsReason(e.what()));
        return;
    }
    if (pcm.Bytes.empty()) {
        Invalidate("the MPEG audio data could not be decoded");
        return;
    }
    // The image stands in for the file until the input is closed.
    if (StreamSupplied)
        SuppliedAside = Stream;
    else
        FreeOwnStream();
    Image = std::make_unique<TMemoryStream>(std::move(pcm.Bytes));
    Stream = Image.get();
    FSampleRate = pcm.SampleRate;
    FChannels = pcm.Channels;
    FBitsPerSample = 16;
    DataStart = 0;
    DataEnd = Image->Size();
    ReadPos = 0;
    FTotalSamples = DataEnd / FrameBytes();
    FSize = FTotalSamples * FrameBytes();
    Type = TWavType::wtACM;
}

void TWaveIn::Release()
{
    if (Image) {
        Image.reset();
        Stream = StreamSupplied ? SuppliedAside : nullptr;
        SuppliedAside = nullptr;
    }
    ReleaseStream();
}

void TWaveIn::CloseFile()
{
    CountClose([this] { Release(); });
}

bool TWaveIn::SeekSample(std::int64_t Sample)
{
    if (!FRewindable)
        return false;
    OpenFile();
    if (FValid && Type != TWavType::wtUnsupported) {
        const std::int64_t frame = std::clamp<std::int64_t>(Sample, 0, FTotalSamples);
        if (Type == TWavType::wtDVIADPCM || Type == TWavType::wtMSADPCM) {
            // Blocks decode on their own: start at the block holding the frame
            // and drop the frames before it.
            const std::int64_t block = frame / SamplesPerBlock;
            ReadPos = DataStart + block * BlockAlign;
            SkipFrames = frame - block * SamplesPerBlock;
        } else {
            ReadPos = DataStart + frame * FrameBytes();
            SkipFrames = 0;
        }
        Stream->Seek(ReadPos, TSeekOrigin::soBeginning);
        StreamAt = ReadPos;
        BufStart = 1;
        BufEnd = 0;
    }
    CloseFile();
    return true;
}

void TWaveIn::SeekToReadPos()
{
    // Reads follow each other in the file; a seek is only needed after
    // something else moved the stream.
    if (StreamAt != ReadPos)
        Stream->Seek(ReadPos, TSeekOrigin::soBeginning);
}

int TWaveIn::RefillPcm()
{
    const int frameBytes = FrameBytes();
    const std::int64_t want = std::min(
        {static_cast<std::int64_t>(BufferSize - BufferSize % frameBytes), DataEnd - ReadPos, Size() - Position()});
    if (want <= 0)
        return 0;
    SeekToReadPos();
    const std::int64_t n = Stream->Read(Buffer.data(), want);
    if (n <= 0) {
        // The file is shorter now than when it was opened.
        ShortData = true;
        DataEnd = ReadPos;
        return 0;
    }
    ReadPos += n;
    StreamAt = ReadPos;
    return static_cast<int>(n);
}

int TWaveIn::RefillAdpcm()
{
    const std::int64_t left = DataEnd - ReadPos;
    if (Position() >= Size() || left <= 0)
        return 0;
    // One block a refill, so every refill hands out one block's frames.
    const int frameBytes = 2 * FChannels;
    const int want = static_cast<int>(std::min<std::int64_t>(BlockAlign, left));
    if (static_cast<int>(BlockBytes.size()) < want)
        BlockBytes.resize(static_cast<size_t>(want));
    SeekToReadPos();
    const int got = static_cast<int>(Stream->Read(BlockBytes.data(), want));
    const bool ima = Type == TWavType::wtDVIADPCM;
    int filled = 0;
    for (int offset = 0; offset < got; offset += BlockAlign) {
        const int bytes = std::min(BlockAlign, got - offset);
        const std::uint8_t* block = BlockBytes.data() + offset;
        const int frames = std::min(SamplesPerBlock, ima ? TImaAdpcm::FramesInBytes(bytes, FChannels)
                                                         : TMsAdpcm::FramesInBytes(bytes, FChannels));
        if (frames <= 0)
            break;
        const bool ok = ima ? TImaAdpcm::DecodeBlock(block, bytes, FChannels, frames, Decoded.data())
                            : TMsAdpcm::DecodeBlock(block, bytes, FChannels, frames, Header.Coefficients,
                                                    Header.CoefficientCount, Decoded.data());
        if (!ok)
            throw EACSException("Cannot read " + Name() + ": damaged ADPCM block at byte " +
                                std::to_string(ReadPos + offset) + ".");
        const std::int64_t skip = std::min<std::int64_t>(SkipFrames, frames);
        SkipFrames -= skip;
        const std::int64_t count = std::min<std::int64_t>((frames - skip) * frameBytes, Size() - Position() - filled);
        if (count <= 0)
            break;
        const std::int16_t* from = Decoded.data() + skip * FChannels;
        std::uint8_t* to = Buffer.data() + filled;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(to, from, static_cast<size_t>(count));
        } else {
            for (std::int64_t i = 0; i < count / 2; ++i) {
                to[2 * i] = static_cast<std::uint8_t>(from[i] & 0xFF);
                to[2 * i + 1] = static_cast<std::uint8_t>((from[i] >> 8) & 0xFF);
            }
        }
        filled += static_cast<int>(count);
    }
    ReadPos += got;
    StreamAt = ReadPos;
    return filled;
}

int TWaveIn::Refill()
{
    int n = 0;
    switch (Type) {
    case TWavType::wtPCM:
    case TWavType::wtACM:
        n = RefillPcm();
        break;
    case TWavType::wtDVIADPCM:
    case TWavType::wtMSADPCM:
        n = RefillAdpcm();
        break;
    case TWavType::wtUnsupported:
        break;
    }
    // The end of what a cut file holds is not the end of its audio: the run
    // fails with what was read, unless it only wanted a range that the file
    // still held whole.
    if (n == 0 && ShortData && (EndSample() == -1 || Position() < Size()))
        throw EACSException("Cannot read " + Name() + ": the file ends inside its audio: " +
                            ReadSoFar(StartSample() + Position() / std::max(1, FrameBytes())) + ".");
    return n;
}

int TWaveIn::ReadBlock(void* Out, int Count)
{
    return ServeFromBuffer(
        Buffer.data(), Out, Count, [this] { return Refill(); }, [] {});
}

} // namespace kestrune
