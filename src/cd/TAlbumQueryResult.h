#pragma once

#include "cd/TAlbumInfo.h"

#include <string>
#include <vector>

namespace kestrune {

// The album entries an album-information query found, or why it found none.
struct TAlbumQueryResult {
    enum TStatus { csFound, csNoMatch, csFailed };
    TStatus Status = csFailed;
    std::vector<TAlbumInfo> Albums;
    std::string Error;
};

} // namespace kestrune
