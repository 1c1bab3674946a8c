// Tags read back by ffprobe, and audio decoded by ffmpeg and sox before and
// after tagging, on files the peer tools make at test time.

#include "formats/TGenreList.h"
#include "formats/TID3v1Tag.h"
#include "formats/TMACOut.h"
#include "formats/TTrackTags.h"
#include "formats/TagTrackFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace kestrune;
using namespace kestrune::test;

namespace {

using TBytes = std::vector<std::uint8_t>;

const TGenreList& Genres()
{
    static TGenreList list;
    static const bool loaded = list.LoadFromFile(KESTRUNE_GEN_FILE);
    EXPECT_TRUE(loaded);
    return list;
}

void RunOk(const std::string& Command)
{
    ASSERT_EQ(RunCommand(Command), 0) << Command;
}

// title, artist, album and genre as ffprobe reports them, byte for byte:
// ffmpeg hands ID3v1 text on as it lies in the file, and string validation
// is off so that ISO-8859-1 bytes arrive unchanged.
std::map<std::string, std::string> Probe(const std::string& File)
{
    std::string out;
    const std::string command = "ffprobe -v error -show_entries format_tags=title,artist,album,genre "
                                "-of default=noprint_wrappers=1:string_validation=ignore " +
                                ShellQuote(File);
    EXPECT_EQ(RunCommand(command, &out), 0) << command;
    std::map<std::string, std::string> tags;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("TAG:", 0) != 0 || line.find('=') == std::string::npos)
            continue;
        const auto eq = line.find('=');
        tags[line.substr(4, eq - 4)] = line.substr(eq + 1);
    }
    return tags;
}

// The file's samples as 16-bit PCM, decoded by ffmpeg or sox.
TBytes Decode(const std::string& File, const std::string& Tool, const TTempDir& Dir)
{
    const std::string raw = Dir.File("decoded.raw");
    const std::string command =
        Tool == "sox" ? "sox " + ShellQuote(File) + " -t raw -e signed-integer -b 16 " + ShellQuote(raw)
                      : "ffmpeg -v error -y -i " + ShellQuote(File) + " -f s16le -acodec pcm_s16le " + ShellQuote(raw);
    EXPECT_EQ(RunCommand(command), 0) << command;
    TBytes bytes = ReadWholeFile(raw);
    EXPECT_FALSE(bytes.empty()) << command;
    return bytes;
}

void PutLe32(TBytes& B, std::size_t At, std::uint32_t V)
{
    for (int k = 0; k < 4; ++k)
        B.at(At + static_cast<std::size_t>(k)) = static_cast<std::uint8_t>(V >> (8 * k));
}

struct TTags {
    std::string Title, Artist, Album, Genre;
};

// UTF-8 texts; the second round has an accent inside ISO-8859-1 and one
// outside it, and a genre in other letter case.
const TTags Rounds[] = {
    {"Caf\xC3\xA9 No\xC3\xABl", "The Band", "First Album", "Jazz"},
    {"Second \xC3\xA0 Title", "\xCE\xA9mega Trio", "INFO Album", "rock"},
};

} // namespace

TEST(TagPeer, FfprobeReadsId3v1OnMp3FilesAndTheAudioStays)
{
    KESTRUNE_REQUIRE_TOOL("ffprobe");
    KESTRUNE_REQUIRE_TOOL("ffmpeg");
    KESTRUNE_REQUIRE_TOOL("lame");
    TTempDir dir;
    const std::string wav = dir.File("source.wav");
    WriteWholeFile(wav, PcmWavImage(Sine16(44100, 2, 44100, 440, 8000), 2, 44100));
    const std::pair<std::string, std::string> makers[] = {
        {"lame", "lame --quiet -b 128 " + ShellQuote(wav) + " "},
        {"ffmpeg", "ffmpeg -v error -y -i " + ShellQuote(wav) + " -c:a libmp3lame -b:a 128k -id3v2_version 0 "},
    };
    for (const auto& [maker, command] : makers) {
        SCOPED_TRACE(maker);
        const std::string mp3 = dir.File(maker + ".mp3");
        RunOk(command + ShellQuote(mp3));
        const std::size_t size = ReadWholeFile(mp3).size();
        const TBytes before = Decode(mp3, "ffmpeg", dir);
        for (const TTags& t : Rounds) {
            TagTrackFile(mp3, t.Title, t.Artist, t.Album, t.Genre, Genres());
            EXPECT_EQ(ReadWholeFile(mp3).size(), size + 128);
            EXPECT_EQ(Decode(mp3, "ffmpeg", dir), before) << "tagging changed the audio";
        }
        // ID3v1 holds ISO-8859-1: "à" is the byte E0, "Ω" became "?".
        const auto tags = Probe(mp3);
        EXPECT_EQ(tags.count("title") ? tags.at("title") : "", "Second \xE0 Title");
        EXPECT_EQ(tags.count("artist") ? tags.at("artist") : "", "?mega Trio");
        EXPECT_EQ(tags.count("album") ? tags.at("album") : "", "INFO Album");
        EXPECT_EQ(tags.count("genre") ? tags.at("genre") : "", "Rock");
    }
}

