// The settings file of the command-line program.
#include "cli/TCliSettings.h"

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

} // namespace
} // namespace kestrune::cli
