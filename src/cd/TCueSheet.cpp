#include "cd/TCueSheet.h"

#include "cd/TDiscToc.h"
#include "pipeline/EACSException.h"

#include <algorithm>
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

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// Cuts the next line off Text (without its line end: "\n", "\r\n" or an
// old Mac "\r").
std::string_view NextLine(std::string_view& Text)
{
    const std::size_t end = Text.find_first_of("\r\n");
    const std::string_view line = Text.substr(0, end);
    if (end == std::string_view::npos) {
        Text = {};
        return line;
    }
    const bool pair = Text[end] == '\r' && end + 1 < Text.size() && Text[end + 1] == '\n';
    Text.remove_prefix(end + (pair ? 2 : 1));
    return line;
}

std::string_view WithoutMark(std::string_view Text)
{
    if (Text.substr(0, ByteOrderMark.size()) == ByteOrderMark)
        Text.remove_prefix(ByteOrderMark.size());
    return Text;
}

} // namespace

TCueSheet TCueSheet::Parse(std::string_view Text)
{
    TCueSheet sheet;
    Text = WithoutMark(Text);
    while (!Text.empty()) {
        std::string_view line = NextLine(Text);
        const std::string keyword = Upper(NextWord(line));
        if (keyword == "FILE") {
            sheet.Files.push_back(NextWord(line));
            sheet.FileTypes.push_back(Upper(NextWord(line)));
        } else if (keyword == "TRACK") {
            TTrack track;
            track.Number = SmallNumber(NextWord(line));
            track.Mode = Upper(NextWord(line));
            sheet.Tracks.push_back(track);
        } else if (keyword == "INDEX" && !sheet.Tracks.empty()) {
            const int index = SmallNumber(NextWord(line));
            if (index == 0)
                sheet.Tracks.back().Index00 = ParseTime(NextWord(line));
            else if (index == 1)
                sheet.Tracks.back().Index01 = ParseTime(NextWord(line));
        } else if ((keyword == "PREGAP" || keyword == "POSTGAP") && !sheet.Tracks.empty()) {
            const std::int64_t gap = ParseTime(NextWord(line));
            (keyword == "PREGAP" ? sheet.Tracks.back().Pregap : sheet.Tracks.back().Postgap) = gap;
        }
    }
    return sheet;
}

std::string TCueSheet::LibraryText(std::string_view Text, const std::string& BinName)
{
    // The keywords the library reads; it refuses a sheet with any other.
    static const char* const Known[] = {"CATALOG",  "TITLE",   "PERFORMER", "SONGWRITER", "COMPOSER",
                                        "ARRANGER", "MESSAGE", "GENRE",     "DISC_ID",    "UPC_EAN",
                                        "ISRC",     "FLAGS",   "INDEX",     "TRACK"};
    std::string out;
    bool inTracks = false;
    Text = WithoutMark(Text);
    while (!Text.empty()) {
        std::string_view line = NextLine(Text);
        const std::string keyword = Upper(NextWord(line));
        const std::string_view rest = Trim(line);
        if (keyword == "FILE") {
            (void)NextWord(line);
            out += "FILE \"" + BinName + "\" " + (Upper(NextWord(line)) == "MOTOROLA" ? "MOTOROLA" : "BINARY") + "\n";
            continue;
        }
        if (keyword == "TRACK")
            inTracks = true;
        // CATALOG is the disc's: the library refuses it among the tracks.
        if (keyword == "CATALOG" && inTracks)
            continue;
        bool known = false;
        for (const char* k : Known)
            known = known || keyword == k;
        if (!known)
            continue;
        const bool codes = keyword == "TRACK" || keyword == "FLAGS";
        out += (inTracks ? "  " : "") + keyword + " " + (codes ? Upper(std::string(rest)) : std::string(rest)) + "\n";
    }
    return out;
}

namespace {

// Where a FILE line's data lies, looked for as the programs that write such
// lines mean it: relative to the cue sheet, "\" as well as "/" between the
// parts, in any letter case; failing that, the last part beside the cue.
std::filesystem::path FindDataFile(const std::filesystem::path& Folder, const std::string& Written)
{
    namespace fs = std::filesystem;
    std::string relative = Written;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const bool windowsRoot = relative.size() >= 2 && relative[1] == ':';
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= relative.size();) {
        const std::size_t end = std::min(relative.find('/', at), relative.size());
        if (end > at)
            parts.push_back(relative.substr(at, end - at));
        at = end + 1;
    }
    if (parts.empty())
        return {};
    const auto findIn = [](const fs::path& Dir, const std::string& Name) -> fs::path {
        std::error_code error;
        if (Name == "." || Name == "..")
            return Dir / Name;
        if (fs::exists(Dir / Name, error))
            return Dir / Name;
        fs::path match;
        for (fs::directory_iterator it(Dir, error), end; !error && it != end; it.increment(error)) {
            if (Upper(it->path().filename().string()) == Upper(Name)) {
                if (!match.empty())
                    return {}; // two names that differ only in case: neither is meant more
                match = it->path();
            }
        }
        return match;
    };
    if (!windowsRoot && relative.front() != '/') {
        fs::path at = Folder;
        for (const std::string& part : parts) {
            at = findIn(at, part);
            if (at.empty())
                break;
        }
        std::error_code error;
        if (!at.empty() && fs::is_regular_file(at, error))
            return at;
    }
    if (relative.front() == '/' && !windowsRoot) {
        std::error_code error;
        if (fs::is_regular_file(relative, error))
            return relative;
    }
    fs::path beside = findIn(Folder, parts.back());
    std::error_code error;
    return !beside.empty() && fs::is_regular_file(beside, error) ? beside : fs::path();
}

