#pragma once

#include <string>
#include <vector>

namespace kestrune {

// The one vocabulary of every long job (recording, conversion, noise capture,
// recognition, ripping, burning): it starts, reports progress, says things on
// the way, and finishes with an outcome and its reason. Views (the windows,
// the command line, the tests) decide success from these events, never from
// a display text.

enum class TJobKind { jkRecording, jkConversion, jkNoiseCapture, jkRecognition, jkRip, jkBurn };

// Where a job's controller stands.
enum class TJobState { jsIdle, jsRunning, jsStopping };

enum class TJobOutcome {
    joSucceeded, // the job did all it was asked to
    joFailed,    // it ended on an error; the reason says which
    joCancelled  // the user stopped or closed it before its end
};

enum class TJobMessageKind { jmInfo, jmWarning, jmError };

// Receives a job's events on the window thread.
class IJobListener {
public:
    virtual ~IJobListener() = default;

    // Title: what the job does, in the program's words ("Recording...").
    virtual void JobStarted(TJobKind Kind, const std::string& Title) = 0;
    // Fraction: 0..1 of the work done, or negative when the length is not
    // known (a recording); Text: the progress as the window shows it.
    virtual void JobProgress(TJobKind Kind, double Fraction, const std::string& Text) = 0;
    virtual void JobMessage(TJobKind Kind, TJobMessageKind MessageKind, const std::string& Text) = 0;
    // Reason: empty on success, otherwise the cause in words a user reads.
    virtual void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) = 0;
};

// A listener that does nothing, to derive from when only a few events matter.
class TJobListenerBase : public IJobListener {
public:
    void JobStarted(TJobKind, const std::string&) override {}
    void JobProgress(TJobKind, double, const std::string&) override {}
    void JobMessage(TJobKind, TJobMessageKind, const std::string&) override {}
    void JobFinished(TJobKind, TJobOutcome, const std::string&) override {}
};

// The sending side, owned by a job's controller: raises each event to every
// subscribed listener, in subscription order. Window thread only.
class TJobEvents {
public:
    explicit TJobEvents(TJobKind K) : Kind(K) {}

    void Subscribe(IJobListener* Listener) { Listeners.push_back(Listener); }
    void Unsubscribe(IJobListener* Listener) { std::erase(Listeners, Listener); }

    TJobState State() const { return FState; }
    void SetStopping() { FState = TJobState::jsStopping; }

    void Started(const std::string& Title)
    {
        FState = TJobState::jsRunning;
        for (IJobListener* l : Snapshot())
            l->JobStarted(Kind, Title);
    }
    void Progress(double Fraction, const std::string& Text)
    {
        for (IJobListener* l : Snapshot())
            l->JobProgress(Kind, Fraction, Text);
    }
    void Message(TJobMessageKind MessageKind, const std::string& Text)
    {
        for (IJobListener* l : Snapshot())
            l->JobMessage(Kind, MessageKind, Text);
    }
    void Finished(TJobOutcome Outcome, const std::string& Reason)
    {
        FState = TJobState::jsIdle;
        for (IJobListener* l : Snapshot())
            l->JobFinished(Kind, Outcome, Reason);
    }

private:
    // A listener may unsubscribe while an event is delivered.
    std::vector<IJobListener*> Snapshot() const { return Listeners; }

    TJobKind Kind;
    TJobState FState = TJobState::jsIdle;
    std::vector<IJobListener*> Listeners;
};

} // namespace kestrune
