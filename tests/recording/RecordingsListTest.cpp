#include "recording/TRecordingsList.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;

namespace {

struct TView final : IRecordingsView {
    void RowInserted(int Index) override { Notes.push_back("+" + std::to_string(Index)); }
    void RowRemoved(int Index) override { Notes.push_back("-" + std::to_string(Index)); }
    void RowMoved(int From, int To) override { Notes.push_back(std::to_string(From) + ">" + std::to_string(To)); }
    void RowChanged(int Index) override { Notes.push_back("~" + std::to_string(Index)); }
    void SelectRow(int Index) override { Selected = Index; }
    void SetTotals(const std::string& Text) override { Totals = Text; }
    std::vector<std::string> Notes;
    int Selected = -1;
    std::string Totals;
};

struct TScriptedInfo final : ITrackInfoDialog {
    bool Edit(TFields& Fields) override
    {
        Shown = Fields;
        if (!Save)
            return false;
        Fields = Answer;
        return true;
    }
    bool Save = true;
    TFields Shown, Answer;
};

TRecordingRow RowFor(const std::string& File, int Duration = 0)
{
    TRecordingRow row;
    row.Caption = fs::path(File).filename().string();
    row.Artist = "Unknown";
    row.Album = "Album";
    row.Genre = "Rock";
    row.Data = std::make_shared<TTrackData>();
    row.Data->FileName = File;
    row.Data->Duration = Duration;
    return row;
}

} // namespace

TEST(RecordingsList, TotalsAndTimeTexts)
{
    struct TCase {
        int Seconds;
        double Kilobytes;
        std::string Text;
    };
    const TCase cases[] = {
        {0, 0, "Total Time/Size : 0:00/0 KB"},
        {20, 337.142, "Total Time/Size : 0:20/337 KB"},
        {3725, 1234.5, "Total Time/Size : 62:05/1.2 MB"},
        {59, 1234567.25, "Total Time/Size : 0:59/1.18 GB"},
    };
    for (const TCase& c : cases) {
        TView view;
        TRecordingsList list(view);
        list.AddToTotals(c.Seconds, c.Kilobytes);
        EXPECT_EQ(view.Totals, c.Text);
    }
    EXPECT_EQ(TRecordingsList::TimeText(125), "02:05");
    EXPECT_EQ(TRecordingsList::TimeText(3725), "62:05");

    // Before anything was recorded the line reads as it will later.
    TView fresh;
    const TRecordingsList list(fresh);
    EXPECT_EQ(fresh.Totals, "Total Time/Size : 0:00/0 KB");
}

// Names keep their letters in every script; what cannot be in one file
// name is replaced, and a file named the old escaped way still shows its
// title and takes the new name when it is tagged again.
TEST(RecordingsList, NamesKeepLettersAndOldEscapedNamesStillLoad)
{
    TTempDir dir;
    const auto wav = PcmWavImage(Sine16(441, 1, 44100, 440, 8000), 1, 44100);
    WriteWholeFile(dir.File("Track1.wav"), wav);
    WriteWholeFile(dir.File("Bj%C3%B6rk - J%C3%B3ga.WAV"), wav);
    TView view;
    TRecordingsList list(view);
    list.Append(RowFor(dir.File("Track1.wav")));
    TRecordingRow row = list.Row(0);
    row.Caption = "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE / \xE6\x98\x9F\xE3\x81\xAE\xE6\xB5\x81\xE3\x82\x8C";
    row.Artist = "\xD8\xB9\xD9\x85\xD8\xB1\xD9\x88 \xCE\x94\xCE\xB9\xCE\xB1\xCE\xBA";
    list.UpdateRow(0, row);
    list.TagAndRename(0);
    const std::string renamed = dir.File("\xD8\xB9\xD9\x85\xD8\xB1\xD9\x88 \xCE\x94\xCE\xB9\xCE\xB1\xCE\xBA - "
                                         "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE _ \xE6\x98\x9F\xE3\x81\xAE\xE6\xB5\x81"
                                         "\xE3\x82\x8C.WAV");
    EXPECT_EQ(list.Row(0).Data->FileName, renamed);
    EXPECT_TRUE(fs::exists(renamed));

    list.Append(RowFor(dir.File("Bj%C3%B6rk - J%C3%B3ga.WAV")));
    TScriptedInfo info;
    info.Save = false;
    list.EditInfo(1, info);
    EXPECT_EQ(info.Shown.Title, "Bj\xC3\xB6rk - J\xC3\xB3ga");
    info.Save = true;
    info.Answer = {"J\xC3\xB3ga", "Bj\xC3\xB6rk", "Homogenic", "Pop"};
    list.EditInfo(1, info);
    EXPECT_EQ(list.Row(1).Data->FileName, dir.File("Bj\xC3\xB6rk - J\xC3\xB3ga.WAV"));
    EXPECT_TRUE(fs::exists(dir.File("Bj\xC3\xB6rk - J\xC3\xB3ga.WAV")));
}

