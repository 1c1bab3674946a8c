// kestrune-cli tag: results on stdout (or JSON), errors on stderr, exit
// statuses 0, 1 and 2, and the tag in the file.

#include "formats/TID3v1Tag.h"
#include "formats/TRiffInfoTag.h"
#include "pipeline/TMemoryStream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;

namespace {

using TResult = TCliResult;

TResult Cli(const std::string& Arguments, const TTempDir& Dir)
{
    return RunCli(KESTRUNE_CLI, Arguments, Dir);
}

} // namespace

TEST(TagCommand, TagsMp3AndWavFiles)
{
    TTempDir dir;
    const std::string mp3 = dir.File("song.mp3");
    const std::string wav = dir.File("song.wav");
    WriteWholeFile(mp3, AsBytes(Noise16(500, 2, 1)));
    WriteWholeFile(wav, PcmWavImage(Noise16(500, 2, 2), 2, 44100));

    const TResult a = Cli("tag " + ShellQuote(mp3) + " --title 'Caf\xC3\xA9' --artist A --album B --genre rock", dir);
    EXPECT_EQ(a.Status, 0) << a.Err;
    EXPECT_EQ(a.Out, mp3 + ": ID3v1 tag written (genre 17)\n"); // kestrune.gen lies beside the program
    EXPECT_EQ(a.Err, "");
    TMemoryStream mp3Bytes(ReadWholeFile(mp3));
    const TID3v1Tag tag = ReadID3v1Tag(&mp3Bytes);
    EXPECT_EQ(tag.Field(TID3v1Tag::TitleOffset, 30), "Caf\xE9");
    EXPECT_EQ(tag.Genre(), 17);

    const TResult b = Cli("tag --json " + ShellQuote(wav) + " --title=T --genre Jazz", dir);
    EXPECT_EQ(b.Status, 0) << b.Err;
    EXPECT_NE(b.Out.find("\"event\":\"tagged\""), std::string::npos) << b.Out;
    EXPECT_NE(b.Out.find("\"format\":\"RIFF INFO\""), std::string::npos) << b.Out;
    TMemoryStream wavBytes(ReadWholeFile(wav));
    const auto items = ReadInfoChunk(&wavBytes);
    const std::vector<std::pair<std::string, std::string>> want{
        {"INAM", "T"}, {"IART", ""}, {"IPRD", ""}, {"IGNR", "Jazz"}};
    EXPECT_EQ(items, want);
}

TEST(TagCommand, FailuresAndUsageErrors)
{
    TTempDir dir;
    WriteWholeFile(dir.File("fake.wav"), AsBytes(Noise16(100, 1, 3)));
    WriteWholeFile(dir.File("genres.txt"), {'O', 'n', 'e', '\n', 'R', 'o', 'c', 'k', '\n'});
    WriteWholeFile(dir.File("x.mp3"), AsBytes(Noise16(100, 1, 4)));
    struct TCase {
        std::string Args;
        int Status;
        std::string Says; // on stderr
    };
    const TCase cases[] = {
        {"tag", 2, "tag needs exactly one file"},
        {"tag a.mp3 b.mp3", 2, "tag needs exactly one file"},
        {"tag a.mp3 --year 1999", 2, "--year"},
        {"tag " + ShellQuote(dir.File("missing.mp3")), 1, "Cannot open file"},
        {"tag " + ShellQuote(dir.File("fake.wav")) + " --title x", 1, "not a RIFF file"},
        {"tag " + ShellQuote(dir.File("x.mp3")) + " --genres " + ShellQuote(dir.File("none.gen")), 1,
         "cannot read the genre list"},
    };
    for (const TCase& c : cases) {
        const TResult r = Cli(c.Args, dir);
        EXPECT_EQ(r.Status, c.Status) << c.Args;
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << c.Args << "\n" << r.Err;
        EXPECT_EQ(r.Out, "") << c.Args;
    }
    EXPECT_EQ(ReadWholeFile(dir.File("fake.wav")).size(), 200u) << "a refused file was changed";

    const TResult own = Cli(
        "tag " + ShellQuote(dir.File("x.mp3")) + " --genre rock --genres " + ShellQuote(dir.File("genres.txt")), dir);
    EXPECT_EQ(own.Status, 0) << own.Err;
    EXPECT_EQ(ReadWholeFile(dir.File("x.mp3")).back(), 1);
}
