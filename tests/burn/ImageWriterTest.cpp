#include "burn/TBurnFixture.h"
#include "burn/TImageWriter.h"
#include "common/TPartFile.h"
#include "formats/FlacComments.h"
#include "formats/TFLACOut.h"
#include "formats/TagTrackFile.h"
#include "pipeline/EACSException.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

// Three tagged WAV files of CD audio: one ending inside a sector, one
// shorter than a CD track may be, one of whole sectors.
struct TQueueFixture {
    TTempDir Dir;
    std::vector<std::vector<std::int16_t>> Audio{
        test::Noise16(5 * 44100 + 123, 2, 11),
        test::Noise16(2 * 44100, 2, 12),
        test::Noise16(400 * 588, 2, 13),
    };
    std::vector<TImageTrack> Queue;

    TQueueFixture()
    {
        const char* titles[] = {"Caf\xC3\xA9 \"Noir\"", "Short", "Whole"};
        for (std::size_t i = 0; i < Audio.size(); ++i) {
            const std::string file = test::WriteWav(Dir.File("t" + std::to_string(i) + ".wav"), Audio[i], 2, 44100);
            TagTrackFile(file, titles[i], "Band", "Record", "");
            Queue.push_back({file, "", "", ""});
        }
        Queue[1].Isrc = "USABC2400002";
        Queue[2].Performer = "Guest";
    }
    fs::path Images() const
    {
        fs::create_directories(Dir.Path() / "out");
        return Dir.Path() / "out";
    }
};

