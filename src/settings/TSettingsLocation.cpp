#include "settings/TSettingsLocation.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kestrune {

namespace {

std::string Environment(const char* Name)
{
    const char* value = std::getenv(Name);
    return value ? value : "";
}

std::string HomeFolder()
{
    const std::string home = Environment("HOME");
    return home.empty() ? "." : home;
}

std::string ConfigFolder()
{
    std::string config = Environment("XDG_CONFIG_HOME");
    // XDG base directory rules: a relative path is ignored.
    if (config.empty() || config.front() != '/')
        config = HomeFolder() + "/.config";
    return config;
}

// The value of XDG_MUSIC_DIR in a user-dirs.dirs file: a shell assignment,
// "$HOME/..." or an absolute path in double quotes. Empty when the file has
// none usable.
std::string MusicFromUserDirs(const std::string& File)
{
    std::ifstream in(File);
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        const std::string key = "XDG_MUSIC_DIR=";
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
            continue;
        std::string value = line.substr(start + key.size());
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = HomeFolder() + value.substr(5);
        else if (value.empty() || value.front() != '/')
            continue;
        found = value; // the last assignment wins, as in the shell
    }
    return found;
}

} // namespace

std::string TSettingsLocation::ProgramFolder()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : exe.parent_path().string();
}

bool TSettingsLocation::Portable(const std::string& ProgramFolder)
{
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(ProgramFolder) / "kestrune.ini", error);
}

std::string TSettingsLocation::IniFileName(const std::string& ProgramFolder)
{
    if (Portable(ProgramFolder))
        return (std::filesystem::path(ProgramFolder) / "kestrune.ini").string();
    return (std::filesystem::path(ConfigFolder()) / "kestrune" / "kestrune.ini").string();
}

std::string TSettingsLocation::MusicFolder()
{
    std::string music = Environment("XDG_MUSIC_DIR");
    if (music.empty() || music.front() != '/')
        music = MusicFromUserDirs(ConfigFolder() + "/user-dirs.dirs");
    const auto trimmed = [](std::string Path) {
        while (Path.size() > 1 && Path.back() == '/')
            Path.pop_back();
        return Path;
    };
    music = trimmed(music);
    // A music folder set to the home folder itself means "none" to the
    // desktop; recordings then still get a folder of their own.
    if (music.empty() || std::filesystem::path(music).lexically_normal() ==
                             std::filesystem::path(trimmed(HomeFolder())).lexically_normal())
        music = trimmed(HomeFolder()) + "/Music";
    return music;
}

std::string TSettingsLocation::RecordsFolder(const std::string& ProgramFolder)
{
    if (Portable(ProgramFolder))
        return (std::filesystem::path(ProgramFolder) / "Records").string() + "/";
    return MusicFolder() + "/";
}

} // namespace kestrune
