#include "cd/TAlbumCache.h"

#include "cd/TCddbParser.h"
#include "pipeline/EACSException.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrune {

namespace {

// Categories become folder names: only plain lower-case words.
std::string CleanCategory(const std::string& Category)
{
    std::string clean;
    for (const char c : Category)
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            clean += c;
        else if (c >= 'A' && c <= 'Z')
            clean += static_cast<char>(c - 'A' + 'a');
    return clean.empty() ? std::string("misc") : clean.substr(0, 32);
}

} // namespace

std::filesystem::path TAlbumCache::DefaultFolder()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/')
        return std::filesystem::path(data) / "kestrune" / "cddb";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : ".") / ".local" / "share" / "kestrune" / "cddb";
}

std::vector<TAlbumInfo> TAlbumCache::Find(const TDiscToc& Toc) const
{
    std::vector<TAlbumInfo> found;
    const std::string id = Toc.CddbIdText();
    std::error_code error;
    for (std::filesystem::directory_iterator it(FFolder, error), end; !error && it != end; it.increment(error)) {
        const std::filesystem::path file = it->path() / id;
        std::ifstream in(file, std::ios::binary);
        if (!in)
            continue;
        std::ostringstream text;
        text << in.rdbuf();
        std::string problem;
        TAlbumInfo album = TCddbParser::ParseRecord(text.str(), &problem);
        if (!problem.empty() || album.TrackTitles.size() != Toc.Tracks.size())
            continue;
        album.Source = "cache";
        album.Category = it->path().filename().string();
        album.DiscId = id;
        if (album.Genre.empty())
            album.Genre = album.Category;
        found.push_back(std::move(album));
    }
    return found;
}

void TAlbumCache::Save(const TDiscToc& Toc, TAlbumInfo Album) const
{
    Album.DiscId = Toc.CddbIdText();
    Album.TrackTitles.resize(Toc.Tracks.size());
    const std::filesystem::path folder = FFolder / CleanCategory(Album.Category);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw EACSException("The album store " + folder.string() + " cannot be created.");
    const std::filesystem::path target = folder / Album.DiscId;
    const std::filesystem::path temporary = folder / ("." + Album.DiscId + ".new");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        std::vector<int> offsets;
        for (const std::int32_t offset : Toc.FrameOffsets())
            offsets.push_back(offset);
        out << TCddbParser::FormatRecord(Album, offsets, Toc.DiscSeconds());
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temporary, error);
            throw EACSException("The album information could not be saved in " + folder.string() + ".");
        }
    }
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw EACSException("The album information could not be saved in " + folder.string() + ".");
    }
}

} // namespace kestrune
