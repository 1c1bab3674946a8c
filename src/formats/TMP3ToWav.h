#pragma once

#include "codecs/TMpg123Library.h"
#include "common/TComponent.h"
#include "formats/TMP3DecodeThread.h"
#include "pipeline/TStream.h"

#include <chrono>
#include <memory>
#include <string>

namespace kestrune {

// Decodes an MP3 file into a 16-bit PCM WAV file on a thread of its own,
// through libmpg123. Not a pipeline component: a source, a target, progress
// and a done event. The conversion decodes MP3 sources with it into a
// temporary WAV file and reads that.
//
// The WAV file has the rate and channel count of the first decoded frame; its
// header first announces an estimate of the size (so progress can pass 100)
// and is made exact when decoding ends, also after Stop. Damaged frames are
// skipped without a message; a file without one decodable frame ends with
// OnDone Success false. A failure to write the target (a full disk) or to
// read the source, or a source cut short of the length its own header
// announces, ends with OnThreadException instead of OnDone.
//
// Threads: Run, Stop, Busy, Progress and the setters belong to the owner's
// thread. OnProgress, OnDone and OnThreadException are raised on the
// decoding thread with this component as Sender; handlers hand any window
// work to the window thread themselves, and must neither destroy the
// component nor call Run from inside the event.
class TMP3ToWav : public TComponent {
public:
    // Loads nothing; Run raises EACSException "libmpg123.so.0 library could
    // not be loaded." when the decoder library is missing.
    TMP3ToWav();
    // Stops a decoding still running and waits for its thread.
    ~TMP3ToWav() override;

    const std::string& InputFile() const { return FInputFile; }
    void SetInputFile(const std::string& Value) { FInputFile = Value; }
    const std::string& OutputFile() const { return FOutputFile; }
    void SetOutputFile(const std::string& Value) { FOutputFile = Value; }
    // Streams handed in instead of file names; neither opened nor freed
    // here. The input is read from its position to its end, the output
    // written from its position on. Null goes back to the file name.
    void SetInputStream(TStream* Value) { FInputStream = Value; }
    void SetOutputStream(TStream* Value) { FOutputStream = Value; }

    // Starts decoding and returns at once. Raises std::runtime_error
    // "Component is buisy." while a decoding runs, "Neither input stream not
    // file name is assigned." or "Neither output stream not file name is
    // assigned."; a file that cannot be opened or created raises
    // EACSException with the system's reason.
    void Run();
    // Decoding ends after the current frame; OnDone follows with Success
    // true when a frame was decoded.
    void Stop();
    // A decoding thread exists and has not finished.
    bool Busy() const;
    // The last percentage reported by the running (or last) decoding.
    int Progress() const;
    // Blocks until no decoding runs (its event raised) or the timeout
    // passes; true when none runs. Not for the event handlers.
    bool WaitForIdle(std::chrono::milliseconds Timeout) const;

    TMADDoneEvent OnDone;
    TMADProgressEvent OnProgress;
    TThreadExceptionEvent OnThreadException;

private:
    std::shared_ptr<const TMpg123Library> Library;
    std::string FInputFile;
    std::string FOutputFile;
    TStream* FInputStream = nullptr;
    TStream* FOutputStream = nullptr;
    std::unique_ptr<TMP3DecodeThread> Thread;
};

} // namespace kestrune
