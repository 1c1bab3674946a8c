// kestrune-cli tag on files other programs made: every file it writes to
// still passes its own format's checker, and files where its tag would
// break the stream or go unread are refused and left byte for byte.

#include "formats/TID3v1Tag.h"
#include "pipeline/TMemoryStream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;

namespace {

TCliResult Cli(const std::string& Arguments, const TTempDir& Dir)
{
    return RunCli(KESTRUNE_CLI, Arguments, Dir);
}

int Shell(const std::string& Command, std::string* Output = nullptr)
{
    return RunCommand(Command + " 2>&1", Output);
}

} // namespace

TEST(TagCommandPeer, WrittenFilesPassTheirCheckersAndTheRestAreRefused)
{
    for (const char* tool : {"sox", "flac", "metaflac", "oggenc", "ogginfo", "lame"})
        KESTRUNE_REQUIRE_TOOL(tool);
    TTempDir dir;
    const std::string wav = dir.File("a.wav");
    ASSERT_EQ(Shell("sox -n -r 44100 -c 2 -b 16 " + ShellQuote(wav) + " synth 2 sine 440"), 0);
    const std::string flac = dir.File("a.flac");
    const std::string ogg = dir.File("a.ogg");
    const std::string mp3 = dir.File("a.mp3");
    const std::string mp3v2 = dir.File("v2.mp3");
    ASSERT_EQ(Shell("flac -s -T TRACKNUMBER=3 -T TITLE=Old -o " + ShellQuote(flac) + " " + ShellQuote(wav)), 0);
    ASSERT_EQ(Shell("oggenc -Q -o " + ShellQuote(ogg) + " " + ShellQuote(wav)), 0);
    ASSERT_EQ(Shell("lame --quiet " + ShellQuote(wav) + " " + ShellQuote(mp3)), 0);
    ASSERT_EQ(Shell("lame --quiet --id3v2-only --tt Old " + ShellQuote(wav) + " " + ShellQuote(mp3v2)), 0);

    // Written: each checked by the format's own tool.
    const std::string tags = " --title Song --artist Band --album Disc --genre Rock";
    TCliResult r = Cli("tag " + ShellQuote(flac) + tags, dir);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, flac + ": Vorbis comments written\n");
    std::string text;
    EXPECT_EQ(Shell("flac -s -t " + ShellQuote(flac), &text), 0) << text;
    EXPECT_EQ(Shell("metaflac --export-tags-to=- " + ShellQuote(flac), &text), 0);
    EXPECT_EQ(text, "TRACKNUMBER=3\nTITLE=Song\nARTIST=Band\nALBUM=Disc\nGENRE=Rock\n");

    r = Cli("tag " + ShellQuote(mp3) + tags, dir);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Shell("lame --quiet --decode " + ShellQuote(mp3) + " " + ShellQuote(dir.File("back.wav")), &text), 0)
        << text;
    TMemoryStream bytes(ReadWholeFile(mp3));
    EXPECT_EQ(ReadID3v1Tag(&bytes).Field(TID3v1Tag::TitleOffset, 30), "Song");

    // Refused: the file stays as it was, and the checker still passes.
    struct TRefused {
        std::string File;
        std::string Says;
        std::string Check;
    } refused[] = {
        {ogg, "a tag after the pages of an Ogg file breaks it", "ogginfo " + ShellQuote(ogg)},
        {mp3v2, "it has an ID3v2 tag", "lame --quiet --decode " + ShellQuote(mp3v2) + " /dev/null"},
    };
    for (const TRefused& c : refused) {
        const auto before = ReadWholeFile(c.File);
        r = Cli("tag " + ShellQuote(c.File) + tags, dir);
        EXPECT_EQ(r.Status, 1) << c.File;
        EXPECT_EQ(r.Out, "") << c.File;
        EXPECT_NE(r.Err.find("Cannot tag \"" + c.File + "\": " + c.Says), std::string::npos) << r.Err;
        EXPECT_EQ(ReadWholeFile(c.File), before) << c.File;
        EXPECT_EQ(Shell(c.Check, &text), 0) << text;
    }

    // A FLAC file under another name is refused too, not tagged as MP3.
    const std::string disguised = dir.File("flac.mp3");
    std::filesystem::copy_file(flac, disguised);
    r = Cli("tag " + ShellQuote(disguised) + tags, dir);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("it is a FLAC file"), std::string::npos) << r.Err;
    EXPECT_EQ(Shell("flac -s -t " + ShellQuote(disguised), &text), 0) << text;
}
