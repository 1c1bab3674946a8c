#pragma once

// A main window over a real main controller, with a virtual capture device
// reading a WAV file, message boxes recorded, and the track windows as fakes
// that answer at once.

#include "common/IDesktop.h"
#include "common/TPlainDialogs.h"
#include "common/ui/TQtDispatcher.h"
#include "formats/TGenreList.h"
#include "mocks/TNoDevices.h"
#include "recording/ITrackChooserView.h"
#include "recording/TMainController.h"
#include "recording/TTrackChooser.h"
#include "recording/ui/TFMain.h"
#include "recording/ui/TLevelPanel.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QTimer>
#include <QTreeView>
#include <QWidget>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrune::test {

// Opens nothing; its trash is a folder (TrashFolder, when set), or refuses.
class TFakeDesktop final : public IDesktop {
public:
    bool Open(const std::string& FileOrUrl) override
    {
        Opened.push_back(FileOrUrl);
        return true;
    }
    bool MoveToTrash(const std::string& File) override
    {
        if (TrashFolder.empty())
            return false;
        std::filesystem::create_directories(TrashFolder);
        std::error_code error;
        std::filesystem::rename(File, std::filesystem::path(TrashFolder) / std::filesystem::path(File).filename(),
                                error);
        return !error;
    }
    std::vector<std::string> Opened;
    std::string TrashFolder;
};

// Saves with the texts it was given, after Change.
class TFakeTrackInfo final : public ITrackInfoDialog {
public:
    bool Edit(TFields& Fields) override
    {
        Seen = Fields;
        if (!Save)
            return false;
        Change(Fields);
        return true;
    }
    bool Save = true;
    std::function<void(TFields&)> Change = [](TFields&) {};
    TFields Seen;
};

// Double-clicks Pick as soon as it is shown.
class TFakeChooser final : public ITrackChooserView {
public:
    void SetRows(const std::vector<TTrackInfo>& Value) override { Rows = Value; }
    void ShowModal(TTrackChooser& Chooser) override
    {
        ++Shown;
        Chooser.RowDoubleClicked(Pick);
    }
    void Close() override {}
    std::vector<TTrackInfo> Rows;
    int Pick = 1;
    int Shown = 0;
};

// Stereo 16-bit audio at 22050 Hz: Songs tones of SongSeconds, each followed
// by GapSeconds of quiet.
inline std::vector<std::int16_t> SongsWithGaps(int Songs, double SongSeconds, double GapSeconds)
{
    std::vector<std::int16_t> samples;
    const int rate = 22050;
    for (int song = 0; song < Songs; ++song) {
        const int tone = static_cast<int>(SongSeconds * rate);
        for (int i = 0; i < tone; ++i) {
            const auto value =
                static_cast<std::int16_t>(12000 * std::sin(2 * 3.14159265 * (220 + 110 * song) * i / rate));
            samples.push_back(value);
            samples.push_back(value);
        }
        samples.insert(samples.end(), static_cast<size_t>(GapSeconds * rate) * 2, std::int16_t{0});
    }
    return samples;
}

struct TMainWindowRig {
    TTempDir Dir;
    TNoDevices Platform;
    TQtDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    TFakeDesktop Desktop;
    TGenreList Genres;
    TFakeTrackInfo TrackInfo;
    TFakeChooser Chooser;
    std::unique_ptr<TFMain> Window;
    std::unique_ptr<TMainController> Main;
    TLevelPanel* Panel = nullptr; // the window's, until it lets go

    // Capture: the device's audio; empty for a device that cannot be opened.
    explicit TMainWindowRig(const std::vector<std::int16_t>& Capture, bool RealTime = false)
    {
        WriteWholeFile(Dir.File("kestrune.gen"),
                       {'B', 'l', 'u', 'e', 's', '\n', 'R', 'o', 'c', 'k', '\n', 'P', 'o', 'p', '\n'});
        if (!Capture.empty())
            WriteWholeFile(Dir.File("capture.wav"), PcmWavImage(Capture, 2, 22050));
        auto options = std::make_unique<TOptions>(Dir.File("kestrune.ini"), Platform,
                                                  TOptions::TDefaults{Dir.Path().string() + "/Records/"});
        options->Format = "WAV";
        options->SamplesPerSec = 22050;
        options->BitsPerSample = 16;
        options->Channels = 2;
        options->SilenceLg = 400;
        options->MinLength = 1;
        options->DriverNames = {"virtual:" + Dir.File(Capture.empty() ? "missing.wav" : "capture.wav")};
        options->DriverIndex = 0;
        Window = std::make_unique<TFMain>(Dialogs, Desktop);
        Main = std::make_unique<TMainController>(std::move(options),
                                                 TMainController::TViews{*Window, *Window, Dialogs, Dispatcher}, Genres,
                                                 Dir.File("kestrune.gen"));
        Main->Recorder().AudioIn1().SetRealTime(RealTime);
        Panel = new TLevelPanel(Main->Recorder());
        Window->Attach(*Main, Panel, TrackInfo, Chooser, "");
        Window->ShowMain(std::chrono::year_month_day{std::chrono::year{2024}, std::chrono::May, std::chrono::day{1}});
    }
    ~TMainWindowRig()
    {
        if (Main) {
            Window->Detach();
            Main.reset();
        }
    }

    template <class T>
    T* Find(const char* Name) const
    {
        return Window->findChild<T*>(Name);
    }
    QAbstractItemModel* Model() const { return Find<QTreeView>("LV")->model(); }
    QString Cell(int Row, int Column) const { return Model()->index(Row, Column).data().toString(); }
    bool WaitIdle(std::chrono::milliseconds Timeout = std::chrono::seconds(60))
    {
        return Dispatcher.WaitServing([&] { return !Main->Recorder().Recording(); }, Timeout);
    }
};

// Runs Answer on the next modal window named Name once it is up (polling the
// event loop, as a user would wait for it).
inline void AnswerModal(const QString& Name, std::function<void(QWidget*)> Answer, int TriesLeft = 400)
{
    QTimer::singleShot(10, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->objectName() == Name) {
            Answer(modal);
            return;
        }
        if (TriesLeft > 0)
            AnswerModal(Name, Answer, TriesLeft - 1);
    });
}

} // namespace kestrune::test
