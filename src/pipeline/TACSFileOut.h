#pragma once

#include "pipeline/TACSStreamedOutput.h"

#include <exception>
#include <string>

namespace kestrune {

enum class TFileOutputMode { foRewrite = 0, foAppend = 1 };

// Base of the file writers.
class TACSFileOut : public TACSStreamedOutput {
public:
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& Value) { FFileName = Value; }
    TFileOutputMode FileMode() const { return FFileMode; }
    // Writers that cannot append keep foRewrite whatever they are given.
    virtual void SetFileMode(TFileOutputMode Mode)
    {
        (void)Mode;
        FFileMode = TFileOutputMode::foRewrite;
    }

protected:
    // Creates FileName when no stream was supplied; in foAppend mode a file
    // that exists already is opened for writing instead, to add to it.
    void OpenOwnStream();
    // Opens the input; when it cannot open, the stream opened for the run is
    // freed again.
    TACSInput& OpenInputOrRelease();
    // Undoes OpenOutput after a failure past the opening of the input: the
    // input is closed (a failure there is not the one reported) and the
    // stream freed.
    void AbandonOpen(TACSInput& In);
    // The last step of CloseOutput: writes out and frees the stream the run
    // opened, closes the input whatever happened before (a device left open
    // would keep every later run "buisy"), then raises Failure, or the first
    // failure of these two steps when there was none before.
    void FinishClose(std::exception_ptr Failure);

    std::string FFileName;
    TFileOutputMode FFileMode = TFileOutputMode::foRewrite;
};

} // namespace kestrune
