#include "recording/TMainController.h"

#include <cstdio>
#include <filesystem>

namespace kestrune {

TMainController::TMainController(std::unique_ptr<TOptions> Options, TViews Views, TGenreList& Genres,
                                 const std::string& GenreFile)
    : FFirstRun(!std::filesystem::exists(Options->IniFileName)), FOptions(std::move(Options)), FGenres(Genres),
      FList(Views.Recordings), FRecognition(FList, Views.Dispatcher),
      FRecorder(*FOptions, FList, Views.Recorder, Views.Dialogs, Views.Dispatcher)
{
    FRecorder.SetRecognition(&FRecognition);
    // On a first start the settings window that follows says it, with what
    // still works, in its Recording page.
    if (const std::string driver = FOptions->ChosenDriver(); driver.empty()) {
        if (!FFirstRun)
            Views.Dialogs.Warning(NoDriverText);
    } else
        FRecorder.AudioIn1().SetDevice(driver);

    // A missing genre file is no error: the list is left empty and so are
    // the genre choosers.
    FGenres.LoadFromFile(GenreFile);

    if (FOptions->AutoRecognize)
        FRecognition.Open(TRecognitionController::SettingsFrom(*FOptions));
}

// The burn window is let go first, so that a track the recorder finishes
// while it stops is not offered to it. The members then go in reverse
// order: the recorder stops its outputs, then the recognition closes
// (waiting for its workers), then the list and the options (closing the
// mixer).
TMainController::~TMainController()
{
    SetBurn(nullptr);
}

void TMainController::SetBurn(TBurnController* Burn)
{
    FRecorder.SetTrackOffer(nullptr);
    FAutoWrite.reset();
    if (!Burn)
        return;
    FAutoWrite = std::make_unique<TAutoWriteRecordings>(FList, FRecorder, *Burn);
    FRecorder.SetTrackOffer(FAutoWrite.get());
}

void TMainController::Show(std::chrono::year_month_day Today)
{
    if (FRecorder.GetAlbumName().empty())
        FRecorder.SetAlbumName(DefaultAlbumName(FOptions->Folder, Today));
}

std::string TMainController::DefaultAlbumName(const std::string& Folder, std::chrono::year_month_day Today)
{
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02u-%02u", static_cast<int>(Today.year()),
                  static_cast<unsigned>(Today.month()), static_cast<unsigned>(Today.day()));
    for (int n = 1;; ++n) {
        std::string name = std::string("Kestrune ") + date + " (" + std::to_string(n) + ")";
        std::error_code error;
        if (!std::filesystem::is_directory(std::filesystem::path(Folder) / name, error))
            return name;
    }
}

void TMainController::ApplyAutoRecognize()
{
    if (FOptions->AutoRecognize && !FRecognition.ClientOpen())
        FRecognition.Open(TRecognitionController::SettingsFrom(*FOptions));
    else if (!FOptions->AutoRecognize && FRecognition.ClientOpen())
        FRecognition.Close();
}

void TMainController::RecognitionServiceChanged()
{
    if (!FRecognition.ClientOpen())
        return;
    FRecognition.Close();
    FRecognition.Open(TRecognitionController::SettingsFrom(*FOptions));
}

} // namespace kestrune
