#include "cli/TCliSettings.h"

#include "settings/TSettingsLocation.h"

namespace kestrune::cli {

std::string TCliSettings::IniFileName(const TCliArgs& Args)
{
    if (Args.Has("--config")) {
        const std::string file = Args.Value("--config");
        if (file.empty())
            throw EUsage("--config needs a file name");
        return file;
    }
    return TSettingsLocation::IniFileName(TSettingsLocation::ProgramFolder());
}

std::unique_ptr<TOptions> TCliSettings::Open(const TCliArgs& Args, IOptionsPlatform& Platform,
                                             IDispatcher* Dispatcher)
{
    const std::string folder = TSettingsLocation::RecordsFolder(TSettingsLocation::ProgramFolder());
    return std::make_unique<TOptions>(IniFileName(Args), Platform, TOptions::TDefaults{folder}, Dispatcher);
}

} // namespace kestrune::cli
