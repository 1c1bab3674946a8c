// Reading the title, artist, album and ISRC of a file from whatever tag its
// format carries, over small files built byte by byte here: the layouts
// taggers write, and damaged tags, which must give empty fields and never an
// error or a read past the data.

#include "formats/FlacComments.h"
#include "formats/TID3v1Tag.h"
#include "formats/TRiffInfoTag.h"
#include "formats/TTrackTags.h"
#include "pipeline/TFileStream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::string_literals;

namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes Of(const std::string& Text)
{
    return TBytes(Text.begin(), Text.end());
}

TBytes operator+(TBytes A, const TBytes& B)
{
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

TBytes Be32(std::uint32_t V)
{
    return {std::uint8_t(V >> 24), std::uint8_t(V >> 16), std::uint8_t(V >> 8), std::uint8_t(V)};
}

TBytes Le32(std::uint32_t V)
{
    return {std::uint8_t(V), std::uint8_t(V >> 8), std::uint8_t(V >> 16), std::uint8_t(V >> 24)};
}

TBytes Syncsafe(std::uint32_t V)
{
    return {std::uint8_t((V >> 21) & 0x7F), std::uint8_t((V >> 14) & 0x7F), std::uint8_t((V >> 7) & 0x7F),
            std::uint8_t(V & 0x7F)};
}

// ---- ID3v2

// A text frame body: the encoding byte, then the text.
TBytes Text(std::uint8_t Encoding, const TBytes& Bytes)
{
    return TBytes{Encoding} + Bytes;
}

TBytes Utf16(const std::u16string& Text, bool BigEndian, bool Bom)
{
    TBytes out;
    if (Bom)
        out = BigEndian ? TBytes{0xFE, 0xFF} : TBytes{0xFF, 0xFE};
    for (const char16_t u : Text) {
        const std::uint8_t hi = std::uint8_t(u >> 8), lo = std::uint8_t(u);
        out.push_back(BigEndian ? hi : lo);
        out.push_back(BigEndian ? lo : hi);
    }
    return out;
}

TBytes Frame22(const std::string& Id, const TBytes& Body)
{
    const auto n = static_cast<std::uint32_t>(Body.size());
    return Of(Id) + TBytes{std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)} + Body;
}

TBytes Frame23(const std::string& Id, const TBytes& Body, std::uint32_t Size = ~0U)
{
    return Of(Id) + Be32(Size == ~0U ? static_cast<std::uint32_t>(Body.size()) : Size) + TBytes{0, 0} + Body;
}

TBytes Frame24(const std::string& Id, const TBytes& Body, std::uint8_t Flags = 0)
{
    return Of(Id) + Syncsafe(static_cast<std::uint32_t>(Body.size())) + TBytes{0, Flags} + Body;
}

TBytes Id3v2(int Version, std::uint8_t Flags, const TBytes& Body, std::uint32_t Size = ~0U)
{
    return Of("ID3") + TBytes{std::uint8_t(Version), 0, Flags} +
           Syncsafe(Size == ~0U ? static_cast<std::uint32_t>(Body.size()) : Size) + Body;
}

// A zero after every 0xFF that a zero or a byte of 111xxxxx follows.
TBytes Unsynchronised(const TBytes& In)
{
    TBytes out;
    for (std::size_t i = 0; i < In.size(); ++i) {
        out.push_back(In[i]);
        if (In[i] == 0xFF && (i + 1 == In.size() || In[i + 1] == 0 || In[i + 1] >= 0xE0))
            out.push_back(0);
    }
    return out;
}

TBytes Id3v1(const std::string& Title, const std::string& Artist, const std::string& Album)
{
    TID3v1Tag tag;
    std::memcpy(tag.Bytes.data(), "TAG", 3);
    tag.SetText(TID3v1Tag::TitleOffset, Title);
    tag.SetText(TID3v1Tag::ArtistOffset, Artist);
    tag.SetText(TID3v1Tag::AlbumOffset, Album);
    return TBytes(tag.Bytes.begin(), tag.Bytes.end());
}

