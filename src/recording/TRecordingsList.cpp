#include "recording/TRecordingsList.h"

#include "common/PathNames.h"
#include "formats/TagTrackFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <stdio.h> // NOLINT(modernize-deprecated-headers): renameat2 and RENAME_NOREPLACE are declared here
#include <unistd.h>

namespace kestrune {

namespace fs = std::filesystem;

TRecordingsList::TRecordingsList(IRecordingsView& V) : View(V)
{
    // Until the first change the line shows its start-up text, not the
    // formatted zeros.
    View.SetTotals(TotalsText());
}

void TRecordingsList::UpdateRow(int Index, const TRecordingRow& Row)
{
    if (Index < 0 || Index >= Count())
        return;
    Rows[static_cast<size_t>(Index)] = Row;
    View.RowChanged(Index);
}

int TRecordingsList::IndexOf(const TTrackData* Data) const
{
    for (size_t i = 0; i < Rows.size(); ++i)
        if (Rows[i].Data.get() == Data)
            return static_cast<int>(i);
    return -1;
}

int TRecordingsList::Append(TRecordingRow Row)
{
    Rows.push_back(std::move(Row));
    View.RowInserted(Count() - 1);
    return Count() - 1;
}

void TRecordingsList::Remove(int Index)
{
    if (Index < 0 || Index >= Count())
        return;
    Rows.erase(Rows.begin() + Index);
    View.RowRemoved(Index);
}

bool TRecordingsList::Play(int Index, IDesktop& Desktop) const
{
    if (Index < 0 || Index >= Count() || !Rows[static_cast<size_t>(Index)].Data)
        return false;
    return Desktop.Open(Rows[static_cast<size_t>(Index)].Data->FileName);
}

bool TRecordingsList::Delete(int Index, std::int64_t BytesPerSecond,
                             const std::function<bool(const std::string& File)>& Discard)
{
    if (Index < 0 || Index >= Count() || !Rows[static_cast<size_t>(Index)].Data)
        return false;
    const TTrackData& data = *Rows[static_cast<size_t>(Index)].Data;
    std::error_code error;
    if (fs::exists(data.FileName, error)) {
        const auto size = fs::file_size(data.FileName, error);
        const double kilobytes = !error ? static_cast<double>(size) / 1024.0
                                        : static_cast<double>(BytesPerSecond * data.Duration + 44) / 1024.0;
        if (Discard) {
            if (!Discard(data.FileName))
                return false;
        } else {
            fs::remove(data.FileName, error);
        }
        FTotalKilobytes -= kilobytes;
    }
    FTotalSeconds -= data.Duration;
    View.SetTotals(TotalsText());
    Remove(Index);
    if (!Rows.empty())
        View.SelectRow(std::max(0, Index - 1));
    return true;
}

void TRecordingsList::MoveUp(int Index)
{
    if (Index <= 0 || Index >= Count())
        return;
    std::swap(Rows[static_cast<size_t>(Index)], Rows[static_cast<size_t>(Index - 1)]);
    View.RowMoved(Index, Index - 1);
    View.SelectRow(Index - 1);
}

void TRecordingsList::MoveDown(int Index)
{
    if (Index < 0 || Index >= Count() - 1)
        return;
    std::swap(Rows[static_cast<size_t>(Index)], Rows[static_cast<size_t>(Index) + 1]);
    View.RowMoved(Index, Index + 1);
    View.SelectRow(Index + 1);
}

void TRecordingsList::EditInfo(int Index, ITrackInfoDialog& Dialog)
{
    if (Index < 0 || Index >= Count() || !Rows[static_cast<size_t>(Index)].Data)
        return;
    TRecordingRow& row = Rows[static_cast<size_t>(Index)];
    ITrackInfoDialog::TFields fields{row.Caption, row.Artist, row.Album, row.Genre};
    // Only a caption that is still the file's own title ("Track3.WAV") loses
    // its extension; a song title such as "Mr. Blue Sky" stays whole.
    if (fs::path(row.Data->FileName).filename().string() == row.Caption)
        fields.Title = TitleFromFileName(row.Caption);
    if (!Dialog.Edit(fields))
        return;
    row.Caption = fields.Title;
    row.Artist = fields.Artist;
    row.Album = fields.Album;
    row.Genre = fields.Genre;
    View.RowChanged(Index);
    TagAndRename(Index);
}

void TRecordingsList::TagAndRename(int Index)
{
    if (Index < 0 || Index >= Count() || !Rows[static_cast<size_t>(Index)].Data)
        return;
    const TRecordingRow& row = Rows[static_cast<size_t>(Index)];
    TTrackData& data = *row.Data;
    TagTrackFile(data.FileName, row.Caption, row.Artist, row.Album, row.Genre);

    std::error_code error;
    if (!fs::exists(data.FileName, error))
        return;
    const fs::path current(data.FileName);
    std::string extension = current.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    const fs::path renamed = current.parent_path() / (CleanPathComponent(row.Artist + " - " + row.Caption) + extension);
    if (renamed == current)
        return;
    if (RenameNoReplace(current.string(), renamed.string()))
        data.FileName = renamed.string();
}

bool TRecordingsList::RenameNoReplace(const std::string& From, const std::string& To)
{
    if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace flag: a hard link fails when the
    // name is taken, so it never overwrites either.
    if (::link(From.c_str(), To.c_str()) != 0)
        return false;
    ::unlink(From.c_str());
    return true;
}

void TRecordingsList::AddToTotals(int Seconds, double Kilobytes)
{
    FTotalSeconds += Seconds;
    FTotalKilobytes += Kilobytes;
    View.SetTotals(TotalsText());
}

std::string TRecordingsList::TimeText(int Seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d", Seconds / 60, Seconds % 60);
    return text;
}

std::string TRecordingsList::TotalsText() const
{
    // The size in the largest binary unit that leaves a whole number in
    // front: "337 KB", "12.4 MB", "1.18 GB" (kilobytes with three decimals
    // and a "Kb" read as kilobits counted in bytes).
    const double kilobytes = std::max(0.0, FTotalKilobytes);
    char size[48];
    if (kilobytes < 1024.0)
        std::snprintf(size, sizeof size, "%.0f KB", kilobytes);
    else if (kilobytes < 1024.0 * 1024.0)
        std::snprintf(size, sizeof size, "%.1f MB", kilobytes / 1024.0);
    else
        std::snprintf(size, sizeof size, "%.2f GB", kilobytes / (1024.0 * 1024.0));
    char seconds[8];
    std::snprintf(seconds, sizeof seconds, "%02d", FTotalSeconds % 60);
    return "Total Time/Size : " + std::to_string(FTotalSeconds / 60) + ":" + seconds + "/" + size;
}

} // namespace kestrune
