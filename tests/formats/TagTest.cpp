// ID3v1 tags, RIFF INFO lists and the genre list: byte layouts, read-back,
// replacement without duplicates, and that tagging never touches the audio.

#include "formats/TGenreList.h"
#include "formats/TID3v1Tag.h"
#include "formats/TRiffInfoTag.h"
#include "formats/TagTrackFile.h"
#include "pipeline/ByteOrder.h"
#include "pipeline/EACSException.h"
#include "pipeline/TFileStream.h"
#include "pipeline/TMemoryStream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::string_literals;

namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes Text(const std::string& S)
{
    return TBytes(S.begin(), S.end());
}

std::uint32_t Le32(const TBytes& B, std::size_t At)
{
    return GetLe32(&B.at(At + 3) - 3);
}

void PutLe32(TBytes& B, std::size_t At, std::uint32_t V)
{
    kestrune::PutLe32(&B.at(At + 3) - 3, V);
}

int Count(const TBytes& B, const std::string& What)
{
    int n = 0;
    for (auto it = B.begin(); (it = std::search(it, B.end(), What.begin(), What.end())) != B.end(); ++it)
        ++n;
    return n;
}

// A 16-bit stereo WAV image with a 44-byte header; data starts at 44.
TBytes Wav(int Frames = 1000, std::uint32_t Seed = 7)
{
    return PcmWavImage(Noise16(Frames, 2, Seed), 2, 44100);
}

const std::vector<std::string> Ids{"INAM", "IART", "IPRD", "IGNR"};

// Tags a WAV image in memory and checks what must hold whatever the case:
// the bytes before the list are the original ones (the RIFF size aside) and
// both sizes describe the file. Returns the list's offset.
std::int64_t TagWav(TMemoryStream& File, const std::vector<std::string>& Values)
{
    const TBytes before = File.Bytes();
    const std::int64_t at = WriteInfoChunk(&File, Ids, Values);
    const TBytes& after = File.Bytes();
    EXPECT_GE(at, 12);
    for (std::size_t i = 0; i < std::min<std::size_t>(static_cast<std::size_t>(at), before.size()); ++i)
        if (i < 4 || i >= 8) {
            EXPECT_EQ(after[i], before[i]) << "byte " << i << " changed";
        }
    EXPECT_EQ(Le32(after, 4), after.size() - 8);
    EXPECT_EQ(std::memcmp(after.data() + at, "LIST", 4), 0);
    EXPECT_EQ(Le32(after, static_cast<std::size_t>(at) + 4), after.size() - 8 - static_cast<std::size_t>(at));
    return at;
}

std::vector<std::pair<std::string, std::string>> Items(const std::vector<std::string>& Values)
{
    std::vector<std::pair<std::string, std::string>> items;
    for (std::size_t i = 0; i < Values.size(); ++i)
        items.emplace_back(Ids[i], Values[i]);
    return items;
}

TGenreList& Shipped()
{
    static TGenreList list;
    static const bool loaded = list.LoadFromFile(KESTRUNE_GEN_FILE);
    EXPECT_TRUE(loaded);
    return list;
}

} // namespace

// ---------------------------------------------------------------- ID3v1

TEST(Id3v1, NewTagIsAppendedWithTheExactLayout)
{
    TTempDir dir;
    const TBytes audio = AsBytes(Noise16(600, 1, 3));
    WriteWholeFile(dir.File("song.mp3"), audio);
    TagTrackFile(dir.File("song.mp3"), "Title", "Artist", "Album", "rock", Shipped());

    const TBytes file = ReadWholeFile(dir.File("song.mp3"));
    ASSERT_EQ(file.size(), audio.size() + 128);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin()));
    TBytes want(128, 0);
    std::memcpy(want.data(), "TAG", 3);
    std::memcpy(want.data() + 3, "Title", 5);
    std::memcpy(want.data() + 33, "Artist", 6);
    std::memcpy(want.data() + 63, "Album", 5);
    want[127] = 17; // "Rock", matched ignoring case
    EXPECT_EQ(TBytes(file.end() - 128, file.end()), want);
}

