#pragma once

#include "common/TPartFile.h"
#include "pipeline/TACSStreamedOutput.h"

#include <atomic>
#include <exception>
#include <memory>
#include <string>

namespace kestrune {

enum class TFileOutputMode { foRewrite = 0, foAppend = 1 };

// Base of the file writers.
//
// A run never writes under FileName itself: it writes a temporary beside it
// (TPartFile) and gives it its real name only once the run has ended well,
// so a run that fails, is cancelled or is killed leaves no file that looks
// finished. Temporaries that killed runs left in the folder are cleared when
// the next run there starts. A device or a pipe given as FileName
// (/dev/null), and a file appended to, are written as they are.
class TACSFileOut : public TACSStreamedOutput {
public:
    ~TACSFileOut() override;

    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& Value) { FFileName = Value; }
    TFileOutputMode FileMode() const { return FFileMode; }
    // Writers that cannot append keep foRewrite whatever they are given.
    virtual void SetFileMode(TFileOutputMode Mode)
    {
        (void)Mode;
        FFileMode = TFileOutputMode::foRewrite;
    }
    // An existing file under FileName is replaced by the run's result (on).
    // Off, a run refuses to start when the file exists, and a file that
    // appears meanwhile is kept and the run fails at its end.
    bool Overwrite() const { return FOverwrite; }
    void SetOverwrite(bool Value) { FOverwrite = Value; }
    // A run cut short, stopped by the owner or ended by a failure of its
    // input, keeps what it wrote under FileName when the file itself could
    // be completed (on: a recording the user stopped, or whose device
    // failed, keeps its audio). Off (the default), such a run leaves nothing
    // (a cancelled or failed conversion).
    bool KeepCutShort() const { return FKeepCutShort; }
    void SetKeepCutShort(bool Value) { FKeepCutShort = Value; }
    // The last run gave its file the name FileName (false while a run is
    // going, and for a device or a file appended to).
    bool Committed() const { return FCommitted.load(); }

protected:
    // Creates FileName when no stream was supplied; in foAppend mode a file
    // that exists already is opened for writing instead, to add to it.
    void OpenOwnStream();
    // For writers that open the file by name themselves: the name to write
    // to (the temporary, or FileName for a device). Raises as OpenOwnStream.
    std::string OpenOwnFile();
    // Frees the stream and gives the run's file up (its temporary goes):
    // for failures while opening.
    void FreeOwnStream();
    // Opens the input; when it cannot open, the stream opened for the run is
    // freed again.
    TACSInput& OpenInputOrRelease();
    // Undoes OpenOutput after a failure past the opening of the input: the
    // input is closed (a failure there is not the one reported) and the
    // stream freed.
    void AbandonOpen(TACSInput& In);
    // The last step of CloseOutput: writes out and frees the stream the run
    // opened, gives the file its real name when the run ended well (or was
    // cut short and KeepCutShort is on) and removes it otherwise, closes the
    // input whatever happened before (a device left open would keep every
    // later run "buisy"), then raises Failure, or the first failure of these
    // steps when there was none before.
    void FinishClose(std::exception_ptr Failure);

    std::string FFileName;
    TFileOutputMode FFileMode = TFileOutputMode::foRewrite;

private:
    bool FOverwrite = true;
    bool FKeepCutShort = false;
    std::atomic<bool> FCommitted{false};
    std::unique_ptr<TPartFile> Part;
};

} // namespace kestrune