// Stands for the audio between the tags.
const TBytes Frames(600, 0x55);

// ---- APE

TBytes ApeItem(const std::string& Key, const std::string& Value, std::uint32_t Flags = 0)
{
    return Le32(static_cast<std::uint32_t>(Value.size())) + Le32(Flags) + Of(Key) + TBytes{0} + Of(Value);
}

TBytes ApeTag(const TBytes& Items, std::uint32_t Count, std::uint32_t Size = ~0U)
{
    return Items + Of("APETAGEX") + Le32(2000) +
           Le32(Size == ~0U ? static_cast<std::uint32_t>(Items.size() + 32) : Size) + Le32(Count) + Le32(0) +
           TBytes(8, 0);
}

// ---- Ogg

// One page of stream Serial with a piece of one packet: whole 255-byte
// segments, and a last shorter one when the piece Ends its packet.
TBytes OggPage(std::uint32_t Serial, bool Continued, const TBytes& Piece, bool Ends)
{
    TBytes lacing(Piece.size() / 255, 255);
    if (Ends)
        lacing.push_back(std::uint8_t(Piece.size() % 255));
    else
        EXPECT_EQ(Piece.size() % 255, 0U);
    return Of("OggS") + TBytes{0, std::uint8_t(Continued ? 1 : 0)} + TBytes(8, 0) + Le32(Serial) + Le32(0) + Le32(0) +
           TBytes{std::uint8_t(lacing.size())} + lacing + Piece;
}

TBytes VorbisIdentification()
{
    return TBytes{1} + Of("vorbis") + TBytes(23, 0) + TBytes{1};
}

TBytes VorbisCommentPacket(const std::vector<std::string>& Entries, std::uint32_t Count = ~0U)
{
    TBytes out = TBytes{3} + Of("vorbis") + Le32(4) + Of("test") +
                 Le32(Count == ~0U ? static_cast<std::uint32_t>(Entries.size()) : Count);
    for (const std::string& e : Entries)
        out = out + Le32(static_cast<std::uint32_t>(e.size())) + Of(e);
    return out + TBytes{1};
}

// ---- FLAC

// The marker and a stream information block, all the comment code needs.
TBytes FlacHead(const TBytes& MoreBlocks = {})
{
    return Of("fLaC") + TBytes{std::uint8_t(MoreBlocks.empty() ? 0x80 : 0x00), 0, 0, 34} + TBytes(34, 0) + MoreBlocks;
}

std::string Shown(const TTrackTags& T)
{
    return "title \"" + T.Title + "\", artist \"" + T.Artist + "\", album \"" + T.Album + "\", ISRC \"" + T.Isrc + "\"";
}

struct TCase {
    std::string Name;
    std::string File; // its extension
    TBytes Bytes;
    TTrackTags Expected;
};

void CheckCases(const std::vector<TCase>& Cases)
{
    TTempDir dir;
    for (const TCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = dir.File(c.Name + "." + c.File);
        WriteWholeFile(file, c.Bytes);
        EXPECT_EQ(Shown(TTrackTags::Read(file)), Shown(c.Expected));
    }
}

} // namespace

