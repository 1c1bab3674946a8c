#include "burn/TBurnFixture.h"
#include "burn/TCdAudioSource.h"
#include "burn/TImageWriter.h"
#include "formats/FileReaders.h"
#include "formats/FlacComments.h"
#include "formats/TMACOut.h"
#include "formats/TagTrackFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sys/resource.h>

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

void RunTool(const std::string& Command)
{
    ASSERT_EQ(test::RunCommand(Command + " 2>/dev/null"), 0) << Command;
}

std::vector<std::uint8_t> DecodedByOurReader(const std::string& File)
{
    auto reader = NewFileReader(*AudioFileTypeOf(File));
    reader->SetFileName(File);
    return test::ReadAll(*reader, 65536);
}

// A queue of every format the program reads, written as an image and ripped
// back with the grabber: every file in order, each followed by silence (its
// last sector's fill and, but for the last, the two-second gap in front of
// the next track, which a CD reader counts to the track before it).
// 44.1 kHz 16-bit files come back bit for bit: WAV, FLAC (one whose header
// gives no length, so it is measured by reading), APE; MP3 and Ogg Vorbis as
// the program's own readers decode them; a 48 kHz file as sox resamples it,
// within a stated error. The MP3, Ogg and FLAC files carry their titles and
// ISRCs in their own tags (ID3v2 only, Vorbis comments), written the way
// taggers do (dashes, small letters); the others get ours, and the queue's
// own ISRC wins over a tag's. The grabber reads the ISRCs back, cd-info the
// track list and the CD-TEXT.
TEST(ImageRoundTripPeer, EveryFormatComesBackInOrder)
{
    for (const char* tool : {"sox", "lame", "oggenc", "flac", "cd-info"})
        KESTRUNE_REQUIRE_TOOL(tool);
    test::TTempDir dir;
    const auto noise = test::Noise16(5 * 44100 + 301, 2, 31);
    const auto sine = test::Sine16(6 * 44100, 2, 44100, 440, 12000);
    const std::string noiseWav = test::WriteWav(dir.File("noise.wav"), noise, 2, 44100);
    const std::string sineWav = test::WriteWav(dir.File("sine.wav"), sine, 2, 44100);

    struct TFile {
        std::string Name;
        std::string Isrc;                   // in the queue
        std::vector<std::uint8_t> Expected; // empty: compared with sox below
        std::string DiscIsrc;
        bool OwnTags = false; // tagged by the tool that made it
    };
    std::vector<TFile> files;
    files.push_back(
        {test::WriteWav(dir.File("a.wav"), noise, 2, 44100), "USABC2400001", test::AsBytes(noise), "USABC2400001"});
    RunTool("lame --quiet -b 192 --id3v2-only --tt 'Song 2' --ta Band --tl Record --tv TSRC=US-ABC-24-00002 " +
            ShellQuote(sineWav) + " " + ShellQuote(dir.File("b.mp3")));
    files.push_back({dir.File("b.mp3"), "", DecodedByOurReader(dir.File("b.mp3")), "USABC2400002", true});
    RunTool("oggenc -Q -t 'Song 3' -a Band -l Record -c ISRC=gbxyz2400003 -o " + ShellQuote(dir.File("c.ogg")) + " " +
            ShellQuote(sineWav));
    files.push_back({dir.File("c.ogg"), "", DecodedByOurReader(dir.File("c.ogg")), "GBXYZ2400003", true});
    RunTool("flac -s -T 'TITLE=Song 4' -T ARTIST=Band -T ALBUM=Record -T ISRC=GB-XYZ-24-00004 -o " +
            ShellQuote(dir.File("d.flac")) + " " + ShellQuote(noiseWav));
    files.push_back({dir.File("d.flac"), "", test::AsBytes(noise), "GBXYZ2400004", true});
    {
        const std::vector<std::uint8_t> pcm = test::AsBytes(noise);
        test::TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
        TMACOut out;
        out.SetFileName(dir.File("e.ape"));
        out.SetInput(&in);
        ASSERT_TRUE(test::RunToEnd(out));
    }
    files.push_back({dir.File("e.ape"), "", test::AsBytes(noise), ""});
    // Raw audio from a pipe: flac cannot know the length to put in the header.
    RunTool("(sox " + ShellQuote(noiseWav) +
            " -t raw - | flac -s -c --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
            "--sample-rate=44100 -T ISRC=USABC2499999 - | cat > " +
            ShellQuote(dir.File("f.flac")) + ")");
    ASSERT_EQ(TCdAudioSource(dir.File("f.flac")).Frames(), -1);
    files.push_back({dir.File("f.flac"), "FRZ032400009", test::AsBytes(noise), "FRZ032400009"});
    test::WriteWav(dir.File("g.wav"), test::Sine16(5 * 48000 + 17, 2, 48000, 1000, 12000), 2, 48000);
    files.push_back({dir.File("g.wav"), "", {}, ""});

    std::vector<TImageTrack> queue;
    for (std::size_t i = 0; i < files.size(); ++i) {
        // FLAC files carry their own comments; the others the tag the
        // program writes.
        if (!files[i].OwnTags && fs::path(files[i].Name).extension() == ".flac")
            WriteFlacComments(files[i].Name, {"TITLE=Song " + std::to_string(i + 1), "ARTIST=Band", "ALBUM=Record"});
        else if (!files[i].OwnTags)
            TagTrackFile(files[i].Name, "Song " + std::to_string(i + 1), "Band", "Record", "");
        queue.push_back({files[i].Name, files[i].Isrc, "", ""});
    }
    const fs::path cue = dir.Path() / "disc.cue";
    TImageWriter writer(cue);
    ASSERT_EQ(writer.Write(queue), TImageWriter::TResult::irWritten);

    std::vector<std::string> isrcs;
    const auto tracks = test::GrabImage(cue, dir, &isrcs);
    ASSERT_EQ(tracks.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].Name);
        EXPECT_EQ(isrcs[i], files[i].DiscIsrc);
        std::vector<std::uint8_t> expected = files[i].Expected;
        if (expected.empty()) {
            // sox's own resampling of the same file.
            const std::string raw = dir.File("sox.raw");
            RunTool("sox " + ShellQuote(files[i].Name) + " -t raw -e signed-integer -b 16 -r 44100 " + ShellQuote(raw));
            const auto soxSamples = test::AsSamples16(test::ReadWholeFile(raw));
            const auto ours = test::AsSamples16(tracks[i]);
            // The lengths agree to a frame; the samples within a few steps
            // (the two resamplers' filters differ a little: measured here, a
            // largest difference of 2 and an RMS difference of 0.76).
            EXPECT_LE(std::abs(static_cast<long>(soxSamples.size()) / 2 - 220517), 1);
            ASSERT_GE(ours.size(), soxSamples.size() - 2);
            double worst = 0;
            double sumSquares = 0;
            for (std::size_t s = 0; s + 2 < soxSamples.size(); ++s) {
                const double d = std::abs(static_cast<double>(ours[s]) - soxSamples[s]);
                worst = std::max(worst, d);
                sumSquares += d * d;
            }
            const double rms = std::sqrt(sumSquares / static_cast<double>(soxSamples.size()));
            EXPECT_LE(worst, 4.0) << "largest difference from sox, in 16-bit steps";
            EXPECT_LE(rms, 1.5) << "RMS difference from sox, in 16-bit steps";
            std::printf("48 kHz file against sox: largest difference %.0f, RMS %.2f (16-bit steps)\n", worst, rms);
            expected.assign(tracks[i].begin(), tracks[i].begin() + static_cast<std::ptrdiff_t>(220517 * 4));
        }
        const std::size_t sectors = (expected.size() / 4 + 587) / 588 + (i + 1 < files.size() ? 150 : 0);
        ASSERT_EQ(tracks[i].size(), sectors * 2352);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), tracks[i].begin()));
        EXPECT_TRUE(std::all_of(tracks[i].begin() + static_cast<std::ptrdiff_t>(expected.size()), tracks[i].end(),
                                [](std::uint8_t b) { return b == 0; }));
    }

    std::string info;
    ASSERT_EQ(
        test::RunCommand("cd-info --no-device-info --no-cddb --cue-file " + ShellQuote(cue.string()) + " 2>&1", &info),
        0);
    // cd-info 2.1 prints no ISRCs for an image (the grabber read them above).
    for (const std::string& text :
         {std::string("CD-TEXT for Disc:\n\tTITLE: Record\n\tPERFORMER: Band"),
          std::string("CD-TEXT for Track  1:\n\tTITLE: Song 1\n\tPERFORMER: Band"),
          std::string("CD-TEXT for Track  2:\n\tTITLE: Song 2\n\tPERFORMER: Band"),
          std::string("CD-TEXT for Track  3:\n\tTITLE: Song 3\n\tPERFORMER: Band"),
          std::string("CD-TEXT for Track  4:\n\tTITLE: Song 4\n\tPERFORMER: Band"),
          std::string("CD-TEXT for Track  7:\n\tTITLE: Song 7\n\tPERFORMER: Band"),
          std::string("  7: 00:46:04  003304 audio"), std::string("170: 00:51:05  003680 leadout")})
        EXPECT_NE(info.find(text), std::string::npos) << text << " not in:\n" << info;
}

