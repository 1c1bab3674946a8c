#include "formats/TWaveOut.h"

#include "common/Rounding.h"
#include "formats/TImaAdpcm.h"
#include "formats/TWavHeaderBytes.h"
#include "pipeline/ByteOrder.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

namespace {

std::uint32_t Field32(std::int64_t Value)
{
    return TWavHeaderBytes::Field32(Value);
}

// Trailing chunks of an appended file are tags, a few kilobytes; anything
// larger means the data size field is not to be trusted.
constexpr std::int64_t TrailerLimit = std::int64_t{16} * 1024 * 1024;

} // namespace

TWaveOut::~TWaveOut()
{
    DestroyWorker();
}

void TWaveOut::SetWavType(TWavType Value)
{
    if (Busy())
        return;
    if (Value == TWavType::wtPCM || Value == TWavType::wtDVIADPCM)
        FWavType = Value;
}

void TWaveOut::SetBlockSize(std::uint16_t Value)
{
    if (Busy())
        return;
    // Only a size that every input the writer takes (mono or stereo) can be
    // written in; the run applies the same rule to the channels it gets.
    if (AdpcmBlockProblem(1, Value).empty() && AdpcmBlockProblem(2, Value).empty())
        FBlockSize = Value;
}

void TWaveOut::FailOpen(const std::string& Message)
{
    throw EACSException(Message);
}

void TWaveOut::OpenOutput()
{
    EndOfInput = false;
    PendingBytes = 0;
    Appending = false;
    Trailer.clear();
    FactOffset = -1;
    DataWritten = 0;
    DataAnnounced = 0;
    DeliveredBytes = 0;
    HeaderStart = 0;

    OpenOwnStream();
    TACSInput& in = OpenInputOrRelease();
    try {
        Channels = in.InChannels();
        Appending = FileMode() == TFileOutputMode::foAppend && Stream->Size() > 0;
        if (Appending)
            OpenAppend(in);
        else
            WriteNewHeader(in);
    } catch (...) {
        // Leave nothing open behind; a file created already stays as it is.
        AbandonOpen(in);
        throw;
    }
}

// The ADPCM block geometry this writer (and the reader of this program) can
// carry: one or two channels, codes in whole groups, decoded frames within the
// 16384-byte buffer.
std::string TWaveOut::AdpcmBlockProblem(int Channels, int BlockSize)
{
    if (Channels != 1 && Channels != 2)
        return "Cannot encode " + std::to_string(Channels) + " channel sound into ADPCM.";
    const int spb = TImaAdpcm::SamplesPerBlock(BlockSize, Channels);
    if (BlockSize < 4 * Channels || (Channels == 2 && BlockSize % 8 != 0) || spb * 2 * Channels > TWaveOut::BufferSize)
        return "Cannot encode ADPCM in blocks of " + std::to_string(BlockSize) + " bytes.";
    return {};
}

void TWaveOut::WriteNewHeader(TACSInput& In)
{
    const int bits = In.InBitsPerSample();
    const int rate = In.InSampleRate();
    const std::int64_t size = In.Size();
    std::vector<std::uint8_t> h;
    HeaderStart = Stream->Position();
    if (WavType() == TWavType::wtDVIADPCM) {
        if (bits != 16)
            FailOpen("Cannot encode " + std::to_string(bits) + " bit sound into ADPCM.");
        const int blockSize = BlockSize();
        if (const std::string problem = AdpcmBlockProblem(Channels, blockSize); !problem.empty())
            FailOpen(problem);
        SamplesPerBlock = TImaAdpcm::SamplesPerBlock(blockSize, Channels);
        const std::int64_t frames = std::max<std::int64_t>(0, size / (bits / 8) / Channels);
        const std::int64_t dataSize = DivRoundHalfEven(frames, SamplesPerBlock) * blockSize;
        h = TWavHeaderBytes::ImaAdpcm(Channels, rate, blockSize, SamplesPerBlock, frames, dataSize);
        FactOffset = HeaderStart + TWavHeaderBytes::ImaAdpcmFactAt;
        DataSizeOffset = HeaderStart + TWavHeaderBytes::ImaAdpcmDataSizeAt;
        DataStart = HeaderStart + TWavHeaderBytes::ImaAdpcmBytes;
        DataAnnounced = dataSize;
        StepIndex[0] = StepIndex[1] = 0;
        Block.assign(static_cast<size_t>(blockSize), 0);
    } else {
        h = TWavHeaderBytes::Pcm(Channels, rate, bits, size);
        DataSizeOffset = HeaderStart + TWavHeaderBytes::PcmDataSizeAt;
        DataStart = HeaderStart + TWavHeaderBytes::PcmBytes;
        DataAnnounced = size;
    }
    Stream->Write(h.data(), static_cast<std::int64_t>(h.size()));
}

