#pragma once

// Helpers of the MP3 tests: running the encoder and the decoder to their end,
// walking MPEG audio frame headers, reading the WAV files the decoder makes,
// and comparing signals.

#include "formats/TMP3Out.h"
#include "formats/TMP3ToWav.h"
#include "formats/WavTestHelpers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kestrune::test {

// One MPEG audio Layer III frame header.
struct TMpegFrame {
    int Version = 0; // 10 for MPEG-1, 20 for MPEG-2, 25 for MPEG-2.5
    int Kbps = 0;
    int SampleRate = 0;
    int Channels = 0;
    int Length = 0;   // bytes, with the padding slot
    int SideInfo = 0; // bytes after the 4-byte header
    int Samples = 0;  // per channel
};

inline bool ParseMpegFrame(const std::vector<std::uint8_t>& B, std::size_t At, TMpegFrame& F)
{
    if (At + 4 > B.size() || B[At] != 0xFF || (B[At + 1] & 0xE0) != 0xE0)
        return false;
    const int versionBits = (B[At + 1] >> 3) & 3;
    const int layerBits = (B[At + 1] >> 1) & 3;
    const int rateIndex = (B[At + 2] >> 4) & 15;
    const int srIndex = (B[At + 2] >> 2) & 3;
    if (versionBits == 1 || layerBits != 1 || rateIndex == 0 || rateIndex == 15 || srIndex == 3)
        return false;
    static const int kbps1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kbps2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int rates1[] = {44100, 48000, 32000};
    F.Version = versionBits == 3 ? 10 : versionBits == 2 ? 20 : 25;
    F.Kbps = F.Version == 10 ? kbps1[rateIndex] : kbps2[rateIndex];
    F.SampleRate = rates1[srIndex] / (F.Version == 10 ? 1 : F.Version == 20 ? 2 : 4);
    F.Channels = ((B[At + 3] >> 6) & 3) == 3 ? 1 : 2;
    const int padding = (B[At + 2] >> 1) & 1;
    const int factor = F.Version == 10 ? 144 : 72;
    F.Length = factor * F.Kbps * 1000 / F.SampleRate + padding;
    F.SideInfo = F.Version == 10 ? (F.Channels == 1 ? 17 : 32) : (F.Channels == 1 ? 9 : 17);
    F.Samples = F.Version == 10 ? 1152 : 576;
    return true;
}

// The frames of a file without an ID3v2 tag, from its first byte to the
// first byte that does not start a frame (an ID3v1 tag, the end).
inline std::vector<TMpegFrame> WalkFrames(const std::vector<std::uint8_t>& B, std::size_t* End = nullptr)
{
    std::vector<TMpegFrame> frames;
    std::size_t at = 0;
    TMpegFrame f;
    while (ParseMpegFrame(B, at, f) && at + static_cast<std::size_t>(f.Length) <= B.size()) {
        frames.push_back(f);
        at += static_cast<std::size_t>(f.Length);
    }
    if (End)
        *End = at;
    return frames;
}

// A WAV file as the decoder writes it: a 44-byte header, then the data.
struct TWavImage {
    std::vector<std::uint8_t> File;
    int Channels = 0;
    int SampleRate = 0;
    int Bits = 0;
    std::uint32_t RiffSize = 0;
    std::uint32_t DataSize = 0;
    std::vector<std::int16_t> Samples; // everything after the header
};

inline TWavImage ReadWav44(const std::string& Name)
{
    TWavImage w;
    w.File = ReadWholeFile(Name);
    if (w.File.size() < 44)
        return w;
    w.Channels = Le16At(w.File, 22);
    w.SampleRate = static_cast<int>(Le32At(w.File, 24));
    w.Bits = Le16At(w.File, 34);
    w.RiffSize = Le32At(w.File, 4);
    w.DataSize = Le32At(w.File, 40);
    w.Samples = AsSamples16(std::vector<std::uint8_t>(w.File.begin() + 44, w.File.end()));
    return w;
}

// The data chunk of any RIFF WAVE file (as other tools write it).
inline std::vector<std::uint8_t> DataChunk(const std::vector<std::uint8_t>& F)
{
    std::size_t at = 12;
    while (at + 8 <= F.size()) {
        const std::uint32_t size = Le32At(F, at + 4);
        if (std::string(F.begin() + static_cast<std::ptrdiff_t>(at), F.begin() + static_cast<std::ptrdiff_t>(at) + 4) ==
            "data") {
            const std::size_t end = std::min<std::size_t>(F.size(), at + 8 + size);
            return std::vector<std::uint8_t>(F.begin() + static_cast<std::ptrdiff_t>(at) + 8,
                                             F.begin() + static_cast<std::ptrdiff_t>(end));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

// Encodes Bytes of format F into File at Rate; true when the run ended with
// OnDone.
inline bool EncodeMp3(const std::string& File, TAudioFormat F, const std::vector<std::uint8_t>& Bytes,
                      TMP3BitRate Rate = TMP3BitRate::br128, std::string* Failure = nullptr)
{
    TFakeInput in(F, Bytes, static_cast<std::int64_t>(Bytes.size()));
    in.ChunkBytes = 1 << 20;
    TMP3Out out;
    out.SetFileName(File);
    out.SetBitRate(Rate);
    out.SetInput(&in);
    return RunToEnd(out, Failure);
}

// What one decoding reported.
struct TDecodeResult {
    bool Done = false;
    bool Success = false;
    std::string Failure;
    int ProgressEvents = 0;
    int LastProgress = 0;
};

// Decodes In into Out with TMP3ToWav and waits for its end.
inline TDecodeResult DecodeMp3(TMP3ToWav& Decoder)
{
    TDecodeResult r;
    std::mutex m;
    Decoder.OnDone = [&](TComponent* Sender, bool Success) {
        EXPECT_EQ(Sender, &Decoder);
        std::lock_guard lock(m);
        r.Done = true;
        r.Success = Success;
    };
    Decoder.OnThreadException = [&](TComponent*, const std::exception& E) {
        std::lock_guard lock(m);
        r.Failure = E.what();
    };
    Decoder.OnProgress = [&](TComponent* Sender) {
        std::lock_guard lock(m);
        ++r.ProgressEvents;
        r.LastProgress = static_cast<TMP3ToWav*>(Sender)->Progress();
    };
    Decoder.Run();
    EXPECT_TRUE(Decoder.WaitForIdle(std::chrono::seconds(60)));
    std::lock_guard lock(m);
    return r;
}

inline TDecodeResult DecodeMp3(const std::string& In, const std::string& Out)
{
    TMP3ToWav decoder;
    decoder.SetInputFile(In);
    decoder.SetOutputFile(Out);
    return DecodeMp3(decoder);
}

// Signal-to-noise ratio in dB of Got against Want, channel Channel of each,
// over the frames both hold.
inline double SnrDb(const std::vector<std::int16_t>& Want, int WantChannels, int WantChannel,
                    const std::vector<std::int16_t>& Got, int GotChannels, int GotChannel)
{
    const std::size_t frames = std::min(Want.size() / static_cast<std::size_t>(WantChannels),
                                        Got.size() / static_cast<std::size_t>(GotChannels));
    double signal = 0;
    double noise = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double w = Want[i * static_cast<std::size_t>(WantChannels) + static_cast<std::size_t>(WantChannel)];
        const double g = Got[i * static_cast<std::size_t>(GotChannels) + static_cast<std::size_t>(GotChannel)];
        signal += w * w;
        noise += (w - g) * (w - g);
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

} // namespace kestrune::test
