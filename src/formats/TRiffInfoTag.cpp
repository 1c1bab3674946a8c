#include "formats/TRiffInfoTag.h"

#include "formats/TRiffChunkWalk.h"
#include "pipeline/ByteOrder.h"
#include "pipeline/EACSException.h"
#include "pipeline/TStream.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace kestrune {

namespace {

void WriteLe32At(TStream& File, std::int64_t Offset, std::uint32_t Value)
{
    std::uint8_t bytes[4];
    PutLe32(bytes, Value);
    File.Seek(Offset, TSeekOrigin::soBeginning);
    File.Write(bytes, 4);
}

bool ReadAt(TStream& File, std::int64_t Offset, void* Buffer, std::int64_t Count)
{
    File.Seek(Offset, TSeekOrigin::soBeginning);
    return File.ReadExact(Buffer, Count);
}

bool IsInfo(const std::uint8_t* P)
{
    return std::memcmp(P, "INFO", 4) == 0;
}

// Beyond this many chunks a file is treated as one whose chunks cannot be
// walked; no WAV file has that many.
constexpr int MaxChunks = 100000;

// How the file's top-level chunks lie, walked from the RIFF header to the end.
struct TLayout {
    bool Riff = false;     // "RIFF" at offset 0
    bool Complete = false; // the chunks tile the file up to its end
    std::int64_t LastChunk = -1;
    bool LastIsInfoList = false;
    // A data chunk whose size runs past the end of the file.
    std::int64_t OverrunSizeField = -1;
    std::int64_t OverrunDataStart = -1;
    // The data chunks met, as [start, end) byte ranges: audio.
    std::vector<std::pair<std::int64_t, std::int64_t>> Audio;
};

TLayout WalkChunks(TStream& File, std::int64_t Length)
{
    TLayout layout;
    std::uint8_t header[12];
    if (Length < 12 || !ReadAt(File, 0, header, 12) || !TRiffChunkWalk::SameCode(header, "RIFF"))
        return layout;
    layout.Riff = true;
    std::int64_t pos = 12;
    for (int count = 0; count < MaxChunks; ++count) {
        if (pos == Length) {
            layout.Complete = true;
            return layout;
        }
        std::uint8_t chunk[12];
        const std::int64_t want = std::min<std::int64_t>(12, Length - pos);
        if (want < 8 || !ReadAt(File, pos, chunk, want))
            return layout; // a few stray bytes at the end: not a chunk
        const std::uint32_t size = GetLe32(chunk + 4);
        const std::int64_t end = pos + 8 + static_cast<std::int64_t>(size);
        if (end > Length) {
            if (TRiffChunkWalk::SameCode(chunk, "data")) {
                layout.OverrunSizeField = pos + 4;
                layout.OverrunDataStart = pos + 8;
            }
            return layout;
        }
        if (TRiffChunkWalk::SameCode(chunk, "data"))
            layout.Audio.emplace_back(pos + 8, end);
        layout.LastChunk = pos;
        layout.LastIsInfoList = std::memcmp(chunk, "LIST", 4) == 0 && size >= 4 && want == 12 && IsInfo(chunk + 8);
        pos = end;
        if ((size & 1) != 0 && pos < Length) {
            // The pad byte of an odd chunk; a writer that left it out is
            // recognised by a chunk code there, which never starts with zero.
            std::uint8_t pad = 1;
            if (ReadAt(File, pos, &pad, 1) && pad == 0)
                ++pos;
        }
    }
    return layout;
}

// True when a LIST chunk of type INFO starts at Start and runs exactly to the
// end of the file (with its pad byte when its size is odd).
bool IsTrailingList(TStream& File, std::int64_t Length, std::int64_t Start)
{
    std::uint8_t header[12];
    if (Start < 12 || Start + 12 > Length || !ReadAt(File, Start, header, 12))
        return false;
    if (std::memcmp(header, "LIST", 4) != 0 || !IsInfo(header + 8))
        return false;
    const std::uint32_t size = GetLe32(header + 4);
    const std::int64_t end = Start + 8 + static_cast<std::int64_t>(size);
    if (size < 4)
        return false;
    if (end == Length)
        return true;
    std::uint8_t pad = 1;
    return (size & 1) != 0 && end + 1 == Length && ReadAt(File, end, &pad, 1) && pad == 0;
}

// For a file whose chunks cannot be walked: the nearest "INFO" within the
// last RecoverySpan bytes that is the type of a real trailing list.
std::int64_t FindTrailingList(TStream& File, std::int64_t Length)
{
    const std::int64_t from = std::max<std::int64_t>(0, Length - RiffInfo::RecoverySpan);
    std::vector<std::uint8_t> window(static_cast<std::size_t>(Length - from));
    if (window.size() < 4 || !ReadAt(File, from, window.data(), static_cast<std::int64_t>(window.size())))
        return -1;
    for (std::int64_t i = static_cast<std::int64_t>(window.size()) - 4; i >= 0; --i)
        if (IsInfo(window.data() + i) && IsTrailingList(File, Length, from + i - 8))
            return from + i - 8;
    return -1;
}

// Where the list to replace starts, or -1 for none.
//
// A walk that reaches the end with a LIST/INFO chunk last settles it. Else a
// list found from its header near the end is taken unless it lies inside
// audio: a file whose chunks were broken before it was tagged may walk to
// its end by chance through the appended list, so neither a complete walk
// nor a broken one rules the list out, but the audio always does.
std::int64_t LocateList(TStream& File, std::int64_t Length, const TLayout& Layout)
{
    if (Layout.Complete && Layout.LastIsInfoList)
        return Layout.LastChunk;
    const std::int64_t found = FindTrailingList(File, Length);
    if (found < 0)
        return -1;
    // A list that starts exactly where a data chunk's content starts is no
    // audio: it is the appended list read through stray header bytes that
    // stood before it ("data" and part of a size at the end of a damaged file).
    for (const auto& [start, end] : Layout.Audio)
        if (found > start && found < end)
            return -1;
    if (Layout.OverrunDataStart >= 0 && found > Layout.OverrunDataStart)
        return -1; // everything after that data start is audio
    return found;
}

// At most Limit bytes of Text, not splitting a UTF-8 sequence.
std::string CutText(const std::string& Text, std::size_t Limit)
{
    if (Text.size() <= Limit)
        return Text;
    std::size_t n = Limit;
    for (int back = 0; back < 3 && n > 0 && (static_cast<unsigned char>(Text[n]) & 0xC0) == 0x80; ++back)
        --n;
    if ((static_cast<unsigned char>(Text[n]) & 0xC0) == 0x80)
        n = Limit; // not UTF-8 anyway: cut at the byte limit
    return Text.substr(0, n);
}

} // namespace

