#include "rip/TRipTexts.h"

#include "common/MediaKinds.h"

#include <charconv>
#include <cstdio>

namespace kestrune::RipTexts {

std::string DriveEntry(const std::string& Name, const std::string& Text1, const std::string& Text2,
                       const std::string& Text3)
{
    return "[" + Name + "]  " + Text1 + "  " + Text2 + "  " + Text3;
}

std::string MediaName(int MediaType)
{
    return MediaKindName(MediaType);
}

std::string TrackTypeText(int TrackType)
{
    switch (TrackType) {
    case 0: return "AUDIO";
    case 1: return "DATA (Mode 1)";
    case 2: return "DATA (Mode 2)";
    case 21: return "DATA (Mode 2, Form 1)";
    case 22: return "DATA (Mode 2, Form 2)";
    case -1: return "Unrecognized";
    default: return {};
    }
}

std::string DurationText(int Minutes, int Seconds, int Fraction)
{
    char Text[48];
    std::snprintf(Text, sizeof Text, "%d:%02d.%03d", Minutes, Seconds, Fraction);
    return Text;
}

std::string DefaultTrackName(int Session, int Track)
{
    return "Session" + std::to_string(Session + 1) + "_Track" + std::to_string(Track + 1);
}

std::string TagText(int Session, int Track)
{
    return std::to_string(Session * 100 + Track);
}

int ParseTag(const std::string& Tag)
{
    int Value = 0;
    const char* End = Tag.data() + Tag.size();
    auto [Ptr, Error] = std::from_chars(Tag.data(), End, Value);
    if (Tag.empty() || Error != std::errc() || Ptr != End)
        return 0;
    return Value;
}

std::string CleanTrackName(const std::string& Name)
{
    std::string Clean = Name;
    for (char& C : Clean)
        switch (C) {
        case '\'': case '<': case '>': case '|': case '/': case '\\': case '*': case '?':
            C = '-';
            break;
        default:
            // Control characters (a CD entry's "\n") are no part of a name;
            // letters of every script are.
            if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F)
                C = '-';
            break;
        }
    return Clean;
}

std::string PercentText(double Percent)
{
    char Text[64];
    std::snprintf(Text, sizeof Text, "%.2f", Percent);
    return Text;
}

} // namespace kestrune::RipTexts
