#include "common/PathNames.h"

#include <cctype>
#include <cstdint>
#include <filesystem>

namespace kestrune {

namespace {

// Windows-1252 in 0x80..0x9F; the five places it leaves empty keep their
// Latin-1 code (C1 controls).
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int HexDigit(char C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    return -1;
}

// The old escaping left only these characters as they were.
bool KeptByOldEscaping(char C)
{
    return C == ' ' || C == '-' || C == '_' || (C >= '0' && C <= '9') || (C >= 'A' && C <= 'Z') ||
           (C >= 'a' && C <= 'z');
}

constexpr std::size_t MaxNameBytes = 240;

} // namespace

bool IsValidUtf8(std::string_view Bytes)
{
    std::size_t i = 0;
    while (i < Bytes.size()) {
        const auto lead = static_cast<unsigned char>(Bytes[i]);
        int more = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
            code = lead & 0x1FU;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            code = lead & 0x0FU;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            code = lead & 0x07U;
        } else {
            return false; // a continuation byte first, an overlong lead, or past U+10FFFF
        }
        if (i + static_cast<std::size_t>(more) >= Bytes.size())
            return false;
        for (int k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(Bytes[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0U) != 0x80U)
                return false;
            code = (code << 6) | (next & 0x3FU);
        }
        if ((more == 2 && code < 0x800) || (more == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

std::string Utf8FromOutside(std::string_view Bytes)
{
    if (IsValidUtf8(Bytes))
        return std::string(Bytes);
    std::string out;
    out.reserve(Bytes.size() * 2);
    for (const char c : Bytes) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : b);
    }
    return out;
}

std::string CleanPathComponent(const std::string& Text)
{
    std::string out;
    out.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const auto c = static_cast<unsigned char>(Text[i]);
        // C1 controls are two bytes in UTF-8: 0xC2 0x80..0x9F.
        if (c == 0xC2 && i + 1 < Text.size() && static_cast<unsigned char>(Text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(Text[i + 1]) < 0xA0) {
            out += '_';
            ++i;
        } else if (c == '/' || c < 0x20 || c == 0x7F) {
            out += '_';
        } else {
            out += static_cast<char>(c);
        }
    }
    // A name holds at most 255 bytes; a long title from a lookup (85 letters
    // of Japanese are 255 bytes) keeps its start, cut between letters, with
    // room left for an extension or a " (2)".
    if (out.size() > MaxNameBytes) {
        std::size_t cut = MaxNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0U) == 0x80U)
            --cut;
        out.resize(cut);
    }
    if (out.empty() || out == "." || out == "..")
        out = "_" + out;
    return out;
}

std::string TitleFromFileName(const std::string& FileName)
{
    const std::string stem = std::filesystem::path(FileName).stem().string();
    // Only a name made wholly of what the old escaping wrote is taken as
    // escaped: "100% Pure.mp3" or "50%OFF.mp3" stay as they are.
    bool escaped = false;
    std::string decoded;
    for (std::size_t i = 0; i < stem.size(); ++i) {
        if (stem[i] == '%') {
            const int high = i + 2 < stem.size() ? HexDigit(stem[i + 1]) : -1;
            const int low = high < 0 ? -1 : HexDigit(stem[i + 2]);
            if (low < 0 || std::islower(static_cast<unsigned char>(stem[i + 1])) != 0 ||
                std::islower(static_cast<unsigned char>(stem[i + 2])) != 0)
                return stem;
            const char byte = static_cast<char>(high * 16 + low);
            if (KeptByOldEscaping(byte))
                return stem; // the old escaping never wrote these as "%XX"
            decoded += byte;
            escaped = true;
            i += 2;
        } else if (KeptByOldEscaping(stem[i])) {
            decoded += stem[i];
        } else {
            return stem;
        }
    }
    return escaped ? Utf8FromOutside(decoded) : stem;
}

void AppendUtf8(std::string& Out, std::uint32_t Code)
{
    if (Code < 0x80) {
        Out += static_cast<char>(Code);
    } else if (Code < 0x800) {
        Out += static_cast<char>(0xC0 | (Code >> 6));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
        Out += static_cast<char>(0xE0 | (Code >> 12));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Code >> 18));
        Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    }
}

} // namespace kestrune
