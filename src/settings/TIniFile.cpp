#include "settings/TIniFile.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace {

bool IsBlank(char C)
{
    return C == ' ' || C == '\t' || C == '\r' || C == '\v' || C == '\f';
}

std::string_view Trim(std::string_view Text)
{
    std::size_t begin = 0;
    std::size_t end = Text.size();
    while (begin < end && IsBlank(Text[begin]))
        ++begin;
    while (end > begin && IsBlank(Text[end - 1]))
        --end;
    return Text.substr(begin, end - begin);
}

bool SameText(std::string_view A, std::string_view B)
{
    if (A.size() != B.size())
        return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(B[i])))
            return false;
    return true;
}

// A value in a matching pair of double quotes is read without them; that is
// how a value keeps leading or trailing blanks.
std::string Unquote(std::string_view Value)
{
    if (Value.size() >= 2 && Value.front() == '"' && Value.back() == '"')
        return std::string(Value.substr(1, Value.size() - 2));
    return std::string(Value);
}

// Line breaks would split an entry in two; they become spaces.
std::string OneLine(std::string_view Text)
{
    std::string out(Text);
    for (char& c : out)
        if (c == '\n' || c == '\r' || c == '\0')
            c = ' ';
    return out;
}

std::string QuoteIfNeeded(const std::string& Value)
{
    const bool blanksAtEnds = !Value.empty() && (IsBlank(Value.front()) || IsBlank(Value.back()));
    const bool quoted = Value.size() >= 2 && Value.front() == '"' && Value.back() == '"';
    return blanksAtEnds || quoted ? "\"" + Value + "\"" : Value;
}

int HexDigit(char C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    return -1;
}

} // namespace

TIniFile::TIniFile(std::string FileName) : Name(std::move(FileName))
{
    std::FILE* file = std::fopen(Name.c_str(), "rb");
    if (!file)
        return;
    std::string text(kMaxFileBytes, '\0');
    const std::size_t got = std::fread(text.data(), 1, text.size(), file);
    std::fclose(file);
    text.resize(got);
    Parse(text);
}

TIniFile TIniFile::FromText(std::string_view Text)
{
    TIniFile ini;
    ini.Parse(Text.substr(0, std::min(Text.size(), kMaxFileBytes)));
    return ini;
}

void TIniFile::Parse(std::string_view Text)
{
    ByteOrderMark = Text.size() >= 3 && Text.substr(0, 3) == "\xEF\xBB\xBF";
    if (ByteOrderMark)
        Text.remove_prefix(3);
    std::size_t pos = 0;
    while (pos < Text.size()) {
        std::size_t end = Text.find('\n', pos);
        if (end == std::string_view::npos)
            end = Text.size();
        std::string_view raw = Text.substr(pos, end - pos);
        pos = end + 1;
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);

        TLine line;
        line.Text = std::string(raw);
        const std::string_view body = Trim(raw);
        if (!body.empty() && body.front() == '[') {
            const std::size_t close = body.find(']');
            if (close != std::string_view::npos) {
                line.Kind = TKind::lkSection;
                line.Section = std::string(Trim(body.substr(1, close - 1)));
            }
        } else if (!body.empty() && body.front() != ';') {
            const std::size_t equals = body.find('=');
            if (equals != std::string_view::npos && equals > 0) {
                line.Kind = TKind::lkEntry;
                line.Key = std::string(Trim(body.substr(0, equals)));
                line.Value = Unquote(Trim(body.substr(equals + 1)));
            }
        }
        Lines.push_back(std::move(line));
    }
}

std::size_t TIniFile::FindEntry(std::string_view Section, std::string_view Key) const
{
    bool inSection = false;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const TLine& line = Lines[i];
        if (line.Kind == TKind::lkSection)
            inSection = SameText(line.Section, Section);
        else if (inSection && line.Kind == TKind::lkEntry && SameText(line.Key, Key))
            return i;
    }
    return std::string::npos;
}

const std::string* TIniFile::Find(std::string_view Section, std::string_view Key) const
{
    const std::size_t at = FindEntry(Section, Key);
    return at == std::string::npos ? nullptr : &Lines[at].Value;
}