TEST(Id3v1, TextFieldsAreIso88591CutTo30Bytes)
{
    const std::string thirty(30, 'x');
    std::string thirtyAccented;
    for (int i = 0; i < 30; ++i)
        thirtyAccented += "\xC3\xA9"; // é
    struct TCase {
        std::string Title;
        std::string Stored; // the 30 field bytes up to the first zero
    };
    const TCase cases[] = {
        {"Short", "Short"},
        {thirty, thirty},                               // no terminating zero
        {thirty + "0123456789", thirty},                // cut, artist untouched
        {"Caf\xC3\xA9 No\xC3\xABl", "Caf\xE9 No\xEBl"}, // Latin-1 letters
        {"\xCE\xA9mega \xE2\x82\xAC", "?mega ?"},       // Greek and the euro sign are outside it
        {"bad \xFF\xC3 end", "bad ?? end"},             // not UTF-8
        {thirtyAccented, std::string(30, '\xE9')},      // 60 UTF-8 bytes fit in 30
    };
    for (const TCase& c : cases) {
        TID3v1Tag tag;
        tag.SetText(TID3v1Tag::ArtistOffset, "Artist");
        tag.SetText(TID3v1Tag::TitleOffset, c.Title);
        EXPECT_EQ(tag.Field(TID3v1Tag::TitleOffset, 30), c.Stored) << c.Title;
        EXPECT_EQ(tag.Field(TID3v1Tag::ArtistOffset, 30), "Artist") << c.Title;
        EXPECT_EQ(TID3v1Tag::ToLatin1(tag.Text(TID3v1Tag::TitleOffset)), c.Stored) << c.Title;
    }
}

TEST(Id3v1, ExistingTagIsReplacedKeepingYearAndComment)
{
    TTempDir dir;
    TBytes file = AsBytes(Noise16(500, 2, 9));
    TBytes old(128, 0);
    std::memcpy(old.data(), "TAG", 3);
    std::memcpy(old.data() + 3, "An old and long title", 21);
    std::memcpy(old.data() + 93, "1999", 4);
    std::memcpy(old.data() + 97, "kept comment", 12);
    old[127] = 8;
    file.insert(file.end(), old.begin(), old.end());
    WriteWholeFile(dir.File("a.MP3"), file);

    TagTrackFile(dir.File("a.MP3"), "New", "Someone", "Else", "Jazz", Shipped());
    TBytes once = ReadWholeFile(dir.File("a.MP3"));
    ASSERT_EQ(once.size(), file.size()) << "a second tag was appended";
    EXPECT_TRUE(std::equal(file.begin(), file.end() - 128, once.begin()));
    TMemoryStream stream(once);
    const TID3v1Tag tag = ReadID3v1Tag(&stream);
    ASSERT_TRUE(tag.IsTag());
    EXPECT_EQ(tag.Text(TID3v1Tag::TitleOffset), "New");
    EXPECT_EQ(tag.Text(TID3v1Tag::ArtistOffset), "Someone");
    EXPECT_EQ(tag.Text(TID3v1Tag::AlbumOffset), "Else");
    EXPECT_EQ(tag.Field(TID3v1Tag::YearOffset, 4), "1999");
    EXPECT_EQ(tag.Text(TID3v1Tag::CommentOffset), "kept comment");
    EXPECT_EQ(tag.Genre(), 8);
    // Past the new title's zero the old bytes stay, as the record held them.
    EXPECT_EQ(std::string(once.end() - 128 + 7, once.end() - 128 + 24), "ld and long title");

    TagTrackFile(dir.File("a.MP3"), "New", "Someone", "Else", "Jazz", Shipped());
    EXPECT_EQ(ReadWholeFile(dir.File("a.MP3")), once) << "tagging twice with the same texts changed the file";
}

