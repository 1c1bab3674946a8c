#include "settings/TSettingsLocation.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

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

} // namespace

std::string TSettingsLocation::ProgramFolder()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : exe.parent_path().string();
}

bool TSettingsLocation::UseProgramFolder(const std::string& ProgramFolder)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(ProgramFolder) / "kestrune.ini", error) ||
           ::access(ProgramFolder.c_str(), W_OK) == 0;
}

std::string TSettingsLocation::IniFileName(const std::string& ProgramFolder)
{
    if (UseProgramFolder(ProgramFolder))
        return (std::filesystem::path(ProgramFolder) / "kestrune.ini").string();
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty())
        config = HomeFolder() + "/.config";
    return (std::filesystem::path(config) / "kestrune" / "kestrune.ini").string();
}

std::string TSettingsLocation::RecordsFolder(const std::string& ProgramFolder)
{
    if (UseProgramFolder(ProgramFolder))
        return (std::filesystem::path(ProgramFolder) / "Records").string() + "/";
    std::string music = Environment("XDG_MUSIC_DIR");
    if (music.empty())
        music = HomeFolder() + "/Music";
    return music + "/";
}

} // namespace kestrune
