#include "recording/THelpPages.h"

#include "settings/TSettingsLocation.h"

#include <filesystem>
#include <system_error>

#ifndef KESTRUNE_DATADIR
#define KESTRUNE_DATADIR "/usr/share/kestrune"
#endif

namespace kestrune {

std::string THelpPages::IndexPage()
{
    return IndexPage(TSettingsLocation::ProgramFolder(), KESTRUNE_DATADIR);
}

std::string THelpPages::IndexPage(const std::string& ProgramFolder, const std::string& DataFolder)
{
    namespace fs = std::filesystem;
    for (const std::string& folder : {ProgramFolder, DataFolder}) {
        if (folder.empty())
            continue;
        std::error_code error;
        const fs::path page = fs::path(folder) / IndexName;
        if (fs::is_regular_file(page, error)) {
            // The browser gets an absolute path whatever folder we run in.
            const fs::path absolute = fs::absolute(page, error);
            return (error ? page : absolute).lexically_normal().string();
        }
    }
    return {};
}

} // namespace kestrune