TEST(Id3v1, FilesWithoutATagReadAsTheMarker)
{
    TBytes marker(128, 0);
    std::memcpy(marker.data() + 3, "Not an ID3 Tag", 14);
    TBytes tagged = AsBytes(Noise16(100, 1, 1));
    TBytes tag(128, 'z');
    std::memcpy(tag.data(), "TAG", 3);
    tagged.insert(tagged.end(), tag.begin(), tag.end());
    TBytes shortTag(tag.begin(), tag.end() - 1); // 127 bytes that start with "TAG"
    TBytes noTag(400, 'a');

    for (const TBytes* bytes : {&shortTag, &noTag}) {
        TMemoryStream stream(*bytes);
        const TID3v1Tag read = ReadID3v1Tag(&stream);
        EXPECT_EQ(TBytes(read.Bytes.begin(), read.Bytes.end()), marker);
        EXPECT_FALSE(read.IsTag());
    }
    EXPECT_EQ(ReadID3v1Tag(nullptr).Field(TID3v1Tag::TitleOffset, 30), "Not an ID3 Tag");
    TMemoryStream stream(tagged);
    const TID3v1Tag read = ReadID3v1Tag(&stream);
    EXPECT_EQ(TBytes(read.Bytes.begin(), read.Bytes.end()), tag);

    // No file: nothing happens.
    WriteID3v1Tag(read, nullptr, true);
    EXPECT_EQ(FindInfoChunk(nullptr, 400), -1);
    EXPECT_EQ(WriteInfoChunk(nullptr, Ids, {"a", "b", "c", "d"}), -1);
}

TEST(Id3v1, GenreByteIsThePositionInTheList)
{
    TTempDir dir;
    TGenreList empty;
    struct TCase {
        std::string Genre;
        const TGenreList* List;
        int Byte;
    };
    const TCase cases[] = {
        {"Blues", &Shipped(), 0},        {"HIP-HOP", &Shipped(), 7}, {"psybient", &Shipped(), 191},
        {"Polka Rock", &Shipped(), 255}, {"", &Shipped(), 255},      {"Rock", &empty, 255},
    };
    for (const TCase& c : cases) {
        WriteWholeFile(dir.File("g.mp3"), TBytes(10, 1));
        TagTrackFile(dir.File("g.mp3"), "t", "a", "b", c.Genre, *c.List);
        EXPECT_EQ(ReadWholeFile(dir.File("g.mp3")).back(), c.Byte) << c.Genre;
    }
}

// ---------------------------------------------------------------- genre list

TEST(GenreList, ShippedFileHoldsTheStandardNamesInOrder)
{
    const TGenreList& list = Shipped();
    ASSERT_EQ(list.Count(), 192);
    const std::pair<int, const char*> spots[] = {
        {0, "Blues"}, {1, "Classic Rock"}, {12, "Other"},     {17, "Rock"},      {32, "Classical"}, {79, "Hard Rock"},
        {80, "Folk"}, {125, "Dance Hall"}, {147, "Synthpop"}, {148, "Abstract"}, {191, "Psybient"}};
    for (const auto& [number, name] : spots)
        EXPECT_EQ(list.Name(number), name) << number;
    // Every name is there once, so a name's position is its number.
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_FALSE(list.Name(i).empty()) << i;
        EXPECT_EQ(list.IndexOf(list.Name(i)), i) << list.Name(i);
    }
    EXPECT_EQ(list.Name(192), "");
    EXPECT_EQ(list.Name(-1), "");
}