void TWaveOut::OpenAppend(TACSInput& In)
{
    Stream->Seek(0, TSeekOrigin::soBeginning);
    const TWavHeader header = TRiffChunkWalk::Walk(*Stream);
    if (header.Type != TWavType::wtPCM && header.Type != TWavType::wtDVIADPCM)
        FailOpen("Cannot append data to this .wav file.");
    FWavType = header.Type;
    const int bits = In.InBitsPerSample();
    const std::int64_t rate = In.InSampleRate();
    int unit = 0; // new data is appended at a whole frame or block
    if (header.Type == TWavType::wtPCM) {
        if (rate != header.SampleRate || bits != header.BitsPerSample || Channels != header.Channels)
            FailOpen("Cannot append data in different audio format.");
        unit = std::max(1, bits / 8 * Channels);
    } else {
        if (bits != 16)
            FailOpen("Cannot encode " + std::to_string(bits) + " bit sound into ADPCM.");
        if (rate != header.SampleRate || Channels != header.Channels)
            FailOpen("Cannot append data in different audio format.");
        // Blocks laid out otherwise than this writer lays them out would be
        // misread after the first new block.
        if (!AdpcmBlockProblem(Channels, header.BlockAlign).empty() ||
            header.SamplesPerBlock != TImaAdpcm::SamplesPerBlock(header.BlockAlign, Channels))
            FailOpen("Cannot append data to this .wav file.");
        // The file's block size is the one that goes on.
        FBlockSize = header.BlockAlign;
        SamplesPerBlock = header.SamplesPerBlock;
        StepIndex[0] = StepIndex[1] = 0;
        Block.assign(header.BlockAlign, 0);
        unit = header.BlockAlign;
    }

    // The data runs to the end of the file when its size field says so
    // (0xFFFFFFFF) or says more than the file holds (an unfinished capture).
    const std::int64_t fileSize = Stream->Size();
    const std::int64_t available = std::max<std::int64_t>(0, fileSize - header.DataStart);
    const std::int64_t dataLength =
        header.DataSize == 0xFFFFFFFFU ? available : std::min<std::int64_t>(header.DataSize, available);
    const std::int64_t dataEnd = header.DataStart + dataLength;

    // Chunks behind the data (a tag) are kept aside and put back behind the
    // new audio, so they never become audio themselves.
    std::int64_t trailerStart = dataEnd;
    if ((dataLength & 1) != 0 && trailerStart < fileSize) {
        std::uint8_t pad = 1;
        Stream->Seek(trailerStart, TSeekOrigin::soBeginning);
        if (Stream->Read(&pad, 1) == 1 && pad == 0)
            ++trailerStart;
    }
    const std::int64_t trailerLength = fileSize - trailerStart;
    if (trailerLength > TrailerLimit)
        FailOpen("Cannot append data to this .wav file.");
    Trailer.resize(static_cast<size_t>(std::max<std::int64_t>(0, trailerLength)));
    if (!Trailer.empty()) {
        Stream->Seek(trailerStart, TSeekOrigin::soBeginning);
        if (!Stream->ReadExact(Trailer.data(), static_cast<std::int64_t>(Trailer.size())))
            FailOpen("Cannot append data to this .wav file.");
    }

    HeaderStart = header.RiffOffset;
    DataStart = header.DataStart;
    DataSizeOffset = header.DataSizeOffset;
    FactOffset = header.Type == TWavType::wtDVIADPCM && header.HasFact ? header.FactOffset : -1;
    Stream->Seek(dataEnd, TSeekOrigin::soBeginning);
    // A partial frame or block at the end of the old data is filled with
    // silence, so the new audio starts in step.
    const std::int64_t partial = dataLength % unit;
    if (partial != 0) {
        const std::vector<std::uint8_t> zeros(static_cast<size_t>(unit - partial), 0);
        Stream->Write(zeros.data(), static_cast<std::int64_t>(zeros.size()));
    }
    DataWritten = dataLength + (partial != 0 ? unit - partial : 0);
    DataAnnounced = DataWritten;
}