bool TIniFile::SectionExists(std::string_view Section) const
{
    for (const TLine& line : Lines)
        if (line.Kind == TKind::lkSection && SameText(line.Section, Section))
            return true;
    return false;
}

bool TIniFile::ValueExists(std::string_view Section, std::string_view Key) const
{
    return Find(Section, Key) != nullptr;
}

std::string TIniFile::ReadString(std::string_view Section, std::string_view Key, const std::string& Default) const
{
    const std::string* value = Find(Section, Key);
    return value ? *value : Default;
}

std::optional<std::int32_t> TIniFile::ParseInteger(std::string_view Text)
{
    Text = Trim(Text);
    if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
        const std::string_view digits = Text.substr(2);
        if (digits.size() > 8)
            return std::nullopt;
        std::uint32_t value = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0)
                return std::nullopt;
            value = value * 16 + static_cast<std::uint32_t>(d);
        }
        return static_cast<std::int32_t>(value);
    }
    std::size_t i = 0;
    bool negative = false;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) {
        negative = Text[i] == '-';
        ++i;
    }
    if (i == Text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int32_t TIniFile::ReadInteger(std::string_view Section, std::string_view Key, std::int32_t Default) const
{
    const std::string* value = Find(Section, Key);
    if (!value)
        return Default;
    return ParseInteger(*value).value_or(Default);
}

bool TIniFile::ReadBool(std::string_view Section, std::string_view Key, bool Default) const
{
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value)
{
    TLine entry;
    entry.Kind = TKind::lkEntry;
    entry.Key = OneLine(Trim(Key));
    entry.Value = OneLine(Value);
    entry.Text = entry.Key + "=" + QuoteIfNeeded(entry.Value);

    const std::size_t at = FindEntry(Section, Key);
    if (at != std::string::npos) {
        Lines[at] = std::move(entry);
        return;
    }
    // After the last entry of the first section of that name.
    std::size_t insertAt = std::string::npos;
    bool inSection = false;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        if (Lines[i].Kind == TKind::lkSection) {
            if (insertAt != std::string::npos)
                break;
            inSection = SameText(Lines[i].Section, Section);
            if (inSection)
                insertAt = i + 1;
        } else if (inSection && Lines[i].Kind != TKind::lkOther) {
            insertAt = i + 1;
        } else if (inSection && !Trim(Lines[i].Text).empty()) {
            insertAt = i + 1; // a comment inside the section stays above the new key
        }
    }
    if (insertAt != std::string::npos) {
        Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
        return;
    }
    TLine header;
    header.Kind = TKind::lkSection;
    header.Section = OneLine(Trim(Section));
    header.Text = "[" + header.Section + "]";
    Lines.push_back(std::move(header));
    Lines.push_back(std::move(entry));
}

void TIniFile::WriteInteger(std::string_view Section, std::string_view Key, std::int32_t Value)
{
    WriteString(Section, Key, std::to_string(Value));
}

void TIniFile::WriteBool(std::string_view Section, std::string_view Key, bool Value)
{
    WriteString(Section, Key, Value ? "1" : "0");
}

std::string TIniFile::Text() const
{
    std::string text = ByteOrderMark ? "\xEF\xBB\xBF" : "";
    for (const TLine& line : Lines) {
        text += line.Text;
        text += '\n';
    }
    return text;
}

void TIniFile::UpdateFile() const
{
    namespace fs = std::filesystem;
    if (Name.empty())
        throw std::runtime_error("no settings file name");
    const fs::path target(Name);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code error;
    fs::create_directories(folder, error);

    std::string pattern = (folder / (target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw std::runtime_error("cannot write " + Name + ": " + std::strerror(errno));
    const std::string text = Text();
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<std::size_t>(n);
    }
    const int savedErrno = errno;
    ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || std::rename(pattern.c_str(), Name.c_str()) != 0) {
        const int reason = ok ? errno : savedErrno;
        ::unlink(pattern.c_str());
        throw std::runtime_error("cannot write " + Name + ": " + std::strerror(reason));
    }
}

} // namespace kestrune
