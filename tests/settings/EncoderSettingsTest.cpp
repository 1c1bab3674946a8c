// The encoder settings as values, through the writers' own rules.
#include "settings/TEncoderSettings.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(EncoderSettings, WavTakesOnlyWhatTheWriterCanWrite)
{
    struct TCase {
        const char* Name;
        TWavSettings Asked;
        TWavSettings Kept;
    };
    using W = TWavType;
    const std::vector<TCase> cases{
        {"defaults", {}, {W::wtPCM, 512}},
        {"MS ADPCM is not written", {W::wtMSADPCM, 1024}, {W::wtPCM, 1024}},
        {"ACM is not written", {W::wtACM, 512}, {W::wtPCM, 512}},
        {"DVI ADPCM with 1024", {W::wtDVIADPCM, 1024}, {W::wtDVIADPCM, 1024}},
        {"a block stereo cannot fill", {W::wtDVIADPCM, 510}, {W::wtDVIADPCM, 512}},
        {"a block too big for the buffer", {W::wtPCM, 8192}, {W::wtPCM, 512}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TWaveOut out;
        c.Asked.ApplyTo(out);
        EXPECT_EQ(TWavSettings::ReadFrom(out), c.Kept);
    }
    EXPECT_EQ(TWavSettings::BlockSizeProblem(510), "Cannot encode ADPCM in blocks of 510 bytes.");
    EXPECT_EQ(TWavSettings::BlockSizeProblem(1024), "");
    EXPECT_EQ(TWavSettings::WavTypeTexts()[static_cast<int>(W::wtDVIADPCM)], "DVIADPCM");
}

TEST(EncoderSettings, Mp3BitRatesByIndexAndKbps)
{
    const auto& texts = TMp3Settings::BitRateTexts();
    ASSERT_EQ(texts.size(), 18u);
    EXPECT_EQ(texts.front(), "8");
    EXPECT_EQ(texts[11], "128");
    EXPECT_EQ(texts.back(), "320");
    EXPECT_EQ(TMp3Settings::FromKbps(192), TMP3BitRate::br192);
    EXPECT_EQ(TMp3Settings::FromKbps(100), std::nullopt);
    EXPECT_EQ(TMp3Settings::FromIndex(17), TMP3BitRate::br320);
    EXPECT_EQ(TMp3Settings::FromIndex(18), std::nullopt);
    EXPECT_EQ(TMp3Settings::FromIndex(-1), std::nullopt);

    TMP3Out out;
    TMp3Settings{TMP3BitRate::br192}.ApplyTo(out);
    EXPECT_EQ(TMp3Settings::ReadFrom(out).BitRate, TMP3BitRate::br192);
}

TEST(EncoderSettings, OggRatesKeepAConsistentChoice)
{
    using R = TVorbisBitRate;
    struct TCase {
        const char* Name;
        R Nominal, Maximum, Minimum; // asked
        R KeptNominal, KeptMaximum, KeptMinimum;
    };
    const std::vector<TCase> cases{
        // A whole managed set chosen at once from the automatic start.
        {"managed from auto", R::br128, R::br192, R::br64, R::br128, R::br192, R::br64},
        {"maximum below nominal is pulled up", R::br128, R::br96, R::brAutoSelect, R::br128, R::br128, R::brAutoSelect},
        {"minimum above nominal is refused", R::br96, R::brAutoSelect, R::br128, R::br96, R::brAutoSelect,
         R::brAutoSelect},
        {"auto nominal leaves no maximum", R::brAutoSelect, R::br320, R::brAutoSelect, R::brAutoSelect, R::brAutoSelect,
         R::brAutoSelect},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TVorbisOut out;
        TOggSettings asked;
        asked.DesiredNominalBitrate = c.Nominal;
        asked.DesiredMaximumBitrate = c.Maximum;
        asked.MinimumBitrate = c.Minimum;
        asked.ApplyTo(out);
        const TOggSettings kept = TOggSettings::ReadFrom(out);
        EXPECT_EQ(kept.DesiredNominalBitrate, c.KeptNominal);
        EXPECT_EQ(kept.DesiredMaximumBitrate, c.KeptMaximum);
        EXPECT_EQ(kept.MinimumBitrate, c.KeptMinimum);
    }

    TVorbisOut out;
    TOggSettings s;
    s.Compression = 0.7f;
    s.Serial = -5;
    s.Comments = TOggSettings::CommentLines("TITLE=One\r\nARTIST=Two\n\nALBUM=Three");
    s.ApplyTo(out);
    EXPECT_EQ(TOggSettings::ReadFrom(out), s);
    EXPECT_EQ(s.Comments, (std::vector<std::string>{"TITLE=One", "ARTIST=Two", "ALBUM=Three"}));

    EXPECT_EQ(TOggSettings::BitRateTexts().size(), 16u);
    EXPECT_EQ(TOggSettings::FromKbps(56), R::br56);
    EXPECT_EQ(TOggSettings::FromKbps(0), std::nullopt);
}

TEST(EncoderSettings, FlacFlagsAndTheirSideEffects)
{
    struct TCase {
        const char* Name;
        bool Best, MidSide, Loose;
        bool KeptMidSide, KeptLoose;
    };
    const std::vector<TCase> cases{
        {"best search keeps an explicit mid-side off", true, false, false, false, false},
        {"best search with mid-side", true, true, false, true, false},
        {"loose mid-side needs mid-side", false, false, true, true, true},
        {"all off", false, false, false, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFLACOut out;
        TFlacSettings s;
        s.BestModelSearch = c.Best;
        s.EnableMidSideStereo = c.MidSide;
        s.EnableLooseMidSideStereo = c.Loose;
        s.ApplyTo(out);
        const TFlacSettings kept = TFlacSettings::ReadFrom(out);
        EXPECT_EQ(kept.BestModelSearch, c.Best);
        EXPECT_EQ(kept.EnableMidSideStereo, c.KeptMidSide);
        EXPECT_EQ(kept.EnableLooseMidSideStereo, c.KeptLoose);
    }
    TFLACOut out;
    const TFlacSettings numbers{-1, 1152, 8, 2, 6, 12, false, true, true, false, true};
    numbers.ApplyTo(out);
    EXPECT_EQ(TFlacSettings::ReadFrom(out), numbers);
}

TEST(EncoderSettings, ApeLevels)
{
    for (const int level : {1000, 2000, 3000, 4000, 5000}) {
        TMACOut out;
        TApeSettings{level}.ApplyTo(out);
        EXPECT_EQ(TApeSettings::ReadFrom(out).CompressionLevel, level);
        EXPECT_TRUE(TApeSettings::ValidLevel(level));
    }
    for (const long level : {0L, 999L, 2500L, 6000L})
        EXPECT_FALSE(TApeSettings::ValidLevel(level)) << level;
    EXPECT_EQ(TApeSettings::LevelTexts().size(), 5u);
}

// A value the writer refuses leaves the one it had, not the default.
TEST(EncoderSettings, KeptSettingsLeaveARefusedValueAsItWas)
{
    using W = TWavType;
    const TWavSettings dvi{W::wtDVIADPCM, 1024};
    EXPECT_EQ(KeptSettings(dvi, TWavSettings{W::wtMSADPCM, 510}), dvi);
    EXPECT_EQ(KeptSettings(dvi, TWavSettings{W::wtACM, 2048}), (TWavSettings{W::wtDVIADPCM, 2048}));
    EXPECT_EQ(KeptSettings(TWavSettings{}, dvi), dvi);

    using R = TVorbisBitRate;
    TOggSettings managed;
    managed.DesiredNominalBitrate = R::br128;
    managed.DesiredMaximumBitrate = R::br192;
    managed.MinimumBitrate = R::br64;
    TOggSettings asked = managed;
    asked.MinimumBitrate = R::br160; // above the normal rate
    asked.Serial = 7;
    TOggSettings expected = managed;
    expected.Serial = 7;
    EXPECT_EQ(KeptSettings(managed, asked), expected);

    TFlacSettings loose;
    loose.EnableMidSideStereo = false;
    loose.EnableLooseMidSideStereo = true;
    EXPECT_TRUE(KeptSettings(TFlacSettings{}, loose).EnableMidSideStereo);

    EXPECT_EQ(KeptSettings(TMp3Settings{TMP3BitRate::br64}, TMp3Settings{TMP3BitRate::br192}).BitRate,
              TMP3BitRate::br192);
    EXPECT_EQ(KeptSettings(TApeSettings{4000}, TApeSettings{5000}).CompressionLevel, 5000);
}

} // namespace
} // namespace kestrune