bool TWaveOut::WriteStep(bool Abort)
{
    if (!CanOutput.load())
        return true;
    UpdateProgress();
    const bool adpcm = WavType() == TWavType::wtDVIADPCM;
    if (Abort) {
        // Frames already taken from the input are not lost on a stop.
        if (adpcm) {
            PendingBytes = TakeHeldFrames() * 2 * Channels;
            DeliveredBytes += PendingBytes;
            if (PendingBytes > 0)
                WriteAdpcmBlock();
        }
        return false;
    }
    if (EndOfInput)
        return false;
    if (!adpcm) {
        const int n = ReadFromInput(Buffer.data(), BufferSize);
        if (n < 0)
            return true;
        if (n == 0)
            return false;
        Stream->Write(Buffer.data(), n);
        DataWritten += n;
        return true;
    }
    // A block's worth of frames; at the end of the input the last, short
    // block (or, after whole blocks, one of silence) is written too.
    const TFrames got = ReadFrames(Buffer.data(), SamplesPerBlock * 2 * Channels, 2 * Channels, true);
    EndOfInput = got.Ended;
    if (got.Count == 0 && !got.Ended)
        return true;
    PendingBytes = got.Count * 2 * Channels;
    DeliveredBytes += PendingBytes;
    WriteAdpcmBlock();
    return true;
}

void TWaveOut::WriteAdpcmBlock()
{
    const int need = SamplesPerBlock * 2 * Channels;
    // What the input did not deliver is silence.
    std::fill(Buffer.begin() + PendingBytes, Buffer.begin() + need, 0);
    std::array<std::int16_t, BufferSize / 2> samples;
    const std::size_t count = static_cast<std::size_t>(SamplesPerBlock) * static_cast<std::size_t>(Channels);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = GetLe16s(Buffer.data() + 2 * i);
    TImaAdpcm::EncodeBlock(samples.data(), SamplesPerBlock, Channels, StepIndex, Block.data(),
                           static_cast<int>(Block.size()));
    PendingBytes = 0;
    Stream->Write(Block.data(), static_cast<std::int64_t>(Block.size()));
    DataWritten += static_cast<std::int64_t>(Block.size());
}

void TWaveOut::WriteLe32At(std::int64_t Offset, std::uint64_t Value)
{
    std::uint8_t bytes[4];
    PutLe32(bytes, static_cast<std::uint32_t>(Value));
    Stream->Seek(Offset, TSeekOrigin::soBeginning);
    Stream->Write(bytes, 4);
}

void TWaveOut::PatchHeader()
{
    const TACSInput* in = Input();
    const bool unknownLength = !in || in->Size() <= 0;
    const bool adpcm = WavType() == TWavType::wtDVIADPCM;
    // The header written at open is right after a run that delivered what the
    // input announced. It is brought up to date for an input of unknown
    // length, after an append, and whenever the file holds another amount of
    // data than the header says (a stop, a failure, or the ADPCM blocks
    // rounding), so that every player reads exactly what the file holds.
    if (!unknownLength && !Appending && DataWritten == DataAnnounced)
        return;
    const std::int64_t length = Stream->Size();
    WriteLe32At(DataSizeOffset, Field32(DataWritten));
    if (adpcm && FactOffset >= 0 && !Block.empty()) {
        // Without a known length the blocks are the length; with one, the
        // frames the input delivered are (the last block is padded).
        const std::int64_t frames = unknownLength || Appending
                                        ? DataWritten / static_cast<std::int64_t>(Block.size()) * SamplesPerBlock
                                        : DeliveredBytes / (2 * static_cast<std::int64_t>(Channels));
        WriteLe32At(FactOffset, Field32(frames));
    }
    WriteLe32At(HeaderStart + 4, Field32(length - HeaderStart - 8));
}

void TWaveOut::CloseOutput()
{
    std::exception_ptr failure;
    if (Stream) {
        try {
            if (!Trailer.empty()) {
                Stream->Seek(DataStart + DataWritten, TSeekOrigin::soBeginning);
                if ((DataWritten & 1) != 0) {
                    const std::uint8_t pad = 0;
                    Stream->Write(&pad, 1);
                }
                Stream->Write(Trailer.data(), static_cast<std::int64_t>(Trailer.size()));
            }
            PatchHeader();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    Trailer.clear();
    FinishClose(failure);
}

} // namespace kestrune