// The cue: disc and track CD-TEXT from the tags (the shared album and
// artist for the disc), in ISO-8859-1 with the quote a cue cannot hold
// replaced, the ISRC given, and INDEX 00 only where a gap lies.
TEST(ImageWriter, CueSheetCarriesGapsTextsAndIsrcs)
{
    TQueueFixture q;
    const int audio0 = (5 * 44100 + 123 + 587) / 588; // 376 sectors
    ASSERT_EQ(audio0, 376);
    struct TCase {
        int Gap;
        std::string Cue;
    };
    const std::vector<TCase> cases{
        {150, "PERFORMER \"Band\"\nTITLE \"Record\"\nFILE \"disc.bin\" BINARY\n"
              "  TRACK 01 AUDIO\n    TITLE \"Caf\xE9 'Noir'\"\n    PERFORMER \"Band\"\n    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n    TITLE \"Short\"\n    PERFORMER \"Band\"\n    ISRC USABC2400002\n"
              "    INDEX 00 00:05:01\n    INDEX 01 00:07:01\n"
              "  TRACK 03 AUDIO\n    TITLE \"Whole\"\n    PERFORMER \"Guest\"\n"
              "    INDEX 00 00:11:01\n    INDEX 01 00:13:01\n"},
        {0, "PERFORMER \"Band\"\nTITLE \"Record\"\nFILE \"disc.bin\" BINARY\n"
            "  TRACK 01 AUDIO\n    TITLE \"Caf\xE9 'Noir'\"\n    PERFORMER \"Band\"\n    INDEX 01 00:00:00\n"
            "  TRACK 02 AUDIO\n    TITLE \"Short\"\n    PERFORMER \"Band\"\n    ISRC USABC2400002\n"
            "    INDEX 01 00:05:01\n"
            "  TRACK 03 AUDIO\n    TITLE \"Whole\"\n    PERFORMER \"Guest\"\n    INDEX 01 00:09:01\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Gap);
        TImageWriter writer(q.Images() / "disc.cue");
        writer.SetGapSectors(c.Gap);
        const TImageLayout layout = writer.Plan(q.Queue);
        EXPECT_EQ(TImageWriter::CueText(layout, "disc.bin"), c.Cue);
        // The short file is filled to four seconds.
        EXPECT_EQ(layout.Tracks[1].Sectors, 300);
        EXPECT_EQ(layout.TotalSectors, 376 + 300 + 400 + 2 * c.Gap);
        EXPECT_EQ(layout.Figure(), (layout.TotalSectors * 153535 + 74) / 75);
    }
}

// Read back as a CD reader reads it, each track is its file followed by
// silence: the fill of its last sector and, but for the last track, the gap
// in front of the next track. The CD-TEXT and the ISRC come back too.
TEST(ImageWriter, ImageReadsBackAsEachFileFollowedBySilence)
{
    TQueueFixture q;
    for (const int gap : {150, 0}) {
        SCOPED_TRACE(gap);
        const fs::path cue = q.Images() / ("gap" + std::to_string(gap) + ".cue");
        TImageWriter writer(cue);
        writer.SetGapSectors(gap);
        ASSERT_EQ(writer.Write(q.Queue), TImageWriter::TResult::irWritten);
        EXPECT_TRUE(fs::exists(writer.BinPath()));

        const test::TImageReadBack back = test::ReadImage(cue);
        ASSERT_EQ(back.Tracks.size(), 3U);
        const std::int64_t sectors[] = {376, 300, 400};
        for (std::size_t t = 0; t < 3; ++t) {
            SCOPED_TRACE(t);
            const std::vector<std::uint8_t> file = test::AsBytes(q.Audio[t]);
            const std::vector<std::uint8_t>& track = back.Tracks[t];
            const std::size_t after = t + 1 < 3 ? static_cast<std::size_t>(gap) : 0;
            ASSERT_EQ(track.size(), static_cast<std::size_t>(sectors[t] + static_cast<std::int64_t>(after)) * 2352);
            EXPECT_TRUE(std::equal(file.begin(), file.end(), track.begin()));
            EXPECT_TRUE(std::all_of(track.begin() + static_cast<std::ptrdiff_t>(file.size()), track.end(),
                                    [](std::uint8_t b) { return b == 0; }));
        }
        EXPECT_EQ(back.Toc.Tracks[1].Isrc, "USABC2400002");
        EXPECT_EQ(back.Toc.Tracks[0].Isrc, "");
        EXPECT_EQ(back.CdText.AlbumTitle, "Record");
        EXPECT_EQ(back.CdText.AlbumPerformer, "Band");
        EXPECT_EQ(back.CdText.TrackTitles.at(0), "Caf\xC3\xA9 'Noir'");
        EXPECT_EQ(back.CdText.TrackPerformers.at(2), "Guest");
    }
}

// A track the queue gives no ISRC takes its file's, written the way taggers
// write it (dashes, small letters); a tag that holds no ISRC is passed over
// and the file still goes on the disc, and the queue's own ISRC wins.
TEST(ImageWriter, IsrcsComeFromTheFilesTagsWhenTheQueueGivesNone)
{
    TTempDir dir;
    struct TCase {
        std::string TagIsrc;
        std::string QueueIsrc;
        std::string Written;
    };
    const std::vector<TCase> cases{
        {"us-abc-24-00001", "", "USABC2400001"},
        {"US-ABC-24-0000", "", ""},
        {"not an ISRC", "", ""},
        {"GBXYZ2400004", "FRZ032400009", "FRZ032400009"},
    };
    std::vector<TImageTrack> queue;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::vector<std::uint8_t> pcm =
            test::AsBytes(test::Noise16(44100, 2, 40 + static_cast<std::uint32_t>(i)));
        test::TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
        TFLACOut out;
        const std::string file = dir.File("t" + std::to_string(i) + ".flac");
        out.SetFileName(file);
        out.SetInput(&in);
        ASSERT_TRUE(test::RunToEnd(out));
        WriteFlacComments(file, {"TITLE=Song " + std::to_string(i), "ISRC=" + cases[i].TagIsrc});
        queue.push_back({file, cases[i].QueueIsrc, "", ""});
    }
    const TImageLayout layout = TImageWriter(dir.Path() / "disc.cue").Plan(queue);
    ASSERT_EQ(layout.Tracks.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].TagIsrc);
        EXPECT_EQ(layout.Tracks[i].Isrc, cases[i].Written);
        EXPECT_EQ(layout.Tracks[i].Title, "Song " + std::to_string(i));
    }
}