TEST(TagPeer, FfprobeReadsInfoListsOnWavFiles)
{
    KESTRUNE_REQUIRE_TOOL("ffprobe");
    KESTRUNE_REQUIRE_TOOL("sox");
    TTempDir dir;
    const std::string wav = dir.File("sox.wav");
    RunOk("sox -n -r 44100 -c 2 -b 16 " + ShellQuote(wav) + " synth 1 sine 440");
    for (const TTags& t : Rounds) {
        TagTrackFile(wav, t.Title, t.Artist, t.Album, t.Genre, Genres());
        const auto tags = Probe(wav);
        // INFO holds UTF-8: every character survives, and the genre is text.
        EXPECT_EQ(tags.count("title") ? tags.at("title") : "", t.Title);
        EXPECT_EQ(tags.count("artist") ? tags.at("artist") : "", t.Artist);
        EXPECT_EQ(tags.count("album") ? tags.at("album") : "", t.Album);
        EXPECT_EQ(tags.count("genre") ? tags.at("genre") : "", t.Genre);
    }
}

TEST(TagPeer, TaggingNeverChangesTheDecodedAudioOfWavFiles)
{
    KESTRUNE_REQUIRE_TOOL("ffmpeg");
    KESTRUNE_REQUIRE_TOOL("sox");
    TTempDir dir;
    struct TCase {
        std::string Name;
        TBytes Image;
    };
    std::vector<TCase> cases;
    {
        const std::string made = dir.File("made.wav");
        RunOk("ffmpeg -v error -y -f lavfi -i sine=frequency=500:duration=1 -ac 2 " + ShellQuote(made));
        cases.push_back({"made by ffmpeg", ReadWholeFile(made)});
    }
    {
        // Audio whose last bytes are "INFO", with a list header in front of
        // them whose size runs exactly to the end of the file.
        TBytes b = PcmWavImage(Noise16(20000, 2, 5, 3000), 2, 44100);
        const std::size_t at = b.size() - 60;
        std::memcpy(b.data() + at, "LIST", 4);
        PutLe32(b, at + 4, 52);
        std::memcpy(b.data() + at + 8, "INFO", 4);
        std::memcpy(b.data() + b.size() - 4, "INFO", 4);
        cases.push_back({"INFO in the audio", b});
    }
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = dir.File("case.wav");
        WriteWholeFile(file, c.Image);
        const TBytes byFfmpeg = Decode(file, "ffmpeg", dir);
        const TBytes bySox = Decode(file, "sox", dir);
        for (const TTags& t : Rounds) {
            TagTrackFile(file, t.Title, t.Artist, t.Album, t.Genre, Genres());
            EXPECT_EQ(Decode(file, "ffmpeg", dir), byFfmpeg);
            EXPECT_EQ(Decode(file, "sox", dir), bySox);
        }
        EXPECT_EQ(Probe(file)["title"], Rounds[1].Title);
    }
}