bool IsRiffWave(const std::filesystem::path& File)
{
    char head[12] = {};
    std::ifstream in(File, std::ios::binary);
    in.read(head, sizeof head);
    return in.gcount() == sizeof head && std::string_view(head, 4) == "RIFF" && std::string_view(head + 8, 4) == "WAVE";
}

} // namespace

TCueImageFile TCueSheet::CheckImage(const std::filesystem::path& CuePath)
{
    std::ifstream in(CuePath, std::ios::binary);
    if (!in)
        throw EACSException("The cue sheet " + CuePath.string() + " cannot be opened.");
    std::ostringstream text;
    text << in.rdbuf();
    TCueImageFile image;
    image.Text = text.str();
    TCueSheet& sheet = image.Sheet;
    sheet = Parse(image.Text);

    const std::string cue = CuePath.filename().string();
    if (sheet.Files.empty())
        throw EACSException("The cue sheet " + cue + " names no data file (FILE line).");
    if (sheet.Files.size() > 1)
        throw EACSException("The cue sheet " + cue + " names " + std::to_string(sheet.Files.size()) +
                            " data files; only images with all tracks in one .bin file can be read.");
    image.DataFile = FindDataFile(CuePath.parent_path().empty() ? "." : CuePath.parent_path(), sheet.Files.front());
    if (image.DataFile.empty())
        throw EACSException("The data file \"" + sheet.Files.front() + "\" of the cue sheet " + cue +
                            " cannot be found beside it.");
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(image.DataFile, error);
    if (error)
        throw EACSException("The data file " + image.DataFile.string() + " of the cue sheet " + cue +
                            " cannot be read.");
    const std::string data = image.DataFile.filename().string();
    // A WAV file's header would be read as audio and shift every track.
    if (IsRiffWave(image.DataFile))
        throw EACSException("The data file " + data + " of the cue sheet " + cue +
                            " is a WAV file; CD images are read only from raw CD audio (.bin).");
    const std::string type = sheet.FileTypes.front();
    if (type != "BINARY" && type != "MOTOROLA")
        throw EACSException("The cue sheet " + cue + " gives its data file as " + (type.empty() ? "no type" : type) +
                            "; CD images are read only from raw CD audio (BINARY).");
    if (sheet.Tracks.empty())
        throw EACSException("The cue sheet " + cue + " lists no tracks.");
    // Raw CD audio is whole sectors: a file that ends inside one was cut
    // short (or is not CD audio), and its last track would be read short.
    if (bytes % TDiscToc::SectorBytes != 0)
        throw EACSException("The data file " + data + " is shorter than its cue sheet or not raw CD audio: its " +
                            std::to_string(bytes) + " bytes are not a whole number of " +
                            std::to_string(TDiscToc::SectorBytes) + "-byte sectors.");
    const auto sectors = static_cast<std::int64_t>(bytes / TDiscToc::SectorBytes);
    image.DataSectors = sectors;
    std::int64_t previous = -1;
    for (const TTrack& t : sheet.Tracks) {
        if (t.Number < 1 || t.Number > 99 || t.Index01 < 0)
            throw EACSException("The cue sheet " + cue + " has a track without a valid number or INDEX 01.");
        if (t.Index01 <= previous || (t.Index00 >= 0 && (t.Index00 > t.Index01 || t.Index00 < previous)))
            throw EACSException("The cue sheet " + cue + " has track " + std::to_string(t.Number) +
                                " starting before the track in front of it.");
        if (t.Pregap < 0 || t.Postgap < 0)
            throw EACSException("The cue sheet " + cue + " has track " + std::to_string(t.Number) +
                                " with a PREGAP or POSTGAP that is not a time (MM:SS:FF).");
        previous = t.Index01;
    }
    if (sheet.Tracks.back().Index01 >= sectors)
        throw EACSException("The data file " + data + " is shorter than its cue sheet: it holds " +
                            std::to_string(sectors) + " sectors, and track " +
                            std::to_string(sheet.Tracks.back().Number) + " starts at sector " +
                            std::to_string(sheet.Tracks.back().Index01) + ".");
    // PREGAP is silence in front of the track's first index; POSTGAP,
    // silence after the track's data, before the next track's first index.
    for (std::size_t i = 0; i < sheet.Tracks.size(); ++i) {
        const TTrack& t = sheet.Tracks[i];
        if (t.Pregap > 0)
            image.Gaps.push_back({t.Index00 >= 0 ? t.Index00 : t.Index01, t.Pregap});
        if (t.Postgap > 0) {
            const TTrack* next = i + 1 < sheet.Tracks.size() ? &sheet.Tracks[i + 1] : nullptr;
            image.Gaps.push_back(
                {next == nullptr ? sectors : (next->Index00 >= 0 ? next->Index00 : next->Index01), t.Postgap});
        }
    }
    return image;
}

} // namespace kestrune
