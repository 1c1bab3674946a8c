// The settings file of the command-line program.
#include "cli/TCliSettings.h"
#include "cli/TConvertCommand.h"

#include "mocks/TNoDevices.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace kestrune::cli {
namespace {

TEST(CliSettings, ConfigOptionNamesTheFile)
{
    test::TTempDir dir;
    const std::string file = dir.File("my.ini");
    std::ofstream(file) << "[Silence]\nMinLength=33\n[General]\nFolder=" << dir.File("rec") << "/\n";
    const TCliArgs args({"--config", file}, {}, {"--config"});
    EXPECT_EQ(TCliSettings::IniFileName(args), file);
    test::TNoDevices platform;
    const auto options = TCliSettings::Open(args, platform);
    EXPECT_EQ(options->IniFileName, file);
    EXPECT_EQ(options->MinLength, 33);
    EXPECT_EQ(options->DriverIndex, -1);

    EXPECT_THROW(TCliSettings::IniFileName(TCliArgs({"--config="}, {}, {"--config"})), EUsage);
    // Without the option: the shared file, never anything else.
    const std::string shared = TCliSettings::IniFileName(TCliArgs({}, {}, {"--config"}));
    EXPECT_EQ(shared.substr(shared.size() - 12), "kestrune.ini");
}

TEncoderSettings EncodersFrom(const std::vector<std::string>& Words)
{
    TEncoderSettings settings;
    TCliSettings::ApplyEncoderOptions(TCliArgs(Words, TConvertCommand::Flags(), TConvertCommand::Options()), settings);
    return settings;
}

TEST(CliSettings, EncoderFlagsBecomeTheSharedSettings)
{
    EXPECT_EQ(EncodersFrom({}), TEncoderSettings{});

    const TEncoderSettings s =
        EncodersFrom({"--wav-type",        "dvi-adpcm", "--block-size",          "1024", "--bitrate",       "192",
                      "--ogg-quality",     "0.5",       "--ogg-nominal",         "128",  "--ogg-max",       "192",
                      "--ogg-comment",     "TITLE=x",   "--flac-loose-mid-side", "on",   "--flac-mid-side", "off",
                      "--flac-block-size", "1152",      "--ape-level",           "5000"});
    EXPECT_EQ(s.Wav, (TWavSettings{TWavType::wtDVIADPCM, 1024}));
    EXPECT_EQ(s.Mp3.BitRate, TMP3BitRate::br192);
    EXPECT_FLOAT_EQ(s.Ogg.Compression, 0.5f);
    EXPECT_EQ(s.Ogg.DesiredNominalBitrate, TVorbisBitRate::br128);
    EXPECT_EQ(s.Ogg.DesiredMaximumBitrate, TVorbisBitRate::br192);
    EXPECT_EQ(s.Ogg.Comments, std::vector<std::string>{"TITLE=x"});
    EXPECT_EQ(s.Flac.BlockSize, 1152);
    EXPECT_EQ(s.Ape.CompressionLevel, 5000);

    // Through the writers' rules: loose mid-side brings mid-side along.
    TFLACOut flac;
    s.Flac.ApplyTo(flac);
    EXPECT_TRUE(flac.EnableMidSideStereo());

    // Values a writer would ignore are refused, never dropped in silence.
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{{"--block-size", "510"},
                                                                                       {"--bitrate", "100"},
                                                                                       {"--ogg-max", "100"},
                                                                                       {"--ape-level", "2500"},
                                                                                       {"--wav-type", "msadpcm"},
                                                                                       {"--ogg-comment", "=x"}})
        EXPECT_THROW(EncodersFrom(words), EUsage) << words[0] << " " << words[1];
}

} // namespace
} // namespace kestrune::cli