std::int64_t FindInfoChunk(TStream* File, std::int64_t Span)
{
    if (!File || Span <= 0)
        return -1;
    try {
        const std::int64_t length = File->Size();
        const std::int64_t lowest = std::max<std::int64_t>(0, length - Span + 1);
        // Read the window from the end in blocks, each overlapping the next
        // by three bytes so no match is split.
        constexpr std::int64_t Block = 65536;
        std::vector<std::uint8_t> buffer;
        std::int64_t end = length;
        while (end - lowest >= 4) {
            const std::int64_t start = std::max(lowest, end - Block);
            buffer.resize(static_cast<std::size_t>(end - start));
            if (!ReadAt(*File, start, buffer.data(), end - start))
                return -1;
            for (std::int64_t i = end - start - 4; i >= 0; --i)
                if (IsInfo(buffer.data() + i))
                    return start + i;
            end = start + 3;
        }
    } catch (const std::exception&) {
    }
    return -1;
}

std::int64_t WriteInfoChunk(TStream* File, const std::vector<std::string>& Ids, const std::vector<std::string>& Values)
{
    if (!File)
        return -1;
    if (Ids.size() != Values.size())
        throw std::invalid_argument("WriteInfoChunk: as many values as identifiers are needed");

    // The whole list is built first and written in one go.
    std::vector<std::uint8_t> list{'L', 'I', 'S', 'T', 0, 0, 0, 0, 'I', 'N', 'F', 'O'};
    for (std::size_t i = 0; i < Ids.size(); ++i) {
        std::uint8_t id[4] = {' ', ' ', ' ', ' '};
        // A four-byte field padded with blanks, no C string.
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
        std::memcpy(id, Ids[i].data(), std::min<std::size_t>(4, Ids[i].size()));
        const std::string value = CutText(Values[i], RiffInfo::MaxValueBytes);
        const auto n = static_cast<std::uint32_t>(value.size() + 1);
        std::uint8_t size[4];
        PutLe32(size, n);
        list.insert(list.end(), id, id + 4);
        list.insert(list.end(), size, size + 4);
        list.insert(list.end(), value.begin(), value.end());
        list.push_back(0);
        if ((n & 1) != 0)
            list.push_back(0);
    }
    PutLe32(list.data() + 4, static_cast<std::uint32_t>(list.size() - 8));

    const std::int64_t length = File->Size();
    const TLayout layout = WalkChunks(*File, length);
    if (!layout.Riff)
        throw EACSException("The file is not a RIFF file; no INFO list was written.");

    std::int64_t at = LocateList(*File, length, layout);
    if (at < 0) {
        at = length;
        if (layout.OverrunSizeField >= 0) {
            const std::int64_t audio = length - layout.OverrunDataStart;
            if (audio <= 0xFFFFFFFFLL)
                WriteLe32At(*File, layout.OverrunSizeField, static_cast<std::uint32_t>(audio));
        }
        if ((at & 1) != 0) {
            // Chunks start on even offsets; the odd chunk before lacked its pad byte.
            const std::uint8_t pad = 0;
            File->Seek(at, TSeekOrigin::soBeginning);
            File->Write(&pad, 1);
            ++at;
        }
    }

    File->Seek(at, TSeekOrigin::soBeginning);
    File->Write(list.data(), static_cast<std::int64_t>(list.size()));
    const std::int64_t newLength = at + static_cast<std::int64_t>(list.size());
    if (File->Size() > newLength)
        File->SetSize(newLength);
    WriteLe32At(*File, 4, static_cast<std::uint32_t>(std::min<std::int64_t>(newLength - 8, 0xFFFFFFFFLL)));
    return at;
}

