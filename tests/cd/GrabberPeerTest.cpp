#include "cd/TCdGrabber.h"
#include "cd/TCdioDrive.h"
#include "cd/TCdioDriveProvider.h"
#include "cd/TCueImage.h"
#include "cd/TGrabEndWatch.h"
#include "common/TPlainDispatcher.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <functional>

namespace kestrune {
namespace {

using test::TCueImage;
using test::TCueImageTrack;

// What cd-paranoia reads from the same image is what we write, track by
// track, pregaps included.
TEST(GrabberPeerTest, TracksEqualWhatCdParanoiaReads)
{
    KESTRUNE_REQUIRE_TOOL("cd-paranoia");
    test::TTempDir dir;
    TCueImage image;
    image.Tracks = {
        {TCueImageTrack::tkSine, 160, 0, "USABC2400001", false, "One", ""},
        {TCueImageTrack::tkNoise, 200, 0, "", false, "Two", ""},
        {TCueImageTrack::tkNoise, 90, 30, "", true, "Three", ""},
        {TCueImageTrack::tkSine, 77, 12, "", false, "Four", ""},
    };
    const std::filesystem::path cue = image.Write(dir.Path(), "disc");

    TPlainDispatcher dispatcher;
    test::TGrabEndWatch watch;
    TCdGrabber grabber(dispatcher, std::make_shared<TCdioDriveProvider>(std::vector<std::string>{cue.string()}, false));
    grabber.SetEvents(&watch);
    grabber.Initialize();
    grabber.Refresh();
    ASSERT_EQ(grabber.TrackCount(), 4);
    for (int t = 0; t < 4; ++t) {
        SCOPED_TRACE(t);
        const std::string ours = dir.File("ours" + std::to_string(t) + ".wav");
        const std::string theirs = dir.File("theirs" + std::to_string(t) + ".raw");
        watch.Ended = false;
        grabber.SetCurrentTrack(t);
        grabber.GrabToFile(ours);
        ASSERT_TRUE(dispatcher.WaitServing([&watch] { return watch.Ended; }, std::chrono::seconds(30)));
        ASSERT_EQ(grabber.GrabError(), "");
        ASSERT_EQ(test::RunCommand("cd-paranoia -q -d " + test::ShellQuote(cue.string()) + " -r " +
                                   std::to_string(t + 1) + " " + test::ShellQuote(theirs) + " 2>/dev/null"),
                  0);
        std::vector<std::uint8_t> audio = test::ReadWholeFile(ours);
        ASSERT_GT(audio.size(), 44U);
        audio.erase(audio.begin(), audio.begin() + 44);
        const std::vector<std::uint8_t> reference = test::ReadWholeFile(theirs);
        ASSERT_EQ(audio.size(), reference.size());
        EXPECT_TRUE(audio == reference);
    }
}

// Cue sheets as other programs write them. Each variant describes the same
// disc as a plain image (one NAME.bin beside NAME.cue, the gaps as silence
// in the bin), which cd-paranoia reads; the variant must give the same
// table of contents, disc id and audio, track by track.
TEST(GrabberPeerTest, CueSheetsOfOtherProgramsReadAsThePlainImage)
{
    KESTRUNE_REQUIRE_TOOL("cd-paranoia");
    test::TTempDir dir;
    TCueImage image;
    image.Tracks = {
        {TCueImageTrack::tkSine, 160, 0, "", false, "One", ""},
        {TCueImageTrack::tkNoise, 200, 30, "", false, "Two", ""},
        {TCueImageTrack::tkSine, 90, 15, "", false, "Three", ""},
    };
    const std::filesystem::path plain = image.Write(dir.Path(), "plain");
    const std::vector<std::uint8_t> bin = image.Bin();
    const std::vector<int> starts = image.Starts();
    constexpr std::size_t SectorBytes = 2352;

    TCdioDrive reference(plain.string());
    const TDiscToc toc = reference.Toc();
    std::vector<std::vector<std::uint8_t>> audio;
    for (std::size_t t = 0; t < image.Tracks.size(); ++t) {
        const std::string raw = dir.File("paranoia" + std::to_string(t) + ".raw");
        ASSERT_EQ(test::RunCommand("cd-paranoia -q -d " + test::ShellQuote(plain.string()) + " -r " +
                                   std::to_string(t + 1) + " " + test::ShellQuote(raw) + " 2>/dev/null"),
                  0);
        audio.push_back(test::ReadWholeFile(raw));
    }

    // How a variant gives the gap in front of tracks 2 and 3.
    enum TGaps { gInBin, gPregap, gPostgap };
    struct TCase {
        const char* Name;
        std::string Cue;      // the cue sheet's path in the folder
        std::string Bin;      // the data file's path in the folder
        std::string FileLine; // the name the FILE line gives
        TGaps Gaps = gInBin;
        std::function<std::string(std::string)> Edit = nullptr;
    };
    const auto lower = [](std::string Text) {
        bool quoted = false;
        for (char& c : Text) {
            quoted = c == '"' ? !quoted : quoted;
            if (!quoted)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return Text;
    };
    const std::vector<TCase> cases{
        {"byte-order mark", "bom.cue", "bom.bin", "bom.bin", gInBin, [](std::string T) { return "\xEF\xBB\xBF" + T; }},
        {"lower case", "lower.cue", "lower.bin", "lower.bin", gInBin, lower},
        {"Windows line ends", "crlf.cue", "crlf.bin", "crlf.bin", gInBin,
         [](std::string T) {
             std::string out;
             for (const char c : T)
                 out += c == '\n' ? std::string("\r\n") : std::string(1, c);
             return out;
         }},
        {"other letter case", "DISC.CUE", "DISC.BIN", "disc.bin"},
        {"Windows path", "album.cue", "Disc Image.bin", "C:\\Users\\me\\Music\\Disc Image.bin"},
        {"sub-folder", "sub.cue", "data/sub.bin", "data/sub.bin"},
        {"Windows sub-folder", "wsub.cue", "Data/WSUB.bin", "data\\wsub.bin"},
        {"PREGAP", "pregap.cue", "pregap.bin", "pregap.bin", gPregap},
        {"POSTGAP", "postgap.cue", "postgap.bin", "postgap.bin", gPostgap, lower},
        {"REM and unknown lines", "rem.cue", "rem.bin", "rem.bin", gPregap,
         [](std::string T) {
             return "REM GENRE Rock\nREM COMMENT \"ExactAudioCopy v1.0\"\nCDTEXTFILE \"x.cdt\"\n" + T;
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        test::TTempDir folder;
        std::filesystem::create_directories(folder.Path() / std::filesystem::path(c.Bin).parent_path());
        std::vector<std::uint8_t> data = bin;
        std::string cue = "FILE \"" + c.FileLine + "\" BINARY\n";
        std::int64_t cut = 0; // sectors of gap left out of the data file so far
        for (std::size_t t = 0; t < image.Tracks.size(); ++t) {
            const TCueImageTrack& track = image.Tracks[t];
            const int gap = track.PregapSectors;
            if (gap > 0 && c.Gaps != gInBin) {
                const auto from = data.begin() + static_cast<std::ptrdiff_t>((starts[t] - gap - cut) * SectorBytes);
                data.erase(from, from + static_cast<std::ptrdiff_t>(gap * SectorBytes));
                if (c.Gaps == gPostgap)
                    cue += "    POSTGAP " + test::Msf(gap) + "\n";
            }
            cue += "  TRACK 0" + std::to_string(t + 1) + " AUDIO\n    TITLE \"" + track.Title + "\"\n";
            if (gap > 0 && c.Gaps == gInBin)
                cue += "    INDEX 00 " + test::Msf(static_cast<int>(starts[t] - gap)) + "\n";
            if (gap > 0 && c.Gaps == gPregap)
                cue += "    PREGAP " + test::Msf(gap) + "\n";
            if (gap > 0 && c.Gaps != gInBin)
                cut += gap;
            cue += "    INDEX 01 " + test::Msf(static_cast<int>(starts[t] - cut)) + "\n";
        }
        test::WriteWholeFile((folder.Path() / c.Bin).string(), data);
        std::ofstream(folder.Path() / c.Cue, std::ios::binary) << (c.Edit ? c.Edit(cue) : cue);

        const std::string path = (folder.Path() / c.Cue).string();
        TCdioDrive drive(path);
        const TDiscToc read = drive.Toc();
        ASSERT_EQ(read.Tracks.size(), toc.Tracks.size());
        for (std::size_t t = 0; t < toc.Tracks.size(); ++t) {
            EXPECT_EQ(read.Tracks[t].StartLsn, toc.Tracks[t].StartLsn) << t;
            EXPECT_EQ(read.Tracks[t].Sectors, toc.Tracks[t].Sectors) << t;
        }
        EXPECT_EQ(read.LeadOutLsn, toc.LeadOutLsn);
        EXPECT_EQ(read.CddbIdText(), toc.CddbIdText());
        EXPECT_EQ(drive.CdText().TrackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
        for (std::size_t t = 0; t < toc.Tracks.size(); ++t) {
            // Read mode 2, full checks: overlap checking alone (mode 1) can
            // lock onto the wrong period of a pure tone like these tracks.
            std::unique_ptr<ISectorReader> reader =
                drive.Read(read.Tracks[t].StartLsn, read.Tracks[t].Sectors, 2, 3, {});
            std::vector<std::uint8_t> ours(std::size_t(read.Tracks[t].Sectors) * SectorBytes);
            for (std::int32_t s = 0; s < read.Tracks[t].Sectors; ++s)
                ASSERT_TRUE(reader->Next(ours.data() + std::size_t(s) * SectorBytes)) << t << " " << s;
            EXPECT_TRUE(ours == audio[t]) << "track " << t + 1;
        }
    }
}

} // namespace
} // namespace kestrune
