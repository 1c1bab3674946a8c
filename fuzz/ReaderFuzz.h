#pragma once

// What the reader fuzz targets share: reading a reader over the fuzzer's bytes
// to its end, and the run of a whole file and then a slice from its middle.

#include "pipeline/EACSException.h"
#include "pipeline/TACSFileIn.h"
#include "pipeline/TMemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace kestrune::fuzz {

// Reads until the end or Limit bytes, Chunk bytes at a time; damaged data
// ends it with an exception. With CheckSize a read that takes the position
// past the input's Size aborts. Returns the bytes handed out.
inline std::int64_t Drain(TACSInput& In, std::int64_t Limit, int Chunk, bool CheckSize)
{
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(Chunk));
    std::int64_t total = 0;
    try {
        for (int n; total < Limit && (n = In.ReadBlock(buffer.data(), Chunk)) > 0;) {
            total += n;
            if (CheckSize && In.Size() >= 0 && In.Position() > In.Size())
                std::abort();
        }
    } catch (const EACSException&) {
    }
    return total;
}

// Opens a TReader over the bytes (the format queries first, which open and
// close the file on their own) and reads it all, then reads the slice from
// StartSample to EndSample, both given by SliceOf(TotalSamples).
template <typename TReader, typename TSlice>
int FuzzReaderAndSlice(const std::uint8_t* Data, std::size_t Size, bool CheckSize, TSlice&& SliceOf)
{
    // The stream outlives the reader that reads it.
    TMemoryStream stream(std::vector<std::uint8_t>(Data, Data + Size));
    TReader In;
    In.SetStream(&stream);
    try {
        (void)In.InSampleRate();
        (void)In.TotalTime();
        In.OpenInput();
    } catch (const EACSException&) {
        return 0;
    }
    // 3001 bytes a read: odd, so frames and blocks straddle reads.
    constexpr std::int64_t Limit = 64LL * 1024 * 1024;
    constexpr int Chunk = 3001;
    Drain(In, Limit, Chunk, CheckSize);
    const std::int64_t total = In.TotalSamples();
    In.CloseInput();

    const auto [start, end] = SliceOf(total);
    In.SetStartSample(start);
    In.SetEndSample(end);
    try {
        In.OpenInput();
    } catch (const EACSException&) {
        return 0;
    }
    Drain(In, Limit, Chunk, CheckSize);
    In.CloseInput();
    return 0;
}

} // namespace kestrune::fuzz