TEST(TrackTags, EachFormatsOwnTagIsRead)
{
    // A comment packet larger than a page, with the fields after the page
    // boundary and a page of another stream between the two halves.
    const TBytes comments = VorbisCommentPacket({"COVERART=" + std::string(70000, 'x'), "title=Ogg Title",
                                                 "Artist=Ogg Artist", "ALBUM=Ogg Album", "isrc=GB-XYZ-24-00004"});
    const TBytes ogg = OggPage(7, false, VorbisIdentification(), true) +
                       OggPage(7, false, TBytes(comments.begin(), comments.begin() + 255 * 255), false) +
                       OggPage(9, false, TBytes(40, 1), true) +
                       OggPage(7, true, TBytes(comments.begin() + 255 * 255, comments.end()), true) + Frames;

    // Version 2.3: UTF-16 with either byte order mark, a character outside
    // the basic plane; the artist only in the ID3v1 tag.
    const TBytes v23 = Id3v2(3, 0,
                             Frame23("TIT2", Text(1, Utf16(u"Caf\u00e9 \U0001D11E", false, true) + TBytes{0, 0})) +
                                 Frame23("TALB", Text(1, Utf16(u"Album \u00e0 deux", true, true))) +
                                 Frame23("TSRC", Text(0, Of("USABC2400001"))) + TBytes(64, 0)) +
                       Frames + Id3v1("V1 Title", "V1 Artist", "V1 Album");

    // Version 2.3, the whole tag unsynchronised, with an extended header.
    const TBytes v23Unsync =
        Id3v2(3, 0xC0,
              Unsynchronised(Be32(6) + TBytes(6, 0) + Frame23("TIT2", Text(0, Of("\xFF\xE9 and \xFF"))) +
                             Frame23("TPE1", Text(0, Of("After"))))) +
        Frames;

    // Version 2.4: syncsafe sizes (the artist frame is 601 bytes), several
    // values in a frame, UTF-16BE without a mark, an extended header, and a
    // frame unsynchronised on its own behind a data length indicator.
    const std::string longArtist(300, 'a');
    const TBytes v24 = Id3v2(4, 0x40,
                             Syncsafe(6) + TBytes{1, 0} + Frame24("TIT2", Text(3, Of("One\0Two"s))) +
                                 Frame24("TPE1", Text(2, Utf16(std::u16string(300, u'a'), true, false))) +
                                 Frame24("TALB", Syncsafe(3) + Unsynchronised(Text(0, Of("\xFF\xE0"))), 0x03) +
                                 Frame24("TSRC", Text(3, Of("FRZ032400009")))) +
                       Frames;

    const TBytes v22 =
        Id3v2(2, 0,
              Frame22("TT2", Text(0, Of("Old Title"))) + Frame22("TP1", Text(0, Of("Old Artist"))) +
                  Frame22("TAL", Text(0, Of("Old Album"))) + Frame22("TRC", Text(0, Of("USABC9900001")))) +
        Frames;

    // APE tag before an ID3v1 tag: a binary item of a text's name is passed
    // over, keys in any letter case, the first of several values.
    const TBytes ape =
        Frames +
        ApeTag(ApeItem("Title", "\x89PNG", 2) + ApeItem("TITLE", "Ape Title") + ApeItem("artist", "Ape Artist") +
                   ApeItem("Album", "First\0Second"s) + ApeItem("ISRC", "DEA012400077"),
               5) +
        Id3v1("V1 Title", "V1 Artist", "V1 Album");

    CheckCases({
        {"ogg", "ogg", ogg, {"Ogg Title", "Ogg Artist", "Ogg Album", "GB-XYZ-24-00004"}},
        {"id3v2.3", "mp3", v23, {"Caf\xC3\xA9 \xF0\x9D\x84\x9E", "V1 Artist", "Album \xC3\xA0 deux", "USABC2400001"}},
        {"id3v2.3 unsynchronised", "mp3", v23Unsync, {"\xC3\xBF\xC3\xA9 and \xC3\xBF", "After", "", ""}},
        {"id3v2.4", "mp3", v24, {"One", longArtist, "\xC3\xBF\xC3\xA0", "FRZ032400009"}},
        {"id3v2.2", "mp3", v22, {"Old Title", "Old Artist", "Old Album", "USABC9900001"}},
        {"ape", "ape", ape, {"Ape Title", "Ape Artist", "First", "DEA012400077"}},
        {"id3v1 only",
         "mp3",
         Frames + Id3v1("V1 Title  ", "V1 Artist", "V1 Album"),
         {"V1 Title", "V1 Artist", "V1 Album", ""}},
    });

    // FLAC through the comment writer the ripper uses; WAV through the INFO
    // list, whose "ISRC" item names the source and is no recording code.
    TTempDir dir;
    const std::string flac = dir.File("comments.flac");
    WriteWholeFile(flac, FlacHead() + Frames);
    WriteFlacComments(
        flac, {"title=Flac Title", "TITLE=Second", "Artist=Flac Artist", "ALBUM=Flac Album", "ISRC=USABC2400003"});
    EXPECT_EQ(Shown(TTrackTags::Read(flac)), Shown({"Flac Title", "Flac Artist", "Flac Album", "USABC2400003"}));
    const std::string wav = dir.File("info.wav");
    WriteWholeFile(wav, PcmWavImage(Noise16(100, 2, 3), 2, 44100));
    {
        TFileStream file(wav, TFileOpenMode::fmOpenReadWrite);
        WriteInfoChunk(&file, {"INAM", "IART", "IPRD", "ISRC"},
                       {"Wav Title", "Wav Artist", "Wav Album", "USABC2400001"});
    }
    EXPECT_EQ(Shown(TTrackTags::Read(wav)), Shown({"Wav Title", "Wav Artist", "Wav Album", ""}));
}

