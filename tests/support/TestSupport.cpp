#include "support/TestSupport.h"

#include "pipeline/EACSException.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrune::test {

TTempDir::TTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    Dir = pattern;
}

TTempDir::~TTempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
}

std::vector<std::int16_t> Sine16(int Frames, int Channels, int SampleRate, double Hz, double Amplitude)
{
    std::vector<std::int16_t> out(static_cast<size_t>(Frames) * Channels);
    for (int i = 0; i < Frames; ++i)
        for (int c = 0; c < Channels; ++c) {
            const double phase = 2.0 * M_PI * Hz * (c + 1) * i / SampleRate;
            out[static_cast<size_t>(i) * Channels + c] =
                static_cast<std::int16_t>(std::lround(Amplitude * std::sin(phase)));
        }
    return out;
}

std::vector<std::int16_t> Noise16(int Frames, int Channels, std::uint32_t Seed, int Amplitude)
{
    std::mt19937 rng(Seed);
    std::uniform_int_distribution<int> dist(-Amplitude - 1, Amplitude);
    std::vector<std::int16_t> out(static_cast<size_t>(Frames) * Channels);
    for (auto& s : out)
        s = static_cast<std::int16_t>(std::clamp(dist(rng), -32768, 32767));
    return out;
}

std::vector<std::uint8_t> AsBytes(const std::vector<std::int16_t>& Samples)
{
    std::vector<std::uint8_t> out(Samples.size() * 2);
    for (size_t i = 0; i < Samples.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(Samples[i]);
        out[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
        out[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return out;
}

std::vector<std::int16_t> AsSamples16(const std::vector<std::uint8_t>& Bytes)
{
    std::vector<std::int16_t> out(Bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::int16_t>(Bytes[2 * i] | (Bytes[2 * i + 1] << 8));
    return out;
}

std::vector<std::uint8_t> PcmWavImage(const std::vector<std::int16_t>& Samples, int Channels, int SampleRate)
{
    std::vector<std::uint8_t> out;
    auto put = [&out](std::uint32_t Value, int Bytes) {
        for (int k = 0; k < Bytes; ++k)
            out.push_back(static_cast<std::uint8_t>(Value >> (8 * k)));
    };
    auto tag = [&out](const char* Code) { out.insert(out.end(), Code, Code + 4); };
    const auto dataBytes = static_cast<std::uint32_t>(Samples.size() * 2);
    tag("RIFF");
    put(36 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);
    put(static_cast<std::uint32_t>(Channels), 2);
    put(static_cast<std::uint32_t>(SampleRate), 4);
    put(static_cast<std::uint32_t>(SampleRate * Channels * 2), 4);
    put(static_cast<std::uint32_t>(Channels * 2), 2);
    put(16, 2);
    tag("data");
    put(dataBytes, 4);
    const auto bytes = AsBytes(Samples);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& FileName)
{
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + FileName);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const std::string& FileName, const std::vector<std::uint8_t>& Bytes)
{
    std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + FileName);
}

int RunCommand(const std::string& Command, std::string* Output)
{
    FILE* pipe = ::popen(Command.c_str(), "r");
    if (!pipe)
        return -1;
    char chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        if (Output)
            Output->append(chunk, n);
    const int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string ShellQuote(const std::string& Text)
{
    std::string out = "'";
    for (char c : Text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

int StartQuietly(const std::vector<std::string>& Argv)
{
    std::vector<char*> argv;
    for (const std::string& word : Argv)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return child;
}

bool WaitUntil(const std::function<bool()>& Done, std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    while (!Done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return Done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool HaveTool(const std::string& Program)
{
    return RunCommand("command -v " + ShellQuote(Program) + " >/dev/null 2>&1") == 0;
}

TFakeInput::TFakeInput(TAudioFormat F, std::vector<std::uint8_t> Bytes, std::int64_t ReportedSize)
    : Format(F), Data(std::move(Bytes)), Reported(ReportedSize)
{
}

void TFakeInput::OpenInput()
{
    if (Busy())
        throw EACSException("The component is buisy");
    ++Opens;
    Offset = 0;
    FPosition = 0;
    FSize = Reported;
    FBusy = true;
}

void TFakeInput::CloseInput()
{
    ++Closes;
    FBusy = false;
}

int TFakeInput::ReadBlock(void* Buffer, int Size)
{
    if (!Busy())
        throw EACSException("The Stream is not opened");
    const int call = Reads++;
    if (Hook) {
        const int forced = Hook(call);
        if (forced != INT32_MIN)
            return forced;
    }
    const size_t left = Data.size() - Offset;
    const size_t n = std::min({left, static_cast<size_t>(Size), static_cast<size_t>(ChunkBytes)});
    if (n > 0)
        std::memcpy(Buffer, Data.data() + Offset, n);
    Offset += n;
    FPosition += static_cast<std::int64_t>(n);
    return static_cast<int>(n);
}

TCliResult RunCli(const std::string& Program, const std::string& Arguments, const TTempDir& Dir)
{
    const std::string errFile = Dir.File("stderr.txt");
    std::filesystem::remove(errFile);
    TCliResult r;
    r.Status = RunCommand(Program + " " + Arguments + " 2>" + ShellQuote(errFile), &r.Out);
    if (std::filesystem::exists(errFile)) {
        const auto bytes = ReadWholeFile(errFile);
        r.Err.assign(bytes.begin(), bytes.end());
    }
    return r;
}

bool RunToEnd(TACSOutput& Out, std::string* Failure)
{
    bool done = false;
    std::string failure;
    Out.OnDone = [&](TComponent*) { done = true; };
    Out.OnThreadException = [&](TComponent*, const std::exception& E) { failure = E.what(); };
    Out.Run();
    EXPECT_TRUE(Out.WaitForIdle(std::chrono::seconds(60)));
    Out.OnDone = nullptr;
    Out.OnThreadException = nullptr;
    if (Failure)
        *Failure = failure;
    return done && failure.empty();
}

std::vector<std::uint8_t> ReadAll(TACSInput& In, int Chunk)
{
    std::vector<std::uint8_t> all;
    std::vector<std::uint8_t> buf(static_cast<size_t>(Chunk));
    In.OpenInput();
    for (int n; (n = In.ReadBlock(buf.data(), Chunk)) > 0;)
        all.insert(all.end(), buf.begin(), buf.begin() + n);
    In.CloseInput();
    return all;
}

std::string OpenError(TACSInput& In)
{
    try {
        In.OpenInput();
    } catch (const EACSException& e) {
        return e.what();
    }
    In.CloseInput();
    return {};
}

} // namespace kestrune::test
