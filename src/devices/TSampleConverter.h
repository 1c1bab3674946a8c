#pragma once

#include "pipeline/TAudioFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct soxr;

namespace kestrune {

// Turns PCM of one format into another, as a sound card's plug layer does:
// the depth (8, 16, 24 bits), the channels (mono is copied to both sides,
// stereo is averaged to mono) and the rate (through libsoxr, high quality).
// The one converter of the program for rates: the virtual card uses it, and
// the CD code can take audio to the recording format through it too.
//
// Without a rate change the conversion is exact integer arithmetic (8 -> 16
// bits is (v - 128) << 8, 16 -> 8 keeps the top byte), and equal formats pass
// unchanged. With a rate change the resampler keeps some frames back; Flush
// hands them out at the end of the stream.
//
// Threads: one thread at a time.
class TSampleConverter {
public:
    TSampleConverter(const TAudioFormat& In, const TAudioFormat& Out);
    ~TSampleConverter();
    TSampleConverter(const TSampleConverter&) = delete;
    TSampleConverter& operator=(const TSampleConverter&) = delete;

    // Converts the whole frames of Data (Bytes of the input format) and
    // appends the result to Out. A partial frame at the end is ignored.
    void Convert(const std::uint8_t* Data, std::size_t Bytes, std::vector<std::uint8_t>& Out);
    // Appends what the resampler still holds; the stream is over after it.
    void Flush(std::vector<std::uint8_t>& Out);

    const TAudioFormat& InFormat() const { return In; }
    const TAudioFormat& OutFormat() const { return OutF; }

private:
    void Emit(const std::int32_t* Samples, std::size_t Frames, std::vector<std::uint8_t>& Out) const;
    void EmitFloat(const float* Samples, std::size_t Frames, std::vector<std::uint8_t>& Out) const;
    void Resample(const float* Samples, std::size_t Frames, std::vector<std::uint8_t>& Out);

    TAudioFormat In;
    TAudioFormat OutF;
    struct TSoxrFree {
        void operator()(soxr* S) const;
    };
    std::unique_ptr<soxr, TSoxrFree> Resampler;
    std::vector<std::int32_t> Wide;
    std::vector<float> FloatIn;
    std::vector<float> FloatOut;
};

} // namespace kestrune
