#pragma once

#include "codecs/TMpg123Library.h"
#include "common/TComponent.h"
#include "pipeline/TACSOutput.h"
#include "pipeline/TStream.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrune {

using TMADDoneEvent = std::function<void(TComponent* Sender, bool Success)>;
using TMADProgressEvent = std::function<void(TComponent* Sender)>;

// One decoding of an MP3 stream into a 16-bit PCM WAV stream, on a thread of
// its own.
//
// The whole input is held in memory (it is the MP3 file, a few megabytes);
// the decoded audio is written as it comes, through a 64 KiB buffer. The WAV
// header is written with an estimated size when the first frame is decoded
// and corrected when decoding ends; the channel count and rate of the first
// frame hold for the whole file (later frames are mixed down, doubled or
// resampled by the library to match).
//
// Threads: the owner makes, stops, queries and destroys the object on its
// own thread; decoding, the events and the closing of the streams happen on
// the decoding thread. The events carry the owning component as Sender.
// OnDone follows a decoding that ended (at the end of the data, at a stop, or
// at a stream without MPEG audio, Success false); OnThreadException follows
// a failure to read or write, or a stream that ends before the length its own
// header (a Xing or Info frame) announces (a cut file), after the output was
// completed as far as it could be. Exactly one of the two is raised, then the thread is finished.
class TMP3DecodeThread {
public:
    struct TSetup {
        TComponent* Owner = nullptr;
        std::shared_ptr<const TMpg123Library> Library;
        TStream* Input = nullptr;           // read from its position to its end
        TStream* Output = nullptr;          // written from its position on
        std::unique_ptr<TStream> OwnInput;  // freed by the thread when it ends
        std::unique_ptr<TStream> OwnOutput; // as above
        TMADProgressEvent OnProgress;
        TMADDoneEvent OnDone;
        TThreadExceptionEvent OnThreadException;
    };

    // Made idle; Start begins decoding. The owner keeps the object where its
    // event handlers can reach it (Progress, Busy) before starting it.
    explicit TMP3DecodeThread(TSetup Setup);
    void Start();
    // Asks a running decoding to stop and waits until the thread has ended.
    // Not to be called from the thread's own events.
    ~TMP3DecodeThread();
    TMP3DecodeThread(const TMP3DecodeThread&) = delete;
    TMP3DecodeThread& operator=(const TMP3DecodeThread&) = delete;

    // Decoding ends after the current frame; OnDone still follows.
    void Stop() { StopRequested = true; }
    // True once the events have been raised and the streams closed.
    bool Finished() const { return FFinished.load(); }
    // Blocks until Finished or the timeout passes; the answer is Finished.
    bool WaitFinished(std::chrono::milliseconds Timeout) const;
    // The last percentage reported (may pass 100 when the estimate is low).
    int Progress() const { return LastProgress.load(); }

    // Bytes of decoded audio gathered before one write to the output.
    static constexpr std::size_t WriteBufferBytes = std::size_t{64} * 1024;

    // The data size the header announces before decoding: the MPEG-1 Layer
    // III frames of 1152 samples that InputBytes would hold at the first
    // frame's bit rate (bit/s), as bytes of 16-bit audio. 0 when the frame
    // length is unknown (free format).
    static std::int64_t EstimateDataBytes(std::int64_t InputBytes, long BitRate, long SampleRate, int Channels);

private:
    void Execute();
    // Decodes until the end, a stop or a decoder error; raises on a failed
    // read or write.
    void Decode();
    void OnFirstFrame(mpg123_handle* Handle);
    void WriteAudio(const unsigned char* Audio, std::size_t Bytes);
    void Flush();
    // Completes the header and frees the streams that the thread owns.
    void Finish();

    TSetup Setup;
    std::vector<unsigned char> Data; // the whole input
    std::vector<unsigned char> Pending;
    std::int64_t OutputStart = 0; // where the WAV header begins in Output
    std::int64_t Estimate = 0;    // announced data size, bytes
    std::int64_t DataBytes = 0;   // decoded audio bytes so far
    long SampleRate = 0;
    int Channels = 0;
    long BitRate = 0;           // bit/s of the first frame
    std::int64_t Announced = -1; // frames the stream's own header announces; -1 none
    bool HeaderWritten = false; // also the success flag: a frame was decoded

    std::atomic<int> LastProgress{0};
    std::atomic<bool> StopRequested{false};
    std::atomic<bool> FFinished{false};
    mutable std::mutex FinishMutex;
    mutable std::condition_variable FinishSignal;
    std::thread Thread;
};

} // namespace kestrune