TEST(GenreList, LinesAndLookups)
{
    TGenreList list;
    list.LoadFromText("Alpha\r\nBeta\rGamma\n\nDelta\n");
    EXPECT_EQ(list.Names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma", "", "Delta"}));
    EXPECT_EQ(list.IndexOf("GAMMA"), 2);
    EXPECT_EQ(list.IndexOf(""), 3); // an empty line is an entry
    EXPECT_EQ(list.IndexOf("Epsilon"), -1);
    list.LoadFromText("Same\nsame\nlast");
    EXPECT_EQ(list.IndexOf("SAME"), 0); // the first match wins
    EXPECT_EQ(list.Count(), 3);

    TTempDir dir;
    EXPECT_FALSE(list.LoadFromFile(dir.File("missing.gen")));
    EXPECT_EQ(list.Count(), 0);
    WriteWholeFile(dir.File("k.gen"), Text("One\r\nTwo"));
    EXPECT_TRUE(list.LoadFromFile(dir.File("k.gen")));
    EXPECT_EQ(list.Names(), (std::vector<std::string>{"One", "Two"}));
}

// ---------------------------------------------------------------- RIFF INFO

TEST(RiffInfo, ItemsArePaddedToEvenLengths)
{
    TMemoryStream file(Wav(10));
    const std::size_t length = file.Bytes().size();
    const std::int64_t at = TagWav(file, {"abcd", "abc", "", "Rock"});
    ASSERT_EQ(at, static_cast<std::int64_t>(length));

    TBytes want = Text("LIST");
    want.insert(want.end(), {0, 0, 0, 0});
    for (const char* part : {"INFO", "INAM"})
        want.insert(want.end(), part, part + 4);
    want.insert(want.end(), {5, 0, 0, 0, 'a', 'b', 'c', 'd', 0, 0});             // 14 bytes with id and size
    want.insert(want.end(), {'I', 'A', 'R', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 0}); // 12, no pad
    want.insert(want.end(), {'I', 'P', 'R', 'D', 1, 0, 0, 0, 0, 0});             // empty: size 1 and a pad
    want.insert(want.end(), {'I', 'G', 'N', 'R', 5, 0, 0, 0, 'R', 'o', 'c', 'k', 0, 0});
    PutLe32(want, 4, static_cast<std::uint32_t>(want.size() - 8));
    EXPECT_EQ(TBytes(file.Bytes().begin() + at, file.Bytes().end()), want);
    EXPECT_EQ(ReadInfoChunk(&file), Items({"abcd", "abc", "", "Rock"}));
}

TEST(RiffInfo, FindInfoChunkSearchesTheLastSpanBytes)
{
    struct TCase {
        std::vector<std::size_t> FromEnd; // where "INFO" is put, counted back from the end
        std::size_t Length;
        std::int64_t Span;
        std::int64_t WantFromEnd; // -1: not found
    };
    const TCase cases[] = {
        {{4}, 1000, 400, 4},             // the last four bytes
        {{399}, 1000, 400, 399},         // offset length - span + 1: the lowest searched
        {{400}, 1000, 400, -1},          // one byte further is outside
        {{300, 20}, 1000, 400, 20},      // the match nearest the end
        {{100}, 100, 400, 100},          // a file shorter than the span: down to offset 0
        {{3}, 1000, 400, -1},            // would run past the end
        {{70000}, 100000, 80000, 70000}, // across the reading blocks
    };
    for (const TCase& c : cases) {
        TBytes bytes(c.Length, 'x');
        for (std::size_t back : c.FromEnd)
            std::memcpy(bytes.data() + c.Length - back, "INFO", std::min<std::size_t>(4, back));
        TMemoryStream file(bytes);
        const std::int64_t want = c.WantFromEnd < 0 ? -1 : static_cast<std::int64_t>(c.Length) - c.WantFromEnd;
        EXPECT_EQ(FindInfoChunk(&file, c.Span), want) << c.FromEnd.front();
    }
}

TEST(RiffInfo, OnlyARealTrailingListIsReplaced)
{
    struct TCase {
        const char* Name;
        TBytes File;
    };
    std::vector<TCase> cases;

    cases.push_back({"plain", Wav()});
    {
        // Audio ending in "INFO", and a fake list header inside the audio
        // whose size runs exactly to the end of the file.
        TBytes b = Wav(1000);
        std::memcpy(b.data() + b.size() - 4, "INFO", 4);
        cases.push_back({"audio ends in INFO", b});
        TBytes c = Wav(1000, 11);
        const std::size_t at = c.size() - 100;
        std::memcpy(c.data() + at, "LIST", 4);
        PutLe32(c, at + 4, 92);
        std::memcpy(c.data() + at + 8, "INFO", 4);
        cases.push_back({"audio holds a list header", c});
    }
    {
        // Odd data size without its pad byte: the list goes to an even offset.
        TBytes b = Wav(100);
        b.push_back(0x55);
        PutLe32(b, 40, Le32(b, 40) + 1);
        PutLe32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
        cases.push_back({"odd data chunk", b});
    }
    {
        // An INFO list followed by another chunk is not the last chunk.
        TBytes b = Wav(100);
        TMemoryStream first(b);
        WriteInfoChunk(&first, Ids, {"x", "y", "z", "w"});
        b = first.Bytes();
        const TBytes id3 = Text("id3 \x04\0\0\0abcd"s);
        b.insert(b.end(), id3.begin(), id3.end());
        PutLe32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
        cases.push_back({"list before another chunk", b});
    }

    const std::vector<std::vector<std::string>> tags{
        {"Song", "Band", "Record", "Rock"},
        {"A much longer title that makes the list bigger than before", "INFORMATION SOCIETY", "INFO", "INFO"},
        {std::string(200, 't'), std::string(200, 'a'), std::string(200, 'b'), "Rock"}, // > 400 bytes
        {"Short", "", "", ""},
    };
    for (const TCase& c : cases) {
        TMemoryStream file(c.File);
        const std::int64_t first = TagWav(file, tags[0]);
        EXPECT_GE(first, static_cast<std::int64_t>(c.File.size())) << c.Name << ": the file was cut";
        EXPECT_TRUE(std::equal(c.File.begin() + 8, c.File.end(), file.Bytes().begin() + 8)) << c.Name;
        const int lists = Count(file.Bytes(), "LIST");
        for (const auto& values : tags) {
            EXPECT_EQ(TagWav(file, values), first) << c.Name << ": the list moved";
            EXPECT_EQ(Count(file.Bytes(), "LIST"), lists) << c.Name << ": a second list";
            EXPECT_EQ(ReadInfoChunk(&file), Items(values)) << c.Name;
        }
        // And the audio before it is the original's.
        EXPECT_TRUE(std::equal(c.File.begin() + 8, c.File.end(), file.Bytes().begin() + 8)) << c.Name;
    }
}

TEST(RiffInfo, UnfinishedCaptureGetsItsDataSizeBeforeTheList)
{
    TBytes b = Wav(100);
    PutLe32(b, 40, 0xFFFFFFFF);
    PutLe32(b, 4, 0xFFFFFFFF);
    TMemoryStream file(b);
    const std::int64_t at = WriteInfoChunk(&file, Ids, {"a", "b", "c", "d"});
    EXPECT_EQ(at, static_cast<std::int64_t>(b.size()));
    EXPECT_EQ(Le32(file.Bytes(), 40), 400u); // 100 stereo 16-bit frames
    EXPECT_EQ(Le32(file.Bytes(), 4), file.Bytes().size() - 8);
    EXPECT_TRUE(std::equal(b.begin() + 44, b.end(), file.Bytes().begin() + 44));
    TagWav(file, {"e", "f", "g", "h"});
    EXPECT_EQ(Count(file.Bytes(), "LIST"), 1);
}

TEST(RiffInfo, BrokenChunksStillFindTheListByItsHeader)
{
    // A chunk before the data claims more than the file holds, so the chunks
    // cannot be walked; the list is found from its header near the end. With
    // the second size the broken chunk ends inside the appended list, so a
    // walk then reaches the end by chance through the list's bytes.
    // The third file ends in a stray "data" header with three bytes of its
    // size: after the pad byte the appended list reads as that chunk's audio.
    std::vector<TBytes> files;
    for (const std::uint32_t claimed : {0xFFFFu, 452u}) {
        TBytes b = Wav(100);
        TBytes junk = Text("junk\0\0\0\0"s);
        PutLe32(junk, 4, claimed);
        b.insert(b.begin() + 12, junk.begin(), junk.end());
        files.push_back(b);
    }
    files.push_back(Wav(100));
    files.back().resize(36);
    for (const char c : "dataRIR"s)
        files.back().push_back(static_cast<std::uint8_t>(c));
    for (const TBytes& b : files) {
        const std::size_t claimed = b.size();
        TMemoryStream file(b);
        const std::int64_t first = TagWav(file, {"a", "b", "c", "d"});
        EXPECT_EQ(first, static_cast<std::int64_t>(b.size() + 1) / 2 * 2); // appended, on an even offset
        for (const auto& values : {std::vector<std::string>{"Longer", "values", "this", "time"},
                                   std::vector<std::string>{"x", "", "", "INFO"}}) {
            EXPECT_EQ(TagWav(file, values), first) << claimed;
            EXPECT_EQ(Count(file.Bytes(), "LIST"), 1) << claimed;
            EXPECT_EQ(ReadInfoChunk(&file), Items(values)) << claimed;
        }
    }
}

TEST(RiffInfo, TextIsUtf8AndLongValuesAreCutAtACharacter)
{
    std::string accents;
    for (int i = 0; i < 300; ++i)
        accents += "\xC3\xA9";
    TMemoryStream file(Wav(10));
    TagWav(file, {"Caf\xC3\xA9 No\xC3\xABl \xCE\xA9", accents, "", ""});
    const auto items = ReadInfoChunk(&file);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].second, "Caf\xC3\xA9 No\xC3\xABl \xCE\xA9");
    EXPECT_EQ(items[1].second, accents.substr(0, 254)); // 255 would split a character
}

