// Where the settings file and the recordings go, from the environment and a
// program folder.
#include "settings/TSettingsLocation.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace kestrune {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class TEnv {
public:
    TEnv(const char* Name, const std::optional<std::string>& Value) : FName(Name)
    {
        if (const char* old = std::getenv(Name))
            FOld = old;
        if (Value)
            ::setenv(Name, Value->c_str(), 1);
        else
            ::unsetenv(Name);
    }
    ~TEnv()
    {
        if (FOld)
            ::setenv(FName, FOld->c_str(), 1);
        else
            ::unsetenv(FName);
    }
    TEnv(const TEnv&) = delete;
    TEnv& operator=(const TEnv&) = delete;

private:
    const char* FName;
    std::optional<std::string> FOld;
};

class SettingsLocationTest : public ::testing::Test {
protected:
    test::TTempDir Dir;
    std::string Home = Dir.File("home");
    std::string Program = Dir.File("program"); // writable, as a build tree is
    TEnv HomeVar{"HOME", Home};
    TEnv ConfigVar{"XDG_CONFIG_HOME", Dir.File("config")};
    TEnv MusicVar{"XDG_MUSIC_DIR", std::nullopt};

    void SetUp() override
    {
        fs::create_directories(Program);
        fs::create_directories(Dir.File("config"));
    }
};

TEST_F(SettingsLocationTest, AWritableProgramFolderIsNoPortableInstall)
{
    EXPECT_EQ(TSettingsLocation::IniFileName(Program), Dir.File("config") + "/kestrune/kestrune.ini");
    EXPECT_EQ(TSettingsLocation::RecordsFolder(Program), Home + "/Music/");

    // Without XDG_CONFIG_HOME (or with a relative one) the file is under ~/.config.
    for (const std::optional<std::string>& config : {std::optional<std::string>{}, std::optional<std::string>{"rel"}}) {
        TEnv unset("XDG_CONFIG_HOME", config);
        EXPECT_EQ(TSettingsLocation::IniFileName(Program), Home + "/.config/kestrune/kestrune.ini");
    }

    // A kestrune.ini beside the executables makes it portable.
    std::ofstream(Program + "/kestrune.ini") << "";
    EXPECT_EQ(TSettingsLocation::IniFileName(Program), Program + "/kestrune.ini");
    EXPECT_EQ(TSettingsLocation::RecordsFolder(Program), Program + "/Records/");
}

TEST_F(SettingsLocationTest, TheMusicFolderAsTheDesktopNamesIt)
{
    struct TCase {
        const char* UserDirs; // the line of user-dirs.dirs; nullptr: no file
        std::optional<std::string> Environment;
        std::string Expected;
    };
    const std::vector<TCase> cases{
        {nullptr, std::nullopt, Home + "/Music"},
        {"XDG_MUSIC_DIR=\"$HOME/Musik\"", std::nullopt, Home + "/Musik"},
        {"  XDG_MUSIC_DIR=\"/srv/audio/\"", std::nullopt, "/srv/audio"},
        {"XDG_MUSIC_DIR=\"$HOME/\"", std::nullopt, Home + "/Music"}, // disabled: the home folder itself
        {"XDG_MUSIC_DIR=\"relative\"", std::nullopt, Home + "/Music"},
        {"XDG_MUSIC_DIR=\"$HOME/Musik\"", std::string("/data/music"), "/data/music"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.UserDirs ? c.UserDirs : "no file");
        fs::remove(Dir.File("config") + "/user-dirs.dirs");
        if (c.UserDirs)
            std::ofstream(Dir.File("config") + "/user-dirs.dirs")
                << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                << c.UserDirs << "\n";
        TEnv music("XDG_MUSIC_DIR", c.Environment);
        EXPECT_EQ(TSettingsLocation::MusicFolder(), c.Expected);
        EXPECT_EQ(TSettingsLocation::RecordsFolder(Program), c.Expected + "/");
    }
}

} // namespace
} // namespace kestrune
