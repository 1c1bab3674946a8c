#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace kestrune {

// The ordered genre names; a name's position is its ID3v1 genre number. The
// shipped file kestrune.gen lists the standard ID3v1 names in their standard
// order, one per line. Safe to read from several threads while one loads.
class TGenreList {
public:
    static constexpr const char* DefaultName = "kestrune.gen";

    TGenreList() = default;
    TGenreList(const TGenreList&) = delete;
    TGenreList& operator=(const TGenreList&) = delete;

    // Replaces the entries with the lines of the file (lines end in CR, LF or
    // CR LF; an empty line is an empty entry; a line end after the last line
    // adds no entry). Returns false, leaving the list empty, when the file
    // cannot be read or is larger than 1 MiB.
    bool LoadFromFile(const std::string& FileName);
    void LoadFromText(const std::string& Text);
    // Loads DefaultFile(); false (and an empty list) when there is none.
    bool LoadDefault();
    void Clear();

    int Count() const;
    // The name at Index, or "" when Index is out of range.
    std::string Name(int Index) const;
    std::vector<std::string> Names() const;
    // The position of the first entry equal to Name ignoring ASCII letter
    // case, or -1.
    int IndexOf(const std::string& Name) const;

    // The genre file beside the running executable, else the one in the
    // installed data folder; "" when neither exists.
    static std::string DefaultFile();

private:
    mutable std::mutex Lock;
    std::vector<std::string> Entries;
};

// The one list the whole application shares; empty until it is loaded.
TGenreList& GenreList();

} // namespace kestrune