TEST(RiffInfo, NonRiffFilesAreRefusedUntouched)
{
    const TBytes bytes = Text("ID3\x03\0\0\0\0\0\0 and some MP3 frames that are not RIFF at all"s);
    TMemoryStream file(bytes);
    EXPECT_THROW(WriteInfoChunk(&file, Ids, {"a", "b", "c", "d"}), EACSException);
    EXPECT_EQ(file.Bytes(), bytes);
    EXPECT_THROW(WriteInfoChunk(&file, Ids, {"a"}), std::invalid_argument);
}

// ---------------------------------------------------------------- files

TEST(TagTrackFile, WavFilesGetAnInfoListWhateverTheLetterCase)
{
    TTempDir dir;
    const TBytes wav = Wav(2000);
    WriteWholeFile(dir.File("t.WaV"), wav);
    TagTrackFile(dir.File("t.WaV"), "Caf\xC3\xA9", "Artist", "Album", "Rock", Shipped());
    TagTrackFile(dir.File("t.WaV"), "Caf\xC3\xA9", "Artist", "Album", "Rock", Shipped());
    const TBytes file = ReadWholeFile(dir.File("t.WaV"));
    EXPECT_TRUE(std::equal(wav.begin() + 8, wav.end(), file.begin() + 8));
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    EXPECT_EQ(Le32(file, 40), Le32(wav, 40)); // the data size is the audio's
    EXPECT_EQ(Count(file, "LIST"), 1);
    EXPECT_EQ(Count(file, "TAG"), 0);
    TMemoryStream stream(file);
    EXPECT_EQ(ReadInfoChunk(&stream), Items({"Caf\xC3\xA9", "Artist", "Album", "Rock"}));
}

