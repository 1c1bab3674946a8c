#include "recognition/TAcoustIdParser.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

namespace kestrune {

using nlohmann::json;

namespace {

std::string StringAt(const json& Object, const char* Key)
{
    if (!Object.is_object())
        return {};
    const auto it = Object.find(Key);
    if (it == Object.end() || !it->is_string())
        return {};
    return it->get<std::string>();
}

const json* ArrayAt(const json& Object, const char* Key)
{
    if (!Object.is_object())
        return nullptr;
    const auto it = Object.find(Key);
    if (it == Object.end() || !it->is_array())
        return nullptr;
    return &*it;
}

// "A feat. B" when the service gives join phrases; ", " between names when
// it does not.
std::string JoinArtists(const json* Artists)
{
    std::string joined;
    if (!Artists)
        return joined;
    bool phrasePending = false;
    for (const json& artist : *Artists) {
        const std::string name = StringAt(artist, "name");
        if (name.empty())
            continue;
        if (!joined.empty() && !phrasePending)
            joined += ", ";
        joined += name;
        const std::string phrase = StringAt(artist, "joinphrase");
        joined += phrase;
        phrasePending = !phrase.empty();
    }
    // A join phrase after the last name joins nothing.
    if (phrasePending) {
        const auto last = joined.find_last_not_of(" &,;/");
        joined.erase(last == std::string::npos ? 0 : last + 1);
    }
    return joined;
}

} // namespace

bool TAcoustIdParser::IsIdentifier(std::string_view Text)
{
    if (Text.size() != 36)
        return false;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? Text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(Text[i])))
            return false;
    }
    return true;
}

TLookupResult TAcoustIdParser::Parse(std::string_view Body)
{
    TLookupResult result;
    const json answer = json::parse(Body.begin(), Body.end(), nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) {
        result.Error = "The recognition service sent an answer that is not JSON.";
        return result;
    }
    const std::string status = StringAt(answer, "status");
    if (status != "ok") {
        const auto error = answer.find("error");
        if (error != answer.end() && error->is_object()) {
            const std::string message = StringAt(*error, "message");
            const auto code = error->find("code");
            if (code != error->end() && code->is_number_integer())
                result.ErrorCode = static_cast<int>(std::clamp<std::int64_t>(code->get<std::int64_t>(), -1, 1000000));
            result.Error = "The recognition service refused the query: " +
                           (message.empty() ? std::string("no reason given") : message.substr(0, 200));
        } else {
            result.Error = "The recognition service answered without success.";
        }
        return result;
    }
    result.Ok = true;
    const json* results = ArrayAt(answer, "results");
    if (!results)
        return result;

    double bestScore = -1;
    for (const json& match : *results) {
        if (!match.is_object())
            continue;
        const std::string id = StringAt(match, "id");
        const auto scoreIt = match.find("score");
        const double score = scoreIt != match.end() && scoreIt->is_number() ? scoreIt->get<double>() : 0.0;
        if (IsIdentifier(id) && score > bestScore) {
            bestScore = score;
            result.BestId = id;
        }
        const json* recordings = ArrayAt(match, "recordings");
        if (!recordings)
            continue;
        for (const json& recording : *recordings) {
            if (result.Candidates.size() >= MaxCandidates)
                break;
            if (!recording.is_object())
                continue;
            TTrackInfo info;
            info.Title = StringAt(recording, "title");
            info.Artist = JoinArtists(ArrayAt(recording, "artists"));
            if (const json* groups = ArrayAt(recording, "releasegroups"); groups && !groups->empty()) {
                const json& group = groups->front();
                // A compressed answer leaves out a group title equal to the recording's.
                info.Album = group.is_object() && !group.contains("title") ? info.Title : StringAt(group, "title");
            }
            if (info.Title.empty() && info.Artist.empty() && info.Album.empty())
                continue;
            if (std::find(result.Candidates.begin(), result.Candidates.end(), info) != result.Candidates.end())
                continue;
            result.Candidates.push_back(std::move(info));
        }
    }
    return result;
}

} // namespace kestrune
