// Feeds arbitrary files to the tag readers and writers. Reading must never
// fail; writing must leave every byte before the tag region as it was, cut a
// file only at a real trailing LIST/INFO chunk, leave a file it refuses
// untouched, write a tag that reads back, and give the same bytes when the
// file is tagged a second time.

#include "FuzzCheck.h"
#include "formats/TID3v1Tag.h"
#include "formats/TRiffChunkWalk.h"
#include "formats/TRiffInfoTag.h"
#include "pipeline/EACSException.h"
#include "pipeline/TMemoryStream.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using kestrune::fuzz::Check;

namespace {

using namespace kestrune;
using TBytes = std::vector<std::uint8_t>;

std::uint32_t Le32(const TBytes& B, std::size_t At)
{
    return static_cast<std::uint32_t>(B[At]) | (static_cast<std::uint32_t>(B[At + 1]) << 8) |
           (static_cast<std::uint32_t>(B[At + 2]) << 16) | (static_cast<std::uint32_t>(B[At + 3]) << 24);
}

// A LIST chunk of type INFO starts at At and runs exactly to the end.
bool RealTrailingList(const TBytes& B, std::size_t At)
{
    if (At + 12 > B.size() || std::memcmp(B.data() + At, "LIST", 4) != 0 ||
        std::memcmp(B.data() + At + 8, "INFO", 4) != 0)
        return false;
    const std::uint32_t size = Le32(B, At + 4);
    const std::uint64_t end = At + 8 + static_cast<std::uint64_t>(size);
    return end == B.size() || ((size & 1) != 0 && end + 1 == B.size() && B[end] == 0);
}

std::string Clean(std::string Text)
{
    std::replace(Text.begin(), Text.end(), '\0', 'N');
    return Text;
}

void FuzzId3v1(const TBytes& In, const std::string& Title, const std::string& Artist)
{
    TMemoryStream file(In);
    TID3v1Tag tag = ReadID3v1Tag(&file);
    const bool found = tag.IsTag();
    Check(!found || (In.size() >= 128 && std::memcmp(In.data() + In.size() - 128, "TAG", 3) == 0));
    if (!found)
        tag = TID3v1Tag{};
    std::memcpy(tag.Bytes.data(), "TAG", 3);
    tag.SetText(TID3v1Tag::TitleOffset, Title);
    tag.SetText(TID3v1Tag::ArtistOffset, Artist);
    WriteID3v1Tag(tag, &file, found);
    const TBytes& out = file.Bytes();
    const std::size_t keep = found ? In.size() - 128 : In.size();
    Check(out.size() == keep + 128);
    Check(std::equal(In.begin(), In.begin() + static_cast<std::ptrdiff_t>(keep), out.begin()));
    Check(std::equal(tag.Bytes.begin(), tag.Bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(keep)));
    const TID3v1Tag back = ReadID3v1Tag(&file);
    Check(back.Bytes == tag.Bytes);
    Check(back.Text(TID3v1Tag::TitleOffset).size() <= 60);
}

void FuzzInfo(const TBytes& In, const std::vector<std::string>& Values)
{
    const std::vector<std::string> ids{"INAM", "IART", "IPRD", "IGNR"};
    TMemoryStream file(In);
    std::int64_t at = -1;
    try {
        at = WriteInfoChunk(&file, ids, Values);
    } catch (const EACSException&) {
        Check(file.Bytes() == In); // refused: untouched
        return;
    }
    const TBytes out = file.Bytes();
    Check(at >= 12 && static_cast<std::size_t>(at) + 12 <= out.size());
    const auto listAt = static_cast<std::size_t>(at);
    // Cut only at a real trailing list; otherwise appended (after at most a pad byte).
    if (listAt < In.size())
        Check(RealTrailingList(In, listAt));
    else
        Check(listAt <= In.size() + 1);
    // Before the list every byte is the original's, but for the RIFF size
    // and the size of a data chunk that ran past the end of the file.
    for (std::size_t i = 0; i < std::min(listAt, In.size()); ++i) {
        if (out[i] == In[i] || (i >= 4 && i < 8))
            continue;
        bool dataSize = false;
        for (std::size_t f = i >= 3 ? i - 3 : 0; f <= i && !dataSize; ++f)
            dataSize = f >= 4 && f + 4 <= In.size() && TRiffChunkWalk::SameCode(In.data() + f - 4, "data") &&
                       static_cast<std::uint64_t>(Le32(In, f)) + f + 4 > In.size();
        Check(dataSize);
    }
    // The sizes describe the new file.
    Check(Le32(out, 4) == std::min<std::uint64_t>(out.size() - 8, 0xFFFFFFFFu));
    Check(RealTrailingList(out, listAt) && Le32(out, listAt + 4) == out.size() - listAt - 8);
    // It reads back, values cut to 255 bytes.
    const auto items = ReadInfoChunk(&file);
    Check(items.size() == ids.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        Check(items[i].first == ids[i] && items[i].second == Values[i].substr(0, RiffInfo::MaxValueBytes));
    // Tagging again finds the same list: no second one, same bytes.
    TMemoryStream again(out);
    Check(WriteInfoChunk(&again, ids, Values) == at);
    Check(again.Bytes() == out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const TBytes in(Data, Data + Size);
    {
        TMemoryStream file(in);
        (void)ReadID3v1Tag(&file);
        (void)FindInfoChunk(&file, RiffInfo::SearchSpan);
        (void)ReadInfoChunk(&file);
        Check(file.Bytes() == in);
    }
    // Texts that vary with the input: its first bytes (any bytes, as a
    // damaged UTF-8 text would be), the letters the search looks for, and a
    // value long enough to be cut.
    const std::string head =
        Clean(std::string(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(Size, 40))));
    const std::string& title = head;
    const std::string artist = "INFO" + head.substr(0, std::min<std::size_t>(head.size(), 9));
    const std::string album(Size % 300, 'x');
    FuzzId3v1(in, title, artist);
    FuzzInfo(in, {title, artist, album, "Rock"});
    return 0;
}
