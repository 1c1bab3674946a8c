#include "cd/TCddbParser.h"

#include "common/PathNames.h"

#include <cctype>

namespace kestrune {

namespace {

// The answer's lines without their line ends.
std::vector<std::string_view> Lines(std::string_view Body)
{
    std::vector<std::string_view> lines;
    while (!Body.empty()) {
        const std::size_t end = Body.find('\n');
        std::string_view line = Body.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        Body.remove_prefix(end == std::string_view::npos ? Body.size() : end + 1);
    }
    return lines;
}

// The three-digit code at the start of a status line, 0 when there is none.
int StatusCode(std::string_view Line)
{
    if (Line.size() < 3)
        return 0;
    int code = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if (Line[i] < '0' || Line[i] > '9')
            return 0;
        code = code * 10 + (Line[i] - '0');
    }
    if (Line.size() > 3 && Line[3] != ' ')
        return 0;
    return code < 100 ? 0 : code;
}

std::string_view StatusText(std::string_view Line)
{
    return Line.size() > 4 ? Line.substr(4) : std::string_view();
}

bool IsHexId(std::string_view Text)
{
    if (Text.size() != 8)
        return false;
    for (const char c : Text)
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0)
            return false;
    return true;
}

std::string_view NextWord(std::string_view& Text)
{
    while (!Text.empty() && Text.front() == ' ')
        Text.remove_prefix(1);
    const std::size_t end = Text.find(' ');
    const std::string_view word = Text.substr(0, end);
    Text.remove_prefix(end == std::string_view::npos ? Text.size() : end + 1);
    return word;
}

// "<category> <discid> <Artist / Title>", false when it is not one.
bool ParseMatch(std::string_view Line, TCddbParser::TMatch& Match)
{
    const std::string_view category = NextWord(Line);
    const std::string_view id = NextWord(Line);
    if (category.empty() || category.size() > 32 || !IsHexId(id))
        return false;
    for (const char c : category)
        if (std::isalnum(static_cast<unsigned char>(c)) == 0)
            return false;
    Match.Category = std::string(category);
    Match.DiscId = std::string(id);
    for (char& c : Match.DiscId)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    TCddbParser::SplitArtistTitle(std::string(Line.substr(0, TCddbParser::MaxValueBytes)), Match.Artist, Match.Title);
    Match.Artist = Utf8FromOutside(Match.Artist);
    Match.Title = Utf8FromOutside(Match.Title);
    return true;
}

std::string ServerError(int Code, std::string_view Line)
{
    return "The CDDB server answered " + std::to_string(Code) + ": " + std::string(StatusText(Line).substr(0, 200));
}

void Append(std::string& Value, std::string_view More)
{
    if (Value.size() < TCddbParser::MaxValueBytes)
        Value += TCddbParser::Unescape(More.substr(0, TCddbParser::MaxValueBytes - Value.size()));
}

} // namespace

void TCddbParser::SplitArtistTitle(const std::string& Text, std::string& Artist, std::string& Title)
{
    const std::size_t at = Text.find(" / ");
    if (at == std::string::npos) {
        Artist = Text;
        Title = Text;
        return;
    }
    Artist = Text.substr(0, at);
    Title = Text.substr(at + 3);
}

std::string TCddbParser::Unescape(std::string_view Value)
{
    std::string out;
    out.reserve(Value.size());
    for (std::size_t i = 0; i < Value.size(); ++i) {
        if (Value[i] == '\\' && i + 1 < Value.size()) {
            const char next = Value[i + 1];
            if (next == 'n' || next == 't' || next == '\\') {
                out += next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
                ++i;
                continue;
            }
        }
        out += Value[i];
    }
    return out;
}

std::string TCddbParser::Escape(std::string_view Value)
{
    std::string out;
    for (const char c : Value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c != '\r')
            out += c;
    }
    return out;
}

TCddbParser::TQueryAnswer TCddbParser::ParseQuery(std::string_view Body)
{
    TQueryAnswer answer;
    const std::vector<std::string_view> lines = Lines(Body);
    if (lines.empty() || (answer.Code = StatusCode(lines.front())) == 0) {
        answer.Error = "The CDDB server's answer is not a CDDB status line.";
        return answer;
    }
    const int code = answer.Code;
    if (code == 202)
        return answer;
    if (code == 200) {
        TMatch match;
        if (!ParseMatch(StatusText(lines.front()), match))
            answer.Error = "The CDDB server's match line is malformed.";
        else
            answer.Matches.push_back(match);
        return answer;
    }
    if (code == 210 || code == 211) {
        bool ended = false;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (lines[i] == ".") {
                ended = true;
                break;
            }
            TMatch match;
            if (answer.Matches.size() < MaxMatches && ParseMatch(lines[i], match))
                answer.Matches.push_back(match);
        }
        if (!ended)
            answer.Error = "The CDDB server's list of matches was cut off.";
        else if (answer.Matches.empty())
            answer.Error = "The CDDB server's list of matches holds no readable entry.";
        if (!answer.Error.empty())
            answer.Matches.clear();
        return answer;
    }
    answer.Error = ServerError(code, lines.front());
    return answer;
}

