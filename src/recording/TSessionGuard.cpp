#include "recording/TSessionGuard.h"

#include "recording/TRecognitionController.h"
#include "recording/TRecorder.h"
#include "recording/TRecordingsList.h"

#include <algorithm>

namespace kestrune {

TSessionGuard::TSessionGuard(TRecorder& R, TRecognitionController& Rc, TRecordingsList& L, IDesktopSession& S)
    : Recorder(R), Recognition(Rc), List(L), Session(S)
{
    Recorder.Job().Subscribe(this);
    RecognisedListener = Recognition.AddRowRecognisedListener([this](int Row) { RowRecognised(Row); });
    // Tracks finished before we were built were announced by nobody, and
    // are not announced late.
    for (int i = 0; i < List.Count(); ++i)
        if (const TTrackDataPtr& track = List.Row(i).Data; track && track->StartByte >= 0)
            Notes.push_back({track, NextKey++});
    // Built while a recording runs (a window opened late): the session is
    // kept awake from now on.
    if (Recorder.Job().State() != TJobState::jsIdle)
        Session.Inhibit("Recording...");
}

TSessionGuard::~TSessionGuard()
{
    Recognition.RemoveRowRecognisedListener(RecognisedListener);
    Recorder.Job().Unsubscribe(this);
    // Nothing of ours may keep the machine awake once we are gone.
    Session.Release();
}

void TSessionGuard::JobStarted(TJobKind, const std::string& Title)
{
    Session.Inhibit(Title);
}

void TSessionGuard::JobMessage(TJobKind, TJobMessageKind, const std::string&)
{
    // The recorder says something after every track it kept or dropped; the
    // list tells which tracks are finished, the text is for people.
    NotifyKeptTracks();
}

void TSessionGuard::JobFinished(TJobKind, TJobOutcome, const std::string&)
{
    // Stopped, ended with the device's audio, or failed: in every case the
    // recording no longer needs the machine awake.
    NotifyKeptTracks();
    Session.Release();
}

std::uint64_t TSessionGuard::KeyOf(const TTrackData* Track)
{
    std::erase_if(Notes, [](const TNote& Note) { return Note.Track.expired(); });
    for (const TNote& note : Notes)
        if (note.Track.lock().get() == Track)
            return note.Key;
    return 0;
}

void TSessionGuard::NotifyKeptTracks()
{
    for (int i = 0; i < List.Count(); ++i) {
        const TRecordingRow& row = List.Row(i);
        // A track's start is known once it is finished and kept; the track
        // still being recorded has none yet, a dropped one has no row.
        if (!row.Data || row.Data->StartByte < 0 || KeyOf(row.Data.get()) != 0)
            continue;
        const std::uint64_t key = NextKey++;
        Notes.push_back({row.Data, key});
        Session.Notify(key, row.Caption, "Recorded, " + row.Time);
    }
}

void TSessionGuard::RowRecognised(int Row)
{
    if (Row < 0 || Row >= List.Count())
        return;
    const TRecordingRow& row = List.Row(Row);
    // "Unknown" adds nothing to the note of the recorded track.
    if (!row.Data || row.State == TRowState::rsRecorded)
        return;
    std::uint64_t key = KeyOf(row.Data.get());
    if (key == 0) {
        key = NextKey++;
        Notes.push_back({row.Data, key});
    }
    std::string body = row.Artist;
    if (!row.Album.empty())
        body += (body.empty() ? "" : " - ") + row.Album;
    body += (body.empty() ? "" : ", ") + row.Time;
    Session.Notify(key, row.Caption, body);
}

} // namespace kestrune
