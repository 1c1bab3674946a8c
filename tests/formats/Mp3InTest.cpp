// The streaming MP3 reader: the same audio as the MP3 decoder, its length
// known when it opens, slices by sample, and clear failures for files that
// are not MP3 or are cut short.
#include "formats/Mp3TestHelpers.h"
#include "formats/TMP3In.h"
#include "pipeline/EACSException.h"
#include "pipeline/TMemoryStream.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

using namespace test;

struct TMp3File {
    const char* Name;
    TAudioFormat Format;
    int Frames;
};

// An MP3 file made by our writer (LAME), and the PCM the MP3 decoder makes
// of it.
struct TDecodedFile {
    std::string Mp3;
    std::vector<std::uint8_t> Pcm;
    int Channels = 0;
    int Rate = 0;
};

TDecodedFile MakeFile(const TTempDir& Dir, const TMp3File& F)
{
    TDecodedFile d;
    d.Mp3 = Dir.File(std::string(F.Name) + ".mp3");
    const auto source = AsBytes(Noise16(F.Frames, F.Format.Channels, 7, 6000));
    EXPECT_TRUE(EncodeMp3(d.Mp3, F.Format, source));
    EXPECT_TRUE(DecodeMp3(d.Mp3, Dir.File("ref.wav")).Success);
    const TWavImage w = ReadWav44(Dir.File("ref.wav"));
    d.Pcm.assign(w.File.begin() + 44, w.File.end());
    d.Channels = w.Channels;
    d.Rate = w.SampleRate;
    return d;
}

// Streamed in odd-sized reads, the file gives exactly the MP3 decoder's PCM,
// in its layout, and the length was known before the first read.
TEST(Mp3In, StreamsWhatTheDecoderMakesWithTheLengthKnownAtOpen)
{
    const TMp3File files[] = {
        {"stereo44100", {44100, 16, 2}, 44100 * 3 + 517},
        {"mono22050", {22050, 16, 1}, 22050 * 2 + 31}, // MPEG-2, 576 samples a frame
    };
    for (const TMp3File& f : files) {
        SCOPED_TRACE(f.Name);
        TTempDir dir;
        const TDecodedFile d = MakeFile(dir, f);
        ASSERT_FALSE(d.Pcm.empty());

        TMP3In in;
        in.SetFileName(d.Mp3);
        EXPECT_EQ(in.InSampleRate(), d.Rate);
        EXPECT_EQ(in.InChannels(), d.Channels);
        EXPECT_EQ(in.InBitsPerSample(), 16);
        in.OpenInput();
        EXPECT_EQ(in.Size(), static_cast<std::int64_t>(d.Pcm.size()));
        EXPECT_EQ(in.TotalSamples() * 2 * d.Channels, static_cast<std::int64_t>(d.Pcm.size()));
        std::vector<std::uint8_t> got;
        std::vector<std::uint8_t> buffer(3001);
        for (int n; (n = in.ReadBlock(buffer.data(), 3001)) > 0;)
            got.insert(got.end(), buffer.begin(), buffer.begin() + n);
        in.CloseInput();
        EXPECT_EQ(got.size(), d.Pcm.size());
        EXPECT_TRUE(got == d.Pcm);

        // A stream that cannot seek has no length, but the same audio.
        TMemoryStream stream(ReadWholeFile(d.Mp3));
        TMP3In piped;
        piped.SetStream(&stream);
        piped.SetRewindable(false);
        piped.OpenInput();
        EXPECT_EQ(piped.Size(), -1);
        std::vector<std::uint8_t> all;
        for (int n; (n = piped.ReadBlock(buffer.data(), 3001)) > 0;)
            all.insert(all.end(), buffer.begin(), buffer.begin() + n);
        piped.CloseInput();
        EXPECT_TRUE(all == d.Pcm);
    }
}