// What the field's taggers write is read back in full: ID3v2 from lame
// (UTF-16, and ISO-8859-1 beside an ID3v1 tag that cuts the long title),
// ffmpeg (versions 2.3 and 2.4) and mutagen (2.4, two values); Vorbis comments from
// flac and oggenc; an APE tag from mutagen, followed by our ID3v1 tag.
TEST(TagPeer, TrackTagsReadWhatTheFieldsTaggersWrite)
{
    for (const char* tool : {"lame", "flac", "oggenc", "ffmpeg"})
        KESTRUNE_REQUIRE_TOOL(tool);
    TTempDir dir;
    const std::string wav = dir.File("source.wav");
    WriteWholeFile(wav, PcmWavImage(Sine16(44100 / 2, 2, 44100, 440, 8000), 2, 44100));
    const std::string in = ShellQuote(wav);
    const std::string title = "Caf\xC3\xA9 \xE2\x99\xAB \xF0\x9D\x84\x9E";
    const std::string artist = "\xC3\x84rtist";
    const std::string longTitle = "A title longer than the thirty bytes of ID3v1";
    const bool mutagen = RunCommand("/usr/bin/python3 -c 'import mutagen' 2>/dev/null") == 0;
    {
        // Our own APE file, tagged by mutagen below.
        const std::vector<std::uint8_t> pcm = AsBytes(Sine16(44100 / 2, 2, 44100, 440, 8000));
        TFakeInput input({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
        TMACOut out;
        out.SetFileName(dir.File("e.ape"));
        out.SetInput(&input);
        ASSERT_TRUE(RunToEnd(out));
    }
    struct TCase {
        std::string File;
        std::string Command;
        TTrackTags Expected;
    };
    const std::vector<TCase> cases{
        {"lame-utf16.mp3",
         "lame --quiet --id3v2-only --id3v2-utf16 --tt " + ShellQuote(title) + " --ta " + ShellQuote(artist) +
             " --tl " + ShellQuote(longTitle) + " --tv TSRC=US-ABC-24-00001 " + in,
         {title, artist, longTitle, "US-ABC-24-00001"}},
        {"lame-latin1.mp3",
         "lame --quiet --add-id3v2 --id3v2-latin1 --tt " + ShellQuote(longTitle) + " --ta " + ShellQuote(artist) +
             " --tl Album --tv TSRC=USABC2400002 " + in,
         {longTitle, artist, "Album", "USABC2400002"}},
        {"ffmpeg-v23.mp3",
         "ffmpeg -nostdin -v error -y -i " + in + " -metadata title=" + ShellQuote(title) + " -metadata artist=" +
             ShellQuote(artist) + " -metadata album=Album -metadata TSRC=USABC2400003 -id3v2_version 3",
         {title, artist, "Album", "USABC2400003"}},
        {"ffmpeg-v24.mp3",
         "ffmpeg -nostdin -v error -y -i " + in + " -metadata title=" + ShellQuote(title) + " -metadata artist=" +
             ShellQuote(artist) + " -metadata album=Album -metadata TSRC=USABC2400004 -id3v2_version 4",
         {title, artist, "Album", "USABC2400004"}},
        {"flac.flac",
         "flac -s -T TITLE=" + ShellQuote(title) + " -T ARTIST=" + ShellQuote(artist) +
             " -T ALBUM=Album -T ISRC=USABC2400005 " + in + " -o",
         {title, artist, "Album", "USABC2400005"}},
        {"oggenc.ogg",
         "oggenc -Q -t " + ShellQuote(title) + " -a " + ShellQuote(artist) + " -l Album -c ISRC=USABC2400006 " + in +
             " -o",
         {title, artist, "Album", "USABC2400006"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        const std::string file = dir.File(c.File);
        // ffmpeg takes the output last, flac and oggenc after -o, lame after the input.
        RunOk(c.Command + " " + ShellQuote(file));
        const TTrackTags got = TTrackTags::Read(file);
        EXPECT_EQ(got.Title, c.Expected.Title);
        EXPECT_EQ(got.Artist, c.Expected.Artist);
        EXPECT_EQ(got.Album, c.Expected.Album);
        EXPECT_EQ(got.Isrc, c.Expected.Isrc);
    }
    if (!mutagen) {
        std::printf("mutagen is not installed: mid3v2 and APE tags not checked\n");
        return;
    }
    struct TMutagenCase {
        std::string File;
        std::string Script;
        TTrackTags Expected;
    };
    const std::vector<TMutagenCase> tagged{
        {"lame-latin1.mp3",
         "from mutagen.id3 import ID3, TIT2, TSRC\n"
         "t = ID3(f); t.delall('TIT2'); t.delall('TSRC')\n"
         "t.add(TIT2(encoding=3, text=['Mid \\u00c4 Title', 'Second'])); t.add(TSRC(encoding=3, text='GBXYZ2400004'))\n"
         "t.save(v2_version=4)\n",
         {"Mid \xC3\x84 Title", artist, "Album", "GBXYZ2400004"}},
        {"e.ape",
         "from mutagen.apev2 import APEv2\n"
         "t = APEv2(); t['Title'] = 'Ape \\u00c4 Title'; t['Artist'] = ['One', 'Two']; t['ISRC'] = 'DEA012400077'\n"
         "t.save(f)\n",
         {"Ape \xC3\x84 Title", "One", "V1 Album", "DEA012400077"}},
    };
    for (const TMutagenCase& c : tagged) {
        SCOPED_TRACE(c.File);
        const std::string file = dir.File(c.File);
        const std::string script = dir.File("tag.py");
        const std::string text = "import sys\nf = sys.argv[1]\n" + c.Script;
        WriteWholeFile(script, TBytes(text.begin(), text.end()));
        RunOk("/usr/bin/python3 " + ShellQuote(script) + " " + ShellQuote(file));
        // An ID3v1 tag behind the APE tag, as older taggers leave it (our
        // tagger refuses to write one there).
        if (c.File == "e.ape") {
            TID3v1Tag v1;
            v1.Bytes[0] = 'T', v1.Bytes[1] = 'A', v1.Bytes[2] = 'G';
            v1.SetText(TID3v1Tag::TitleOffset, "V1 Title");
            v1.SetText(TID3v1Tag::ArtistOffset, "V1 Artist");
            v1.SetText(TID3v1Tag::AlbumOffset, "V1 Album");
            TBytes bytes = ReadWholeFile(file);
            bytes.insert(bytes.end(), v1.Bytes.begin(), v1.Bytes.end());
            WriteWholeFile(file, bytes);
        }
        const TTrackTags got = TTrackTags::Read(file);
        EXPECT_EQ(got.Title, c.Expected.Title);
        EXPECT_EQ(got.Artist, c.Expected.Artist);
        EXPECT_EQ(got.Album, c.Expected.Album);
        EXPECT_EQ(got.Isrc, c.Expected.Isrc);
    }
}