TEST(RecordingsList, TagAndRenameNamesFileAfterArtistAndTitleWithoutOverwriting)
{
    TTempDir dir;
    const auto wav = PcmWavImage(Sine16(4410, 2, 44100, 440, 8000), 2, 44100);
    WriteWholeFile(dir.File("Track0.wav"), wav);
    WriteWholeFile(dir.File("Track1.wav"), wav);
    TView view;
    TRecordingsList list(view);
    list.Append(RowFor(dir.File("Track0.wav")));
    list.Append(RowFor(dir.File("Track1.wav")));

    TRecordingRow row = list.Row(0);
    row.Caption = "Back in Black";
    row.Artist = "AC/DC";
    list.UpdateRow(0, row);
    list.TagAndRename(0);
    const std::string renamed = dir.File("AC_DC - Back in Black.WAV");
    EXPECT_EQ(list.Row(0).Data->FileName, renamed);
    ASSERT_TRUE(fs::exists(renamed));
    const auto tagged = ReadWholeFile(renamed);
    EXPECT_NE(std::string(tagged.begin(), tagged.end()).find("Back in Black"), std::string::npos);

    // The second track would take the same name: it keeps its own instead.
    TRecordingRow second = list.Row(1);
    second.Caption = row.Caption;
    second.Artist = row.Artist;
    list.UpdateRow(1, second);
    list.TagAndRename(1);
    EXPECT_EQ(list.Row(1).Data->FileName, dir.File("Track1.wav"));
    EXPECT_TRUE(fs::exists(dir.File("Track1.wav")));
    EXPECT_EQ(ReadWholeFile(renamed), tagged);
}

TEST(RecordingsList, EditInfoStripsOnlyAFileTitle)
{
    TTempDir dir;
    WriteWholeFile(dir.File("Track3.WAV"), PcmWavImage(Sine16(100, 1, 8000, 300, 800), 1, 8000));
    TView view;
    TRecordingsList list(view);
    list.Append(RowFor(dir.File("Track3.WAV")));
    TScriptedInfo info;
    info.Save = false;
    list.EditInfo(0, info);
    EXPECT_EQ(info.Shown.Title, "Track3");
    EXPECT_EQ(list.Row(0).Caption, "Track3.WAV"); // Cancel changes nothing

    info.Save = true;
    info.Answer = {"Mr. Blue Sky", "ELO", "Out of the Blue", "Rock"};
    list.EditInfo(0, info);
    EXPECT_EQ(list.Row(0).Caption, "Mr. Blue Sky");
    EXPECT_EQ(list.Row(0).Data->FileName, dir.File("ELO - Mr. Blue Sky.WAV"));
    list.EditInfo(0, info);
    EXPECT_EQ(info.Shown.Title, "Mr. Blue Sky"); // a song title keeps its dot
}

TEST(RecordingsList, DeleteAndMoveKeepRecordsWithTheirRows)
{
    TTempDir dir;
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        WriteWholeFile(dir.File(name), std::vector<std::uint8_t>(2048, 0));
    TView view;
    TRecordingsList list(view);
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        list.Append(RowFor(dir.File(name), 10));
    list.AddToTotals(30, 6.0);
    const TTrackData* c = list.Row(2).Data.get();

    list.MoveDown(2); // the last row cannot move down
    list.MoveUp(0);   // nor the first up
    EXPECT_EQ(list.IndexOf(c), 2);
    list.MoveUp(2);
    EXPECT_EQ(list.IndexOf(c), 1);
    EXPECT_EQ(view.Selected, 1);

    list.Delete(0, 176400); // a.wav
    // Each change is told as what it is, so a table keeps its selection.
    EXPECT_EQ(view.Notes, (std::vector<std::string>{"+0", "+1", "+2", "2>1", "-0"}));
    EXPECT_FALSE(fs::exists(dir.File("a.wav")));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.IndexOf(c), 0);
    EXPECT_EQ(view.Selected, 0);
    EXPECT_EQ(list.TotalSeconds(), 20);
    EXPECT_DOUBLE_EQ(list.TotalKilobytes(), 4.0);
    EXPECT_EQ(view.Totals, "Total Time/Size : 0:20/4 KB");

    // Play opens the row's own file, found through its record after the moves.
    struct TDesktop final : IDesktop {
        bool Open(const std::string& File) override
        {
            Opened.push_back(File);
            return true;
        }
        std::vector<std::string> Opened;
    } desktop;
    EXPECT_TRUE(list.Play(0, desktop));
    EXPECT_FALSE(list.Play(2, desktop));
    TRecordingRow bare;
    list.Append(bare);
    EXPECT_FALSE(list.Play(2, desktop)) << "a row without a record plays nothing";
    EXPECT_EQ(desktop.Opened, std::vector<std::string>{dir.File("c.wav")});
}