// A slice by samples is the same stretch of the whole decoding, wherever it
// falls in a frame; a second open starts from the beginning again.
TEST(Mp3In, SlicesBySample)
{
    TTempDir dir;
    const TDecodedFile d = MakeFile(dir, {"a", {44100, 16, 2}, 44100 * 3});
    const std::int64_t total = static_cast<std::int64_t>(d.Pcm.size()) / 4;
    struct TSlice {
        std::int64_t Start, End;
    };
    const TSlice slices[] = {{0, 1000}, {1152 * 7, 1152 * 9}, {44100 + 333, 2 * 44100 + 1}, {total - 100, -1}};
    TMP3In in;
    in.SetFileName(d.Mp3);
    for (const TSlice& s : slices) {
        SCOPED_TRACE(testing::Message() << s.Start << ".." << s.End);
        in.SetStartSample(s.Start);
        in.SetEndSample(s.End);
        const auto got = ReadAll(in, 4099);
        const auto from = d.Pcm.begin() + s.Start * 4;
        const auto to = s.End == -1 ? d.Pcm.end() : d.Pcm.begin() + s.End * 4;
        EXPECT_EQ(got.size(), static_cast<std::size_t>(to - from));
        EXPECT_TRUE(std::equal(got.begin(), got.end(), from, to));
    }
    in.SetStartSample(0);
    in.SetEndSample(-1);
    EXPECT_TRUE(ReadAll(in) == d.Pcm);
}

// What is not MP3 is refused when it opens, with the file's name.
TEST(Mp3In, RefusesWhatIsNotMp3WithItsName)
{
    TTempDir dir;
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "This is not an MP3 file, only words. ";
    WriteWholeFile(dir.File("text.mp3"), std::vector<std::uint8_t>(text.begin(), text.end()));
    WriteWholeFile(dir.File("empty.mp3"), {});
    WriteWholeFile(dir.File("sine.wav"), PcmWavImage(Sine16(44100, 2, 44100, 440, 9000), 2, 44100));
    const std::pair<const char*, const char*> cases[] = {{"text.mp3", "not an MP3 file"},
                                                         {"empty.mp3", "not an MP3 file"},
                                                         {"sine.wav", "not an MP3 file (it is a WAV file)"}};
    for (const auto& [name, reason] : cases) {
        TMP3In in;
        in.SetFileName(dir.File(name));
        EXPECT_EQ(OpenError(in), "Cannot read \"" + dir.File(name) + "\": " + reason + ".") << name;
    }
    TMP3In missing;
    missing.SetFileName(dir.File("missing.mp3"));
    EXPECT_NE(OpenError(missing).find("Cannot read \"" + dir.File("missing.mp3") + "\""), std::string::npos);
}

// A file cut short hands out the audio it holds, the same as the whole
// file's, and then fails the read rather than passing for a shorter file.
TEST(Mp3In, ACutFileFailsAtItsEnd)
{
    TTempDir dir;
    const TDecodedFile d = MakeFile(dir, {"a", {44100, 16, 2}, 44100 * 3});
    auto bytes = ReadWholeFile(d.Mp3);
    bytes.resize(bytes.size() * 2 / 3 + 77); // inside a frame
    const std::string cut = dir.File("cut.mp3");
    WriteWholeFile(cut, bytes);

    TMP3In in;
    in.SetFileName(cut);
    in.OpenInput();
    std::vector<std::uint8_t> got;
    std::vector<std::uint8_t> buffer(5000);
    std::string failure;
    try {
        for (int n; (n = in.ReadBlock(buffer.data(), 5000)) > 0;)
            got.insert(got.end(), buffer.begin(), buffer.begin() + n);
    } catch (const EACSException& e) {
        failure = e.what();
    }
    in.CloseInput();
    EXPECT_NE(failure.find("the file ends inside its audio"), std::string::npos) << failure;
    EXPECT_GT(got.size(), d.Pcm.size() / 2);
    EXPECT_LT(got.size(), d.Pcm.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), d.Pcm.begin()));
}

} // namespace
} // namespace kestrune