// A long file is streamed: writing five minutes of 48 kHz FLAC (53 MB of CD
// audio once decoded and resampled) raises the process's peak memory by far
// less than the audio.
TEST(ImageRoundTripPeer, ALongFileIsWrittenInFlatMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed memory back, so the peak says nothing here";
#endif
    KESTRUNE_REQUIRE_TOOL("sox");
    test::TTempDir dir;
    const std::string flac = dir.File("long.flac");
    RunTool("sox -n -r 48000 -b 16 -c 2 " + ShellQuote(flac) + " synth 300 sine 440 sine 660 vol 0.5");
    auto peakKiB = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return static_cast<long>(usage.ru_maxrss);
    };
    const long before = peakKiB();
    TImageWriter writer(dir.Path() / "long.cue");
    ASSERT_EQ(writer.Write({{flac, "", "", ""}}), TImageWriter::TResult::irWritten);
    const long growth = peakKiB() - before;
    EXPECT_EQ(fs::file_size(writer.BinPath()), static_cast<std::uintmax_t>((300 * 44100 + 587) / 588 * 2352));
    EXPECT_LT(growth, 16 * 1024) << "peak memory grew by " << growth << " KiB";
    std::printf("five minutes written; peak memory grew by %ld KiB\n", growth);
}

} // namespace
} // namespace kestrune
