#include "formats/TMACIn.h"

#include "pipeline/EACSException.h"

#include <cstring>

namespace kestrune {

void TMACIn::OpenFile()
{
    FValid = true;
    if (OpenCount == 0) {
        EndOfFile = false;
        if (StreamSupplied) {
            // The codec reads files by name; a supplied stream is not one.
            Invalidate("Monkey's Audio is read from files only");
        } else {
            int32_t error = 0;
            Decompressor = ape::c_APEDecompress_Create(FileName(), &error);
            if (!Decompressor || error != 0) {
                Decompressor.reset();
                if (error != 0 && error != ape::apeErrInvalidInputFile && error != ape::apeErrUnsupportedFileType)
                    throw ape::EAPEException(error);
                Invalidate("not a Monkey's Audio file");
            } else {
                auto info = [this](int32_t Field) { return ape::c_APEDecompress_GetInfo(Decompressor.get(), Field); };
                // The audio bytes alone: the WAV total would count the stored
                // header and trailing chunks as audio.
                FSize = info(ape::apeInfoWavDataBytes);
                FSampleRate = static_cast<int>(info(ape::apeInfoSampleRate));
                FBitsPerSample = static_cast<int>(info(ape::apeInfoBitsPerSample));
                FChannels = static_cast<int>(info(ape::apeInfoChannels));
                const int frameBytes = FBitsPerSample / 8 * FChannels;
                FTotalSamples = frameBytes > 0 ? Size() / frameBytes : 0;
                if (frameBytes <= 0)
                    Invalidate("a Monkey's Audio file without audio format");
            }
        }
    }
    ++OpenCount;
}

void TMACIn::CloseFile()
{
    CountClose([this] { Decompressor.reset(); });
}

void TMACIn::OpenInput()
{
    TACSFileIn::OpenInput();
    BufStart = 1;
    BufEnd = 0;
}

bool TMACIn::SeekSample(std::int64_t Sample)
{
    if (!FRewindable)
        return false;
    OpenFile();
    const int32_t result = Decompressor ? ape::c_APEDecompress_Seek(Decompressor.get(), Sample) : 0;
    CloseFile();
    if (result != 0)
        throw ape::EAPEException(result);
    return true;
}

int TMACIn::TotalTime()
{
    OpenFile();
    const int seconds =
        Decompressor
            ? static_cast<int>(ape::c_APEDecompress_GetInfo(Decompressor.get(), ape::apeDecompressLengthMs) / 1000)
            : 0;
    CloseFile();
    return seconds;
}

bool TMACIn::Fill(bool ApplyEndSample)
{
    BufStart = 1;
    BufEnd = 0;
    const int frameBytes = FBitsPerSample / 8 * FChannels;
    while (BufEnd + frameBytes <= static_cast<int>(Buffer.size())) {
        const int64_t wanted = (static_cast<int64_t>(Buffer.size()) - BufEnd) / frameBytes;
        int64_t retrieved = 0;
        const int32_t result =
            ape::c_APEDecompress_GetData(Decompressor.get(), Buffer.data() + BufEnd, wanted, &retrieved);
        // A damaged frame (a bad checksum) ends the run with the codec's reason.
        if (result != 0)
            throw ape::EAPEException(result);
        if (retrieved <= 0) {
            EndOfFile = true;
            break;
        }
        BufEnd += static_cast<int>(retrieved * frameBytes);
        if (ApplyEndSample && EndSample() != -1) {
            const int64_t left = (EndSample() - StartSample()) * frameBytes - Position();
            if (left <= 0) {
                EndOfFile = true;
                BufEnd = 0;
                break;
            }
            if (left < BufEnd) {
                BufEnd = static_cast<int>(left);
                break;
            }
        }
    }
    return BufEnd > 0;
}

int TMACIn::ReadBlock(void* Target, int Size)
{
    if (!Busy())
        throw EACSException("The Stream is not opened");
    if (BufEnd < BufStart) {
        BufStart = 1;
        BufEnd = 0;
        if (!EndOfFile)
            Fill(true);
        if (BufEnd == 0 && EndOfFile && Loop()) {
            CloseInput();
            OpenInput();
            EndOfFile = false;
            Fill(false);
        }
    }
    const int count = std::min(Size, BufEnd - BufStart + 1);
    if (count <= 0)
        return 0;
    std::memcpy(Target, Buffer.data() + (BufStart - 1), static_cast<size_t>(count));
    BufStart += count;
    FPosition += count;
    return count;
}

} // namespace kestrune