// A queue that cannot be written is refused with its reason before a byte
// is written: no image, no part file, an existing image untouched.
TEST(ImageWriter, RefusesBadQueuesAndLeavesNothing)
{
    TQueueFixture q;
    test::WriteWholeFile(q.Dir.File("song.wma"), std::vector<std::uint8_t>(100, 1));
    test::WriteWholeFile(q.Dir.File("broken.wav"), std::vector<std::uint8_t>(100, 1));
    auto with = [&q](std::size_t Index, std::string File) {
        std::vector<TImageTrack> queue = q.Queue;
        queue[Index].FileName = std::move(File);
        return queue;
    };
    std::vector<TImageTrack> badIsrc = q.Queue;
    badIsrc[0].Isrc = "US-ABC-24-00001";
    struct TCase {
        std::string Name;
        std::vector<TImageTrack> Queue;
        std::int64_t Capacity;
        std::string Says;
    };
    const std::vector<TCase> cases{
        {"unsupported", with(1, q.Dir.File("song.wma")), 360000, "this is none of them"},
        {"missing", with(2, q.Dir.File("gone.wav")), 360000,
         "\"" + q.Dir.File("gone.wav") + "\". No such file or directory"},
        {"damaged", with(0, q.Dir.File("broken.wav")), 360000, "Cannot read \"" + q.Dir.File("broken.wav") + "\""},
        {"bad ISRC", badIsrc, 360000, "\"US-ABC-24-00001\" is not an ISRC"},
        {"empty", {}, 360000, "the queue is empty"},
        {"over capacity", q.Queue, 1000, "it needs 0:19 and the disc holds 0:14"},
    };
    const fs::path out = q.Images();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TImageWriter writer(out / "disc.cue");
        writer.SetCapacitySectors(c.Capacity);
        try {
            writer.Write(c.Queue);
            ADD_FAILURE() << "written";
        } catch (const EACSException& e) {
            EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
        }
        EXPECT_EQ(test::FilesIn(out), std::vector<std::string>{});
    }

    // An image of the same name is kept unless replacing was asked for.
    test::WriteWholeFile((out / "disc.cue").string(), {'o', 'l', 'd'});
    TImageWriter writer(out / "disc.cue");
    EXPECT_THROW(writer.Write(q.Queue), EACSException);
    EXPECT_EQ(test::ReadWholeFile((out / "disc.cue").string()), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(test::FilesIn(out), std::vector<std::string>{"disc.cue"});
    writer.SetReplace(true);
    EXPECT_EQ(writer.Write(q.Queue), TImageWriter::TResult::irWritten);
    EXPECT_EQ(test::FilesIn(out), (std::vector<std::string>{"disc.bin", "disc.cue"}));
}

// Cancelling, and a file that vanishes while the image is written, stop the
// write and take back what it wrote. Progress counts up to the whole image.
TEST(ImageWriter, CancelOrAVanishedFileLeavesNothing)
{
    TQueueFixture q;
    const fs::path out = q.Images();
    {
        TImageWriter writer(out / "disc.cue");
        std::int64_t last = -1;
        writer.SetProgress([&](const TImageProgress& P) {
            EXPECT_GE(P.SectorsDone, last);
            last = P.SectorsDone;
            if (P.Track == 1)
                writer.Cancel();
        });
        EXPECT_EQ(writer.Write(q.Queue), TImageWriter::TResult::irCancelled);
        EXPECT_EQ(test::FilesIn(out), std::vector<std::string>{});
    }
    {
        TImageWriter writer(out / "disc.cue");
        writer.SetProgress([&](const TImageProgress& P) {
            if (P.Track == 0)
                fs::remove(q.Queue[2].FileName);
        });
        try {
            writer.Write(q.Queue);
            ADD_FAILURE() << "written";
        } catch (const EACSException& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + q.Queue[2].FileName + "\". No such file"), std::string::npos)
                << e.what();
        }
        EXPECT_EQ(test::FilesIn(out), std::vector<std::string>{});
    }
}

// A write killed half-way leaves only a temporary that says what it is, and
// the next write in that folder clears it; the finished image is made with
// the mode the umask allows, like any other file of the user's.
TEST(ImageWriter, AKilledWriteIsClearedByTheNextAndFilesFollowTheUmask)
{
    TQueueFixture q;
    const fs::path out = q.Images();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TImageWriter writer(out / "disc.cue");
        writer.SetProgress([](const TImageProgress& P) {
            if (P.Track == 1)
                ::raise(SIGKILL);
        });
        writer.Write(q.Queue);
        ::_exit(2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the write was not killed";
    const std::vector<std::string> left = test::FilesIn(out);
    ASSERT_EQ(left.size(), 1U);
    EXPECT_TRUE(TPartFile::IsPartName(left.front())) << left.front();

    for (const mode_t mask : {mode_t{027}, mode_t{022}}) {
        const mode_t old = ::umask(mask);
        TImageWriter writer(out / "disc.cue");
        writer.SetReplace(true);
        const TImageWriter::TResult result = writer.Write(q.Queue);
        ::umask(old);
        ASSERT_EQ(result, TImageWriter::TResult::irWritten);
        EXPECT_EQ(test::FilesIn(out), (std::vector<std::string>{"disc.bin", "disc.cue"}));
        for (const char* name : {"disc.bin", "disc.cue"}) {
            struct stat info {};
            ASSERT_EQ(::stat((out / name).c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << name << " umask " << mask;
        }
    }
}

} // namespace
} // namespace kestrune
