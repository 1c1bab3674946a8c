#include "formats/TGenreList.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#ifndef KESTRUNE_DATADIR
#define KESTRUNE_DATADIR "/usr/local/share/kestrune"
#endif

namespace kestrune {

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t MaxFileBytes = 1 << 20;

std::vector<std::string> SplitLines(const std::string& Text)
{
    std::vector<std::string> lines;
    std::string line;
    bool open = false; // a line has begun that no line end has closed
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n')
                ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open)
        lines.push_back(line);
    return lines;
}

bool SameIgnoringCase(const std::string& A, const std::string& B)
{
    if (A.size() != B.size())
        return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(B[i])))
            return false;
    return true;
}

} // namespace

bool TGenreList::LoadFromFile(const std::string& FileName)
{
    Clear();
    std::error_code error;
    const auto size = fs::file_size(FileName, error);
    if (error || size > MaxFileBytes)
        return false;
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    LoadFromText(text);
    return true;
}

void TGenreList::LoadFromText(const std::string& Text)
{
    auto lines = SplitLines(Text);
    const std::lock_guard guard(Lock);
    Entries = std::move(lines);
}

bool TGenreList::LoadDefault()
{
    const std::string file = DefaultFile();
    if (file.empty()) {
        Clear();
        return false;
    }
    return LoadFromFile(file);
}

void TGenreList::Clear()
{
    const std::lock_guard guard(Lock);
    Entries.clear();
}

int TGenreList::Count() const
{
    const std::lock_guard guard(Lock);
    return static_cast<int>(Entries.size());
}

std::string TGenreList::Name(int Index) const
{
    const std::lock_guard guard(Lock);
    if (Index < 0 || static_cast<std::size_t>(Index) >= Entries.size())
        return {};
    return Entries[static_cast<std::size_t>(Index)];
}

std::vector<std::string> TGenreList::Names() const
{
    const std::lock_guard guard(Lock);
    return Entries;
}

int TGenreList::IndexOf(const std::string& Name) const
{
    const std::lock_guard guard(Lock);
    for (std::size_t i = 0; i < Entries.size(); ++i)
        if (SameIgnoringCase(Entries[i], Name))
            return static_cast<int>(i);
    return -1;
}

std::string TGenreList::DefaultFile()
{
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        const fs::path beside = exe.parent_path() / DefaultName;
        if (fs::is_regular_file(beside, error))
            return beside.string();
    }
    const fs::path installed = fs::path(KESTRUNE_DATADIR) / DefaultName;
    if (fs::is_regular_file(installed, error))
        return installed.string();
    return {};
}

TGenreList& GenreList()
{
    static TGenreList list;
    return list;
}

} // namespace kestrune
