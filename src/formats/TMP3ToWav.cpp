#include "formats/TMP3ToWav.h"

#include "pipeline/EACSException.h"
#include "pipeline/TFileStream.h"

#include <stdexcept>

namespace kestrune {

TMP3ToWav::TMP3ToWav() = default;

TMP3ToWav::~TMP3ToWav()
{
    // The thread's destructor stops it and waits.
    Thread.reset();
}

void TMP3ToWav::Run()
{
    if (Thread) {
        if (!Thread->Finished())
            throw std::runtime_error("Component is buisy.");
        Thread.reset();
    }
    // Bound on the first run: without libmpg123 only MP3 decoding fails.
    Library = TMpg123Library::Load();
    if (!Library->HasReaderDecoder())
        throw EACSException(std::string(TMpg123Library::SoName) + " lacks the entry points for decoding.");

    TMP3DecodeThread::TSetup setup;
    setup.Owner = this;
    setup.Library = Library;
    if (FInputStream) {
        setup.Input = FInputStream;
    } else {
        if (FInputFile.empty())
            throw std::runtime_error("Neither input stream not file name is assigned.");
        setup.OwnInput = std::make_unique<TFileStream>(FInputFile, TFileOpenMode::fmOpenRead);
        setup.Input = setup.OwnInput.get();
    }
    if (FOutputStream) {
        setup.Output = FOutputStream;
    } else {
        // The input opened above is freed with the setup on the way out.
        if (FOutputFile.empty())
            throw std::runtime_error("Neither output stream not file name is assigned.");
        setup.OwnOutput = std::make_unique<TFileStream>(FOutputFile, TFileOpenMode::fmCreate);
        setup.Output = setup.OwnOutput.get();
    }
    setup.OnProgress = OnProgress;
    setup.OnDone = OnDone;
    setup.OnThreadException = OnThreadException;
    // Stored before it starts: the first event may already ask for Progress.
    Thread = std::make_unique<TMP3DecodeThread>(std::move(setup));
    try {
        Thread->Start();
    } catch (...) {
        Thread.reset(); // no thread: not busy, the files are closed again
        throw;
    }
}

void TMP3ToWav::Stop()
{
    if (Thread)
        Thread->Stop();
}

bool TMP3ToWav::Busy() const
{
    return Thread && !Thread->Finished();
}

int TMP3ToWav::Progress() const
{
    return Thread ? Thread->Progress() : 0;
}

bool TMP3ToWav::WaitForIdle(std::chrono::milliseconds Timeout) const
{
    return !Thread || Thread->WaitFinished(Timeout);
}

} // namespace kestrune