// A track number is the ID3v1.1 track byte, and an IPRT item after the four.
TEST(TagTrackFile, TrackNumbers)
{
    TTempDir dir;
    WriteWholeFile(dir.File("n.mp3"), TBytes(300, 1));
    TagTrackFile(dir.File("n.mp3"), "t", "a", "b", "Rock", Shipped(), 7);
    const TBytes mp3 = ReadWholeFile(dir.File("n.mp3"));
    ASSERT_EQ(mp3.size(), 428u);
    EXPECT_EQ(mp3[300 + 125], 0);
    EXPECT_EQ(mp3[300 + 126], 7);
    WriteWholeFile(dir.File("n.wav"), Wav(100));
    TagTrackFile(dir.File("n.wav"), "t", "a", "b", "Rock", Shipped(), 12);
    TMemoryStream wav(ReadWholeFile(dir.File("n.wav")));
    auto want = Items({"t", "a", "b", "Rock"});
    want.emplace_back("IPRT", "12");
    EXPECT_EQ(ReadInfoChunk(&wav), want);
}

// Where an ID3v1 tag would break the file or go unread, nothing is written:
// FLAC and Ogg (by name or by their first bytes), and MP3 or APE files that
// carry a tag players read first.
TEST(TagTrackFile, FilesTheTagWouldBreakOrHideAreRefusedUntouched)
{
    TTempDir dir;
    TBytes apeTagged(400, 7);
    const char footer[] = "APETAGEX";
    std::copy(footer, footer + 8, apeTagged.end() - 32);
    TBytes apeThenId3 = apeTagged;
    const TBytes id3v1 = [] {
        TBytes t(128, 0);
        t[0] = 'T', t[1] = 'A', t[2] = 'G';
        return t;
    }();
    apeThenId3.insert(apeThenId3.end(), id3v1.begin(), id3v1.end());
    const struct {
        const char* Name;
        TBytes Bytes;
        const char* Says;
    } cases[] = {
        {"a.flac", TBytes(300, 1), "FLAC files carry Vorbis comments"},
        {"a.ogg", TBytes(300, 1), "Ogg Vorbis files carry their comments"},
        {"flac.mp3", {'f', 'L', 'a', 'C', 0, 0, 0, 34}, "it is a FLAC file"},
        {"ogg.mp3", {'O', 'g', 'g', 'S', 0, 2}, "it is an Ogg file"},
        {"v2.mp3", {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0, 0xFF, 0xFB}, "it has an ID3v2 tag"},
        {"a.ape", apeTagged, "it has an APE tag"},
        {"b.ape", apeThenId3, "it has an APE tag"},
    };
    for (const auto& c : cases) {
        WriteWholeFile(dir.File(c.Name), c.Bytes);
        try {
            TagTrackFile(dir.File(c.Name), "t", "a", "b", "Rock", Shipped());
            ADD_FAILURE() << c.Name << " was tagged";
        } catch (const EACSException& e) {
            EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
        }
        EXPECT_EQ(ReadWholeFile(dir.File(c.Name)), c.Bytes) << c.Name;
    }
    WriteWholeFile(dir.File("plain.ape"), TBytes(400, 7));
    EXPECT_EQ(TagRefusal(dir.File("plain.ape")), "");
}

TEST(TagTrackFile, OpenFailuresRaise)
{
    TTempDir dir;
    EXPECT_THROW(TagTrackFile(dir.File("missing.mp3"), "t", "a", "b", "g", Shipped()), EACSException);
    WriteWholeFile(dir.File("busy.mp3"), TBytes(300, 1));
    {
        TFileStream holder(dir.File("busy.mp3"), TFileOpenMode::fmOpenExclusive);
        try {
            TagTrackFile(dir.File("busy.mp3"), "t", "a", "b", "g", Shipped());
            ADD_FAILURE() << "a file in use was tagged";
        } catch (const EACSException& e) {
            EXPECT_NE(std::string(e.what()).find("in use"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(ReadWholeFile(dir.File("busy.mp3")).size(), 300u);
    TagTrackFile(dir.File("busy.mp3"), "t", "a", "b", "g", Shipped()); // free again
    EXPECT_EQ(ReadWholeFile(dir.File("busy.mp3")).size(), 428u);
}
