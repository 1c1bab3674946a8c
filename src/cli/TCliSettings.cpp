#include "cli/TCliSettings.h"

#include "settings/TIniFile.h"
#include "settings/TSettingsLocation.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace kestrune::cli {

std::string TCliSettings::IniFileName(const TCliArgs& Args)
{
    if (Args.Has("--config")) {
        std::string file = Args.Value("--config");
        if (file.empty())
            throw EUsage("--config needs a file name");
        return file;
    }
    return TSettingsLocation::IniFileName(TSettingsLocation::ProgramFolder());
}

std::unique_ptr<TOptions> TCliSettings::Open(const TCliArgs& Args, IOptionsPlatform& Platform, IDispatcher* Dispatcher)
{
    const std::string folder = TSettingsLocation::RecordsFolder(TSettingsLocation::ProgramFolder());
    const std::string file = IniFileName(Args);
    const std::vector<std::string> overrides = Args.Values("--set");
    if (overrides.empty())
        return std::make_unique<TOptions>(file, Platform, TOptions::TDefaults{folder}, Dispatcher);

    // "--set Section/Key=Value" changes a setting for this run only: the
    // options load from a private copy of the file with the changes, so the
    // same reading rules apply, and the file itself stays as it is.
    TIniFile ini(file);
    for (const std::string& item : overrides) {
        const auto slash = item.find('/');
        const auto equals = item.find('=', slash == std::string::npos ? 0 : slash);
        if (slash == std::string::npos || equals == std::string::npos || slash == 0 || equals == slash + 1)
            throw EUsage("--set needs Section/Key=Value, not \"" + item + "\"");
        ini.WriteString(item.substr(0, slash), item.substr(slash + 1, equals - slash - 1), item.substr(equals + 1));
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-set-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder for --set");
    const std::filesystem::path copy = std::filesystem::path(pattern) / "kestrune.ini";
    std::unique_ptr<TOptions> options;
    try {
        std::ofstream(copy) << ini.Text();
        options = std::make_unique<TOptions>(copy.string(), Platform, TOptions::TDefaults{folder}, Dispatcher);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(pattern, ignored);
        throw;
    }
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    options->IniFileName = file;
    return options;
}

void TCliSettings::ApplyTrackOptions(const TCliArgs& Args, TOptions& Options)
{
    if (Args.Has("--folder")) {
        std::string folder = Args.Value("--folder");
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        Options.Folder = folder;
    }
    if (Args.Has("--format")) {
        const std::string format = Args.Value("--format");
        if (format != "WAV" && format != "MP3")
            throw EUsage("--format must be WAV or MP3");
        Options.Format = format;
    }
}

} // namespace kestrune::cli
