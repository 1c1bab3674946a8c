#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"
#include "common/TJob.h"
#include "recording/IRecorderView.h"
#include "recording/IRecordingsView.h"
#include "recording/TRecorder.h"
#include "recording/TRecordingsList.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <set>
#include <string>

namespace kestrune::cli {

// The command line as the main window, for record and split: the
// recording's job events as lines, finished tracks as results, the level as a
// compact meter on a terminal.
class TCliRecorderView final : public IRecorderView, public IRecordingsView, public TJobListenerBase {
public:
    TCliRecorderView(TCliOutput& O, TRecordingsList*& L) : Out(O), List(L) {}

    void EnableControls(bool) override {}
    void FocusAlbumName() override {}
    void TrackFinished(int Row, bool Kept) override
    {
        if (!Kept) {
            Out.Result("dropped a track shorter than the minimum length", "dropped", {});
            return;
        }
        const TRecordingRow& row = List->Row(Row);
        Out.JsonOnly("track", {{"file", TCliOutput::JsonString(row.Data->FileName)},
                               {"title", TCliOutput::JsonString(row.Caption)},
                               {"artist", TCliOutput::JsonString(row.Artist)},
                               {"album", TCliOutput::JsonString(row.Album)},
                               {"genre", TCliOutput::JsonString(row.Genre)},
                               {"seconds", TCliOutput::JsonNumber(row.Data->Duration)}});
        Out.Text(Totals);
    }
    void CloseWindow() override {}
    void RowInserted(int) override {}
    void RowRemoved(int) override {}
    void RowMoved(int, int) override {}
    void RowChanged(int Index) override
    {
        // A row as the list shows it, whenever it changes, except the running
        // time of the track being recorded (the meter shows that).
        const TRecordingRow& row = List->Row(Index);
        if (row.Artist == "Recording...")
            return;
        Out.Text(row.Caption + " | " + row.Artist + " | " + row.Album + " | " + row.Genre + " | " + row.Time);
    }
    void SelectRow(int) override {}
    void SetTotals(const std::string& Text) override { Totals = Text; }

    void JobStarted(TJobKind Kind, const std::string& Title) override
    {
        if (Kind == TJobKind::jkRecording)
            Out.Info(Title);
    }
    // A warning about the input (near silence, clipping) as soon as it comes.
    void JobMessage(TJobKind Kind, TJobMessageKind MessageKind, const std::string& Text) override
    {
        if (Kind != TJobKind::jkRecording || MessageKind != TJobMessageKind::jmWarning)
            return;
        Out.Info(Text);
        Out.JsonOnly("warning", {{"text", TCliOutput::JsonString(Text)}});
    }
    void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) override
    {
        if (Kind != TJobKind::jkRecording)
            return;
        Finished = true;
        FOutcome = Outcome;
        Status = TRecorder::StatusText(Outcome, Reason);
        if (Outcome != TJobOutcome::joFailed)
            Out.Info(Status);
    }

    // The meter's bar is the level; the percentage the quiet run's share of
    // the silence length that would end the track; "CLIP" for a second after
    // the input clipped.
    void ShowLevel(const TRecorder::TLevel& Level, std::chrono::steady_clock::time_point Now)
    {
        if (Level.Clips != LastClips) {
            LastClips = Level.Clips;
            ClippedAt = Now;
        }
        const bool clipping = Level.Clips > 0 && Now - ClippedAt < std::chrono::seconds(1);
        const int quiet =
            Level.SilenceBytes > 0
                ? static_cast<int>(std::min<std::int64_t>(100, Level.QuietBytes * 100 / Level.SilenceBytes))
                : 0;
        const int bars = Level.FullScale > 0 ? std::min(20, Level.Peak * 20 / Level.FullScale) : 0;
        Out.Meter("level [" + std::string(static_cast<size_t>(bars), '#') +
                  std::string(static_cast<size_t>(20 - bars), ' ') + "] quiet " + std::to_string(quiet) + "%" +
                  (clipping ? " CLIP" : ""));
    }

    // The closing result of a recording or a split: tracks kept and dropped,
    // the totals line, and the seconds kept.
    void PrintSummary(const TRecorder& Recorder) const
    {
        Out.Result(std::to_string(Recorder.KeptTracks()) + " tracks kept, " + std::to_string(Recorder.DroppedTracks()) +
                       " dropped. " + Totals,
                   "done",
                   {{"tracks", TCliOutput::JsonNumber(Recorder.KeptTracks())},
                    {"dropped", TCliOutput::JsonNumber(Recorder.DroppedTracks())},
                    {"seconds", TCliOutput::JsonNumber(List->TotalSeconds())}});
    }

    bool Finished = false;
    TJobOutcome FOutcome = TJobOutcome::joFailed;
    std::string Status;
    std::string Totals;

private:
    TCliOutput& Out;
    TRecordingsList*& List;
    std::int64_t LastClips = 0;
    std::chrono::steady_clock::time_point ClippedAt;
};

// kestrune-cli record --album NAME [options]: the recorder without a window.
// Records the capture device into the album folder, one file per song, until
// the device's audio ends (a virtual file) or Ctrl-C stops it.
class TRecordCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);
};

} // namespace kestrune::cli