TEST(TrackTags, DamagedTagsGiveEmptyFieldsAndKeepWhatCameBefore)
{
    const TBytes title = Frame23("TIT2", Text(0, Of("Kept")));
    const TBytes comments = VorbisCommentPacket({"TITLE=Lost"});
    CheckCases({
        {"id3v2 size past the end of the file",
         "mp3",
         [&] {
             TBytes b = Id3v2(3, 0, title + Frame23("TPE1", Text(0, Of("Cut off here"))), 100000);
             b.resize(b.size() - 4);
             return b;
         }(),
         {"Kept", "", "", ""}},
        {"frame size past the end of the tag",
         "mp3",
         Id3v2(3, 0, title + Frame23("TPE1", Text(0, Of("Artist")), 5000)) + Frames,
         {"Kept", "", "", ""}},
        {"extended header past the end of the tag", "mp3", Id3v2(3, 0x40, Be32(5000) + title), {}},
        {"encoding that does not exist, lone surrogate",
         "mp3",
         Id3v2(3, 0,
               Frame23("TIT2", Text(7, Of("Seven"))) + Frame23("TPE1", Text(1, Utf16(u"A\xD800"
                                                                                     u"B",
                                                                                     false, true) +
                                                                                   TBytes{0x43}))),
         {"",
          "A\xEF\xBF\xBD"
          "B",
          "", ""}},
        {"header only", "mp3", Of("ID3\x03"), {}},
        {"empty file", "mp3", {}, {}},
        {"ape tag larger than the file", "ape", Frames + ApeTag(ApeItem("Title", "T"), 1, 100000), {}},
        {"ape value past the items",
         "ape",
         Frames + ApeTag(ApeItem("Title", "T") + Le32(900) + Le32(0) + Of("Artist") + TBytes{0} + Of("A"), 2),
         {"T", "", "", ""}},
        {"ogg page missing",
         "ogg",
         OggPage(7, false, VorbisIdentification(), true) + OggPage(7, false, TBytes(255, 1), false) +
             OggPage(7, false, comments, true),
         {}},
        {"ogg comment count past the packet",
         "ogg",
         OggPage(7, false, VorbisIdentification(), true) +
             OggPage(7, false, VorbisCommentPacket({"TITLE=Lost"}, 9999999), true),
         {}},
        {"ogg cut inside the comment page",
         "ogg",
         [&] {
             TBytes b = OggPage(7, false, VorbisIdentification(), true) + OggPage(7, false, comments, true);
             b.resize(b.size() - 5);
             return b;
         }(),
         {}},
        // The FLAC comments are damaged; the ID3v1 tag a tagger added is
        // still read.
        {"flac comments damaged",
         "flac",
         FlacHead(TBytes{0x84, 0, 0, 8} + Le32(100) + Le32(0)) + Frames + Id3v1("V1 Title", "V1 Artist", ""),
         {"V1 Title", "V1 Artist", "", ""}},
    });
    EXPECT_EQ(Shown(TTrackTags::Read("/nonexistent/file.mp3")), Shown({}));
}