TAlbumInfo TCddbParser::ParseRecord(std::string_view Text, std::string* Error)
{
    TAlbumInfo album;
    std::string title;
    bool haveTitle = false;
    std::string genre;
    for (const std::string_view line : Lines(Text)) {
        if (line == ".")
            break;
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        if (key == "DTITLE") {
            haveTitle = true;
            Append(title, value);
        } else if (key == "DYEAR") {
            Append(album.Year, value);
        } else if (key == "DGENRE") {
            Append(genre, value);
        } else if (key == "EXTD") {
            Append(album.Extended, value);
        } else if (key == "DISCID") {
            if (album.DiscId.empty()) {
                const std::string_view first = value.substr(0, value.find(','));
                if (IsHexId(first))
                    album.DiscId = std::string(first);
            }
        } else if (key.size() > 6 && key.substr(0, 6) == "TTITLE") {
            const std::string_view number = key.substr(6);
            std::size_t index = 0;
            bool valid = number.size() <= 2;
            for (const char c : number) {
                valid = valid && c >= '0' && c <= '9';
                index = index * 10 + static_cast<std::size_t>(c - '0');
            }
            if (!valid || index >= MaxTracks)
                continue;
            if (album.TrackTitles.size() <= index)
                album.TrackTitles.resize(index + 1);
            Append(album.TrackTitles[index], value);
        }
    }
    if (!haveTitle) {
        if (Error != nullptr)
            *Error = "The album entry has no DTITLE line.";
        return TAlbumInfo{};
    }
    // Servers and records give each text in UTF-8 or Latin-1, unmarked; old
    // records mix them, so each text is read on its own.
    SplitArtistTitle(title, album.Artist, album.Title);
    album.Artist = Utf8FromOutside(album.Artist);
    album.Title = Utf8FromOutside(album.Title);
    album.Genre = Utf8FromOutside(genre);
    album.Year = Utf8FromOutside(album.Year);
    album.Extended = Utf8FromOutside(album.Extended);
    for (std::string& t : album.TrackTitles)
        t = Utf8FromOutside(t);
    if (Error != nullptr)
        Error->clear();
    return album;
}

TCddbParser::TReadAnswer TCddbParser::ParseRead(std::string_view Body)
{
    TReadAnswer answer;
    const std::vector<std::string_view> lines = Lines(Body);
    if (lines.empty() || (answer.Code = StatusCode(lines.front())) == 0) {
        answer.Error = "The CDDB server's answer is not a CDDB status line.";
        return answer;
    }
    if (answer.Code != 210) {
        answer.Error = ServerError(answer.Code, lines.front());
        return answer;
    }
    TMatch match;
    const bool headed = ParseMatch(StatusText(lines.front()), match);
    bool ended = false;
    for (std::size_t i = 1; i < lines.size() && !ended; ++i)
        ended = lines[i] == ".";
    if (!ended) {
        // A record without its end is not taken for a whole one.
        answer.Error = "The CDDB server's album entry was cut off.";
        return answer;
    }
    const std::size_t start = Body.find('\n');
    std::string error;
    answer.Album = ParseRecord(start == std::string_view::npos ? std::string_view() : Body.substr(start + 1), &error);
    if (!error.empty()) {
        answer.Error = error;
        answer.Album = TAlbumInfo{};
        return answer;
    }
    if (headed) {
        answer.Album.Category = match.Category;
        if (answer.Album.DiscId.empty())
            answer.Album.DiscId = match.DiscId;
    }
    return answer;
}

std::string TCddbParser::FormatRecord(const TAlbumInfo& Album, const std::vector<int>& FrameOffsets, int DiscSeconds)
{
    std::string record = "# xmcd\n#\n# Track frame offsets:\n";
    for (const int offset : FrameOffsets)
        record += "#\t" + std::to_string(offset) + "\n";
    record += "#\n# Disc length: " + std::to_string(DiscSeconds) + " seconds\n#\n# Revision: 0\n";
    record += "# Submitted via: Kestrune\n#\n";
    record += "DISCID=" + Album.DiscId + "\n";
    const std::string title = Album.Artist == Album.Title ? Album.Title : Album.Artist + " / " + Album.Title;
    record += "DTITLE=" + Escape(title) + "\n";
    record += "DYEAR=" + Escape(Album.Year) + "\n";
    record += "DGENRE=" + Escape(Album.Genre) + "\n";
    const std::size_t tracks = std::max(Album.TrackTitles.size(), FrameOffsets.size());
    for (std::size_t i = 0; i < tracks; ++i)
        record += "TTITLE" + std::to_string(i) + "=" +
                  (i < Album.TrackTitles.size() ? Escape(Album.TrackTitles[i]) : std::string()) + "\n";
    record += "EXTD=" + Escape(Album.Extended) + "\n";
    for (std::size_t i = 0; i < tracks; ++i)
        record += "EXTT" + std::to_string(i) + "=\n";
    record += "PLAYORDER=\n.\n";
    return record;
}

} // namespace kestrune
