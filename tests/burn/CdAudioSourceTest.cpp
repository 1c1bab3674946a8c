#include "burn/TBurnFixture.h"
#include "burn/TCdAudioSource.h"
#include "pipeline/EACSException.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace kestrune {
namespace {

using test::TTempDir;

// Everything a source hands out, MaxFrames at a time.
std::vector<std::int16_t> ReadAllFrames(TCdAudioSource& Source, std::size_t MaxFrames)
{
    std::vector<std::uint8_t> all;
    std::vector<std::uint8_t> block(MaxFrames * 4);
    while (const std::size_t n = Source.Read(block.data(), MaxFrames))
        all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n * 4));
    Source.Close();
    return test::AsSamples16(all);
}

// A 24-bit stereo WAV file: its frames are six bytes, so the reader's
// blocks end inside frames. Returns the 16-bit samples it holds in its
// upper bytes, which is what its CD audio is.
std::vector<std::int16_t> Write24(const std::string& File, int Frames)
{
    const std::vector<std::int16_t> upper = test::Noise16(Frames, 2, 9);
    std::vector<std::uint8_t> bytes;
    auto put32 = [&bytes](std::uint32_t V) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(V >> (8 * i)));
    };
    const auto dataBytes = static_cast<std::uint32_t>(upper.size() * 3);
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    put32(36 + dataBytes);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(16);
    put32(1 | (2 << 16)); // PCM, two channels
    put32(44100);
    put32(44100 * 6);
    put32(6 | (24 << 16)); // block align, bits
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    put32(dataBytes);
    for (std::size_t i = 0; i < upper.size(); ++i) {
        const auto u = static_cast<std::uint16_t>(upper[i]);
        // The low byte varies, so a frame that slips shows.
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(u & 0xFF),
                                   static_cast<std::uint8_t>(u >> 8)});
    }
    test::WriteWholeFile(File, bytes);
    return upper;
}

// CD audio passes through untouched, however the blocks fall; mono is made
// stereo and 24 bits 16 exactly. The length is known before the first read.
TEST(CdAudioSource, HandsOutCdAudioExactlyInAnyBlockSize)
{
    TTempDir dir;
    const int frames = 10007; // not a whole sector
    const auto stereo = test::Noise16(frames, 2, 7);
    const auto mono = test::Noise16(frames, 1, 8);
    std::vector<std::int16_t> monoAsStereo;
    for (const std::int16_t s : mono)
        monoAsStereo.insert(monoAsStereo.end(), {s, s});

    struct TCase {
        std::string File;
        std::vector<std::int16_t> Expected;
        bool Converts;
    };
    const std::vector<TCase> cases{
        {test::WriteWav(dir.File("stereo.wav"), stereo, 2, 44100), stereo, false},
        {test::WriteWav(dir.File("mono.WAV"), mono, 1, 44100), monoAsStereo, true},
        {dir.File("deep.wav"), Write24(dir.File("deep.wav"), frames), true},
    };
    for (const TCase& c : cases) {
        for (const std::size_t block : {1U, 587U, 4096U}) {
            SCOPED_TRACE(c.File + " by " + std::to_string(block));
            TCdAudioSource source(c.File);
            EXPECT_EQ(source.Frames(), frames);
            EXPECT_EQ(source.Sectors(), (frames + 587) / 588);
            EXPECT_EQ(source.Converts(), c.Converts);
            EXPECT_EQ(ReadAllFrames(source, block), c.Expected);
        }
    }
}

// Another rate is resampled to 44.1 kHz: the length announced up front is
// the length handed out, and the signal keeps its pitch and level.
TEST(CdAudioSource, ResamplesToTheAnnouncedLength)
{
    TTempDir dir;
    const double hz = 1000.0;
    const double amplitude = 16000; // the right channel at twice the frequency
    struct TCase {
        int Rate;
        int Frames;
    };
    for (const TCase c : {TCase{48000, 48000 + 333}, TCase{22050, 22050 * 2 + 1}}) {
        SCOPED_TRACE(c.Rate);
        const std::string file = test::WriteWav(dir.File("r" + std::to_string(c.Rate) + ".wav"),
                                                test::Sine16(c.Frames, 2, c.Rate, hz, amplitude), 2, c.Rate);
        TCdAudioSource source(file);
        const std::int64_t expected = (static_cast<std::int64_t>(c.Frames) * 44100 + c.Rate / 2) / c.Rate;
        ASSERT_EQ(source.Frames(), expected);
        const std::vector<std::int16_t> out = ReadAllFrames(source, 1000);
        ASSERT_EQ(out.size(), static_cast<std::size_t>(expected) * 2);
        // Away from the two ends, every sample lies on the ideal sine.
        double worst = 0;
        for (std::size_t f = 2000; f + 2000 < out.size() / 2; ++f)
            for (int ch = 0; ch < 2; ++ch) {
                const double ideal = amplitude * std::sin(2 * M_PI * hz * (ch + 1) * static_cast<double>(f) / 44100.0);
                worst = std::max(worst, std::abs(out[2 * f + static_cast<std::size_t>(ch)] - ideal));
            }
        EXPECT_LT(worst, 40.0) << "largest distance from the ideal sine, in 16-bit steps";
    }
}

// What cannot be burnt says why, naming the file.
TEST(CdAudioSource, RefusesWhatItCannotReadWithTheReason)
{
    TTempDir dir;
    test::WriteWholeFile(dir.File("song.wma"), std::vector<std::uint8_t>(1000, 1));
    test::WriteWholeFile(dir.File("noise.flac"), std::vector<std::uint8_t>(1000, 7));
    struct TCase {
        std::string File;
        std::string Says;
    };
    const std::vector<TCase> cases{
        {dir.File("song.wma"), "reads WAV, MP3, Ogg Vorbis, FLAC and APE files, and this is none of them"},
        {dir.File("gone.wav"), "\"" + dir.File("gone.wav") + "\". No such file or directory"},
        {dir.File("noise.flac"), "Cannot read \"" + dir.File("noise.flac") + "\""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        try {
            TCdAudioSource source(c.File);
            source.Frames();
            ADD_FAILURE() << "no error";
        } catch (const EACSException& e) {
            EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
        }
    }
}

// A file that vanishes between queueing and writing is noticed when the
// source opens, not written as silence.
TEST(CdAudioSource, AFileGoneSinceItWasMeasuredFailsToOpen)
{
    TTempDir dir;
    const std::string file = test::WriteWav(dir.File("a.wav"), test::Noise16(5000, 2, 1), 2, 44100);
    TCdAudioSource source(file);
    ASSERT_EQ(source.Frames(), 5000);
    std::filesystem::remove(file);
    EXPECT_THROW(source.Open(), EACSException);
}

} // namespace
} // namespace kestrune
