#pragma once

#include "cd/TAlbumInfo.h"
#include "cd/TDiscToc.h"

#include <filesystem>
#include <vector>

namespace kestrune {

// Album entries the user saved, kept as xmcd records in a folder of the
// user's own (Folder/<category>/<disc id>), the layout of a local CDDB
// database. Queries look here before asking a server.
class TAlbumCache {
public:
    explicit TAlbumCache(std::filesystem::path Folder) : FFolder(std::move(Folder)) {}

    // The saved entries for the disc: same disc id and same track count.
    // Unreadable files are passed over.
    std::vector<TAlbumInfo> Find(const TDiscToc& Toc) const;
    // Stores the entry (replacing an earlier one of the same category); the
    // file is written whole or not at all. Raises EACSException.
    void Save(const TDiscToc& Toc, TAlbumInfo Album) const;

    // $XDG_DATA_HOME/kestrune/cddb, or ~/.local/share/kestrune/cddb.
    static std::filesystem::path DefaultFolder();

private:
    std::filesystem::path FFolder;
};

} // namespace kestrune
