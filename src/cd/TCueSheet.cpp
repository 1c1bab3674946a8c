#include "cd/TCueSheet.h"

#include "cd/TDiscToc.h"
#include "pipeline/EACSException.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace kestrune {

namespace {

std::string_view Trim(std::string_view Text)
{
    while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.front())) != 0)
        Text.remove_prefix(1);
    while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.back())) != 0)
        Text.remove_suffix(1);
    return Text;
}

// Splits off the first word (or quoted text) of Text.
std::string NextWord(std::string_view& Text)
{
    Text = Trim(Text);
    std::string word;
    if (!Text.empty() && Text.front() == '"') {
        const std::size_t end = Text.find('"', 1);
        word = std::string(Text.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1));
        Text.remove_prefix(end == std::string_view::npos ? Text.size() : end + 1);
        return word;
    }
    std::size_t end = 0;
    while (end < Text.size() && std::isspace(static_cast<unsigned char>(Text[end])) == 0)
        ++end;
    word = std::string(Text.substr(0, end));
    Text.remove_prefix(end);
    return word;
}

std::string Upper(std::string Text)
{
    for (char& c : Text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return Text;
}

int SmallNumber(std::string_view Text)
{
    if (Text.empty() || Text.size() > 3)
        return -1;
    int value = 0;
    for (const char c : Text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::int64_t TCueSheet::ParseTime(std::string_view Text)
{
    const std::size_t first = Text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : Text.find(':', first + 1);
    if (second == std::string_view::npos)
        return -1;
    const int minutes = SmallNumber(Text.substr(0, first));
    const int seconds = SmallNumber(Text.substr(first + 1, second - first - 1));
    const int frames = SmallNumber(Text.substr(second + 1));
    if (minutes < 0 || seconds < 0 || seconds > 59 || frames < 0 || frames >= TDiscToc::SectorsPerSecond)
        return -1;
    return (std::int64_t{minutes} * 60 + seconds) * TDiscToc::SectorsPerSecond + frames;
}

TCueSheet TCueSheet::Parse(std::string_view Text)
{
    TCueSheet sheet;
    while (!Text.empty()) {
        const std::size_t end = Text.find('\n');
        std::string_view line = Text.substr(0, end);
        Text.remove_prefix(end == std::string_view::npos ? Text.size() : end + 1);
        const std::string keyword = Upper(NextWord(line));
        if (keyword == "FILE") {
            sheet.Files.push_back(NextWord(line));
        } else if (keyword == "TRACK") {
            TTrack track;
            track.Number = SmallNumber(NextWord(line));
            track.Mode = Upper(NextWord(line));
            sheet.Tracks.push_back(track);
        } else if (keyword == "INDEX" && !sheet.Tracks.empty()) {
            const int index = SmallNumber(NextWord(line));
            if (index == 1)
                sheet.Tracks.back().Index01 = ParseTime(NextWord(line));
        }
    }
    return sheet;
}

TCueSheet TCueSheet::CheckImage(const std::filesystem::path& CuePath)
{
    std::ifstream in(CuePath, std::ios::binary);
    if (!in)
        throw EACSException("The cue sheet " + CuePath.string() + " cannot be opened.");
    std::ostringstream text;
    text << in.rdbuf();
    TCueSheet sheet = Parse(text.str());

    const std::string cue = CuePath.filename().string();
    if (sheet.Files.empty())
        throw EACSException("The cue sheet " + cue + " names no data file (FILE line).");
    if (sheet.Files.size() > 1)
        throw EACSException("The cue sheet " + cue + " names " + std::to_string(sheet.Files.size()) +
                            " data files; only images with all tracks in one .bin file can be read.");
    std::filesystem::path bin = CuePath;
    bin.replace_extension(".bin");
    if (std::filesystem::path(sheet.Files.front()).filename() != bin.filename())
        throw EACSException("The cue sheet " + cue + " names the data file \"" + sheet.Files.front() +
                            "\"; images are read only when it is " + bin.filename().string() + " beside it.");
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(bin, error);
    if (error)
        throw EACSException("The data file " + bin.string() + " of the cue sheet " + cue + " cannot be read.");
    if (sheet.Tracks.empty())
        throw EACSException("The cue sheet " + cue + " lists no tracks.");
    const auto sectors = static_cast<std::int64_t>(bytes / TDiscToc::SectorBytes);
    std::int64_t previous = -1;
    for (const TTrack& t : sheet.Tracks) {
        if (t.Number < 1 || t.Number > 99 || t.Index01 < 0)
            throw EACSException("The cue sheet " + cue + " has a track without a valid number or INDEX 01.");
        if (t.Index01 <= previous)
            throw EACSException("The cue sheet " + cue + " has track " + std::to_string(t.Number) +
                                " starting before the track in front of it.");
        previous = t.Index01;
    }
    if (sheet.Tracks.back().Index01 >= sectors)
        throw EACSException("The data file " + bin.filename().string() + " is shorter than its cue sheet: it holds " +
                            std::to_string(sectors) + " sectors, and track " +
                            std::to_string(sheet.Tracks.back().Number) + " starts at sector " +
                            std::to_string(sheet.Tracks.back().Index01) + ".");
    return sheet;
}

} // namespace kestrune