std::vector<std::pair<std::string, std::string>> ReadInfoChunk(TStream* File)
{
    std::vector<std::pair<std::string, std::string>> items;
    if (!File)
        return items;
    try {
        const std::int64_t length = File->Size();
        const TLayout layout = WalkChunks(*File, length);
        if (!layout.Riff)
            return items;
        const std::int64_t start = LocateList(*File, length, layout);
        if (start < 0)
            return items;
        std::uint8_t header[12];
        if (!ReadAt(*File, start, header, 12))
            return items;
        const std::int64_t end = std::min<std::int64_t>(length, start + 8 + GetLe32(header + 4));
        std::int64_t pos = start + 12;
        while (pos + 8 <= end) {
            std::uint8_t chunk[8];
            if (!ReadAt(*File, pos, chunk, 8))
                break;
            const std::uint32_t n = GetLe32(chunk + 4);
            if (static_cast<std::int64_t>(n) > end - pos - 8)
                break; // a damaged item ends the list
            std::string value(n, '\0');
            if (n > 0 && !File->ReadExact(value.data(), n))
                break;
            value.resize(std::min(value.size(), value.find('\0')));
            items.emplace_back(std::string(reinterpret_cast<const char*>(chunk), 4), value);
            pos += 8 + static_cast<std::int64_t>(n) + (n & 1);
        }
    } catch (const std::exception&) {
    }
    return items;
}

} // namespace kestrune
