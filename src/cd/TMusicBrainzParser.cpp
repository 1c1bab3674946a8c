#include "cd/TMusicBrainzParser.h"

#include <nlohmann/json.hpp>

namespace kestrune {

namespace {

using TJson = nlohmann::json;

std::string Text(const TJson& Object, const char* Key)
{
    if (!Object.is_object())
        return {};
    const auto it = Object.find(Key);
    return it != Object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

const TJson* Array(const TJson& Object, const char* Key)
{
    if (!Object.is_object())
        return nullptr;
    const auto it = Object.find(Key);
    return it != Object.end() && it->is_array() ? &*it : nullptr;
}

// "A & B feat. C" from an artist credit.
std::string Credit(const TJson& Object)
{
    std::string text;
    if (const TJson* credits = Array(Object, "artist-credit"))
        for (const TJson& c : *credits)
            text += Text(c, "name") + Text(c, "joinphrase");
    return text;
}

// The medium that holds the disc, else the first one.
const TJson* Medium(const TJson& Release, const std::string& DiscId)
{
    const TJson* media = Array(Release, "media");
    if (media == nullptr || media->empty())
        return nullptr;
    for (const TJson& m : *media)
        if (const TJson* discs = Array(m, "discs"))
            for (const TJson& d : *discs)
                if (Text(d, "id") == DiscId)
                    return &m;
    return &media->front();
}

} // namespace

TAlbumQueryResult TMusicBrainzParser::Parse(std::string_view Body, long HttpStatus, const std::string& DiscId)
{
    TAlbumQueryResult result;
    const TJson answer = TJson::parse(Body.begin(), Body.end(), nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) {
        result.Error = "The MusicBrainz answer is not JSON (HTTP status " + std::to_string(HttpStatus) + ").";
        return result;
    }
    if (HttpStatus == 404) {
        result.Status = TAlbumQueryResult::csNoMatch;
        return result;
    }
    if (HttpStatus != 200) {
        const std::string message = Text(answer, "error");
        result.Error = "The MusicBrainz service answered with HTTP status " + std::to_string(HttpStatus) +
                       (message.empty() ? std::string(".") : ": " + message.substr(0, 200));
        return result;
    }
    const TJson* releases = Array(answer, "releases");
    if (releases == nullptr) {
        result.Error = "The MusicBrainz answer lists no releases.";
        return result;
    }
    for (const TJson& release : *releases) {
        if (result.Albums.size() >= MaxReleases)
            break;
        TAlbumInfo album;
        album.Source = "musicbrainz";
        album.DiscId = DiscId;
        album.Title = Text(release, "title");
        album.Artist = Credit(release);
        album.Year = Text(release, "date").substr(0, 4);
        if (album.Title.empty())
            continue;
        if (const TJson* medium = Medium(release, DiscId))
            if (const TJson* tracks = Array(*medium, "tracks"))
                for (const TJson& t : *tracks) {
                    if (album.TrackTitles.size() >= MaxTracks)
                        break;
                    album.TrackTitles.push_back(Text(t, "title"));
                }
        result.Albums.push_back(std::move(album));
    }
    result.Status = result.Albums.empty() ? TAlbumQueryResult::csNoMatch : TAlbumQueryResult::csFound;
    return result;
}

} // namespace kestrune
