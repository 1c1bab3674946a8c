#include "cd/TAccurateRipResponse.h"

#include <cstdio>

namespace kestrune {

namespace {

std::uint32_t Le32(std::string_view Bytes, std::size_t At)
{
    return std::uint32_t{static_cast<std::uint8_t>(Bytes[At])} |
           std::uint32_t{static_cast<std::uint8_t>(Bytes[At + 1])} << 8 |
           std::uint32_t{static_cast<std::uint8_t>(Bytes[At + 2])} << 16 |
           std::uint32_t{static_cast<std::uint8_t>(Bytes[At + 3])} << 24;
}

void PutLe32(std::string& Out, std::uint32_t Value)
{
    for (int shift = 0; shift < 32; shift += 8)
        Out += static_cast<char>((Value >> shift) & 0xFFU);
}

std::string Hex(std::uint32_t Value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", Value);
    return text;
}

} // namespace

TAccurateRipResponse::TParsed TAccurateRipResponse::Parse(std::string_view Body, const TAccurateRipDisc& Disc)
{
    TParsed parsed;
    const auto fail = [&parsed](std::string Why) {
        parsed.Chunks.clear();
        parsed.Error = "The AccurateRip answer " + std::move(Why);
        return parsed;
    };
    if (Body.empty())
        return fail("is empty.");
    std::size_t at = 0;
    while (at < Body.size()) {
        const std::string where = "chunk " + std::to_string(parsed.Chunks.size() + 1);
        if (Body.size() - at < HeaderBytes)
            return fail("is cut off in the header of " + where + ".");
        const int tracks = static_cast<std::uint8_t>(Body[at]);
        const std::uint32_t id1 = Le32(Body, at + 1);
        const std::uint32_t id2 = Le32(Body, at + 5);
        const std::uint32_t cddb = Le32(Body, at + 9);
        if (tracks != Disc.AudioTracks)
            return fail("lists " + std::to_string(tracks) + " tracks in " + where + "; the disc has " +
                        std::to_string(Disc.AudioTracks) + ".");
        if (id1 != Disc.Id1 || id2 != Disc.Id2 || cddb != Disc.CddbId)
            return fail("is for another disc: " + where + " names " + Hex(id1) + "-" + Hex(id2) + "-" + Hex(cddb) +
                        ", not " + Hex(Disc.Id1) + "-" + Hex(Disc.Id2) + "-" + Hex(Disc.CddbId) + ".");
        at += HeaderBytes;
        if ((Body.size() - at) / EntryBytes < static_cast<std::size_t>(tracks))
            return fail("is cut off in the tracks of " + where + ".");
        std::vector<TAccurateRipEntry> chunk(static_cast<std::size_t>(tracks));
        for (TAccurateRipEntry& entry : chunk) {
            entry.Confidence = static_cast<std::uint8_t>(Body[at]);
            entry.Crc = Le32(Body, at + 1);
            entry.FrameCrc = Le32(Body, at + 5);
            at += EntryBytes;
        }
        parsed.Chunks.push_back(std::move(chunk));
    }
    return parsed;
}

std::string TAccurateRipResponse::Format(const TAccurateRipDisc& Disc,
                                         const std::vector<std::vector<TAccurateRipEntry>>& Chunks)
{
    std::string out;
    for (const std::vector<TAccurateRipEntry>& chunk : Chunks) {
        out += static_cast<char>(chunk.size() & 0xFFU);
        PutLe32(out, Disc.Id1);
        PutLe32(out, Disc.Id2);
        PutLe32(out, Disc.CddbId);
        for (const TAccurateRipEntry& entry : chunk) {
            out += static_cast<char>(entry.Confidence & 0xFF);
            PutLe32(out, entry.Crc);
            PutLe32(out, entry.FrameCrc);
        }
    }
    return out;
}

} // namespace kestrune
