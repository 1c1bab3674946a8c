#include "rip/TRipTexts.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

using namespace RipTexts;

TEST(RipTexts, FileNamesLoseOnlyTheCharactersAPathCannotHold)
{
    const std::pair<const char*, const char*> Cases[] = {
        {"Intro/Outro?", "Intro-Outro-"},
        {"It's <a> |b| \\c\\ *d*", "It-s -a- -b- -c- -d-"},
        {"Time: \"live\"", "Time: \"live\""},
        {"", ""},
        {"Line\none\tJ\xC3\xB3ga \xE6\x97\xA5\xE6\x9C\xAC\x7F", "Line-one-J\xC3\xB3ga \xE6\x97\xA5\xE6\x9C\xAC-"},
    };
    for (const auto& [Name, Clean] : Cases)
        EXPECT_EQ(CleanTrackName(Name), Clean) << Name;
}

TEST(RipTexts, RowColumns)
{
    EXPECT_EQ(DurationText(1, 5, 7), "1:05.007");
    EXPECT_EQ(DurationText(74, 59, 986), "74:59.986");
    EXPECT_EQ(DefaultTrackName(1, 0), "Session2_Track1");
    EXPECT_EQ(TagText(1, 0), "100");
    EXPECT_EQ(TagText(0, 12), "12");

    const std::pair<int, const char*> Types[] = {
        {0, "AUDIO"}, {1, "DATA (Mode 1)"}, {2, "DATA (Mode 2)"}, {21, "DATA (Mode 2, Form 1)"},
        {22, "DATA (Mode 2, Form 2)"}, {-1, "Unrecognized"}, {3, ""}};
    for (const auto& [Code, Text] : Types)
        EXPECT_EQ(TrackTypeText(Code), Text) << Code;
}

TEST(RipTexts, TagsThatAreNotNumbersCountAsZero)
{
    EXPECT_EQ(ParseTag("101"), 101);
    for (const char* Bad : {"", "x", "12a", " 3", "99999999999999"})
        EXPECT_EQ(ParseTag(Bad), 0) << Bad;
}

TEST(RipTexts, DriveEntriesAndMediaNames)
{
    EXPECT_EQ(DriveEntry("/dev/sr0", "HL-DT-ST", "DVDRAM", "1.00"), "[/dev/sr0]  HL-DT-ST  DVDRAM  1.00");
    EXPECT_EQ(MediaName(0), "CD-ROM");
    EXPECT_EQ(MediaName(8), "DVD-RAM");
    EXPECT_EQ(MediaName(9), "");
    EXPECT_EQ(MediaName(-1), "");
    EXPECT_EQ(PercentText((50.0 + 100.0) / 3.0), "50.00");
    EXPECT_EQ(PercentText(37.5), "37.50");
}

} // namespace
} // namespace kestrune
