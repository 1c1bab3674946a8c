#pragma once

#include "pipeline/TACSFileIn.h"
#include "pipeline/TACSInput.h"
#include "pipeline/TACSOutput.h"
#include "pipeline/TAudioFormat.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kestrune::test {

// A fresh folder under the temporary directory, removed with everything in it
// when the object goes.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return Dir; }
    std::string File(const std::string& Name) const { return (Dir / Name).string(); }

private:
    std::filesystem::path Dir;
};

// Deterministic test signals as interleaved 16-bit samples.
std::vector<std::int16_t> Sine16(int Frames, int Channels, int SampleRate, double Hz, double Amplitude);
std::vector<std::int16_t> Noise16(int Frames, int Channels, std::uint32_t Seed, int Amplitude = 32767);
std::vector<std::uint8_t> AsBytes(const std::vector<std::int16_t>& Samples);
std::vector<std::int16_t> AsSamples16(const std::vector<std::uint8_t>& Bytes);

// A canonical 44-byte-header PCM WAV image of 16-bit samples, written here
// independently of the program's own writer.
std::vector<std::uint8_t> PcmWavImage(const std::vector<std::int16_t>& Samples, int Channels, int SampleRate);

std::vector<std::uint8_t> ReadWholeFile(const std::string& FileName);
void WriteWholeFile(const std::string& FileName, const std::vector<std::uint8_t>& Bytes);

// Runs a shell command; returns its exit status and fills Output with what it
// printed on stdout (stderr goes to the test's log).
int RunCommand(const std::string& Command, std::string* Output = nullptr);
// Starts Argv (the program first) as a child process with its stdout and
// stderr sent to /dev/null, for tests that signal or kill a running command;
// the caller waits for it. -1 when it could not be started.
int StartQuietly(const std::vector<std::string>& Argv);
// Quotes a path for the shell.
std::string ShellQuote(const std::string& Text);
// True when the program is on the PATH; peer tests fail, not skip, without it.
bool HaveTool(const std::string& Program);

// Asks Done every millisecond until it holds or Timeout passes; its last
// answer. For waits on a worker that offers no event to wait on: a test that
// would hang instead fails, naming what never happened.
bool WaitUntil(const std::function<bool()>& Done, std::chrono::milliseconds Timeout);
#define KESTRUNE_REQUIRE_TOOL(Program)                                                                                 \
    ASSERT_TRUE(::kestrune::test::HaveTool(Program)) << "peer tool missing: " << (Program)

// Runs an output to its end; true when it ended normally (OnDone), false
// after a failure, whose text goes to Failure.
bool RunToEnd(TACSOutput& Out, std::string* Failure = nullptr);
// Everything an input hands out from OpenInput to its end, read Chunk bytes
// at a time.
std::vector<std::uint8_t> ReadAll(TACSInput& In, int Chunk = 5000);
// The message OpenInput raises, or "" when it opens.
std::string OpenError(TACSInput& In);

// The frames a reader of type TReader finds in File (the file is parsed, no
// input is run).
template <typename TReader>
std::int64_t FramesIn(const std::string& File)
{
    TReader in;
    in.SetFileName(File);
    in.OpenFile();
    const std::int64_t frames = in.TotalSamples();
    in.CloseFile();
    return frames;
}

// What a run of a command-line program gave.
struct TCliResult {
    int Status;
    std::string Out;
    std::string Err;
};
// Runs Program with Arguments (already quoted for the shell); stdout is
// caught directly, stderr through the file Dir/stderr.txt.
TCliResult RunCli(const std::string& Program, const std::string& Arguments, const TTempDir& Dir);

// An input over bytes in memory, for driving outputs in tests. Hands out at
// most ChunkBytes per ReadBlock; Hook may replace a read's result (-1, 0) or
// raise, by the call number.
class TFakeInput final : public TACSInput {
public:
    TFakeInput(TAudioFormat Format, std::vector<std::uint8_t> Bytes, std::int64_t ReportedSize);

    int InBitsPerSample() override { return Format.BitsPerSample; }
    int InChannels() override { return Format.Channels; }
    int InSampleRate() override { return Format.SampleRate; }
    int ReadBlock(void* Buffer, int Size) override;
    void OpenInput() override;
    void CloseInput() override;

    // Called before each read with its number (from 0); returning a value
    // other than INT32_MIN makes that the read's result.
    std::function<int(int Call)> Hook;
    int ChunkBytes = 4096;
    std::atomic<int> Opens{0};
    std::atomic<int> Closes{0};
    std::atomic<int> Reads{0};

private:
    TAudioFormat Format;
    std::vector<std::uint8_t> Data;
    std::int64_t Reported;
    std::size_t Offset = 0;
};

} // namespace kestrune::test
