// What every file writer shares: codec libraries are bound when a format is
// first used, not when a component is made, and the input is closed on every
// path out of a run, also when the very last write finds the disk full.

#include "codecs/TDynamicLibrary.h"
#include "codecs/TFLACLibrary.h"
#include "codecs/TLameLibrary.h"
#include "codecs/TMpg123Library.h"
#include "codecs/TOggVorbisLibrary.h"
#include "formats/TFLACIn.h"
#include "formats/TFLACOut.h"
#include "formats/TMACOut.h"
#include "formats/TMP3Out.h"
#include "formats/TMP3ToWav.h"
#include "formats/TVorbisIn.h"
#include "formats/TVorbisOut.h"
#include "formats/TWaveOut.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <sys/resource.h>

namespace kestrune::test {
namespace {

constexpr TAudioFormat CD{44100, 16, 2};

// Makes the named libraries missing for the life of the object.
class TMissingLibraries {
public:
    explicit TMissingLibraries(std::vector<std::string> SoNames) : Names(std::move(SoNames))
    {
        for (const std::string& name : Names)
            TDynamicLibrary::ReplaceSoName(name, "libkestrune-absent-" + name);
    }
    ~TMissingLibraries()
    {
        for (const std::string& name : Names)
            TDynamicLibrary::ReplaceSoName(name, "");
    }
    TMissingLibraries(const TMissingLibraries&) = delete;
    TMissingLibraries& operator=(const TMissingLibraries&) = delete;

private:
    std::vector<std::string> Names;
};

std::unique_ptr<TACSFileOut> MakeWriter(const std::string& Kind)
{
    if (Kind == "wav")
        return std::make_unique<TWaveOut>();
    if (Kind == "adpcm") {
        auto out = std::make_unique<TWaveOut>();
        out->SetWavType(TWavType::wtDVIADPCM);
        return out;
    }
    if (Kind == "ape")
        return std::make_unique<TMACOut>();
    if (Kind == "ogg") {
        auto out = std::make_unique<TVorbisOut>();
        out->SetSerial(1234); // the same file every time
        return out;
    }
    if (Kind == "mp3")
        return std::make_unique<TMP3Out>();
    if (Kind == "ogg")
        return std::make_unique<TVorbisOut>();
    return std::make_unique<TFLACOut>();
}

TEST(WriterLibraries, ComponentsAreMadeWithoutAnyCodecLibrary)
{
    const TMissingLibraries gone({TLameLibrary::SoName, TFLACLibrary::SoName, TMpg123Library::SoName,
                                  TOggVorbisLibrary::OggSoName, TOggVorbisLibrary::VorbisSoName,
                                  TOggVorbisLibrary::VorbisFileSoName, TOggVorbisLibrary::VorbisEncSoName});
    EXPECT_NO_THROW({
        TMP3Out mp3;
        TVorbisOut ogg;
        TFLACOut flac;
        TFLACIn flacIn;
        TVorbisIn oggIn;
        TMP3ToWav mp3In;
    });
}

TEST(WriterLibraries, WithoutLameOnlyMp3FailsAndSaysWhichLibrary)
{
    const TTempDir dir;
    const auto pcm = AsBytes(Sine16(8000, 2, 44100, 440, 9000));
    const TMissingLibraries gone({TLameLibrary::SoName});
    for (const std::string kind : {"wav", "flac", "mp3"}) {
        SCOPED_TRACE(kind);
        TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
        auto out = MakeWriter(kind);
        out->SetFileName(dir.File("out." + kind));
        out->SetInput(&in);
        std::string failure;
        const bool done = RunToEnd(*out, &failure);
        if (kind == "mp3") {
            EXPECT_FALSE(done);
            EXPECT_EQ(failure, "libmp3lame.so.0 library could not be loaded.");
            EXPECT_EQ(in.Opens.load(), 0);
        } else {
            EXPECT_TRUE(done) << failure;
            EXPECT_GT(std::filesystem::file_size(dir.File("out." + kind)), 1000u);
            EXPECT_EQ(in.Closes.load(), in.Opens.load());
        }
    }
}

TEST(WriterLibraries, ALibraryThatReturnsIsBoundAgain)
{
    const TTempDir dir;
    const auto pcm = AsBytes(Sine16(4000, 2, 44100, 440, 9000));
    TMP3Out out;
    {
        const TMissingLibraries gone({TLameLibrary::SoName});
        TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
        out.SetFileName(dir.File("a.mp3"));
        out.SetInput(&in);
        EXPECT_FALSE(RunToEnd(out));
        out.SetInput(nullptr);
    }
    TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
    out.SetInput(&in);
    std::string failure;
    EXPECT_TRUE(RunToEnd(out, &failure)) << failure;
}

// Inputs end their blocks anywhere, inside a frame too: each writer makes
// the same file (Ogg Vorbis: as long) whether the blocks hold whole frames or not, and a run that
// pauses (nothing this time) in the middle of a block loses nothing.
TEST(WriterPull, FilesDoNotDependOnWhereTheInputsBlocksEnd)
{
    const TTempDir dir;
    const TAudioFormat format{44100, 16, 2};
    const auto pcm = AsBytes(Sine16(30011, 2, 44100, 440, 12000));
    for (const std::string kind : {"wav", "adpcm", "mp3", "ogg", "flac", "ape"}) {
        SCOPED_TRACE(kind);
        std::vector<std::uint8_t> first;
        for (const int chunk : {4096, 1001, 3}) {
            SCOPED_TRACE(chunk);
            TFakeInput in(format, pcm, static_cast<std::int64_t>(pcm.size()));
            in.ChunkBytes = chunk;
            // Every seventh read finds nothing yet.
            in.Hook = [](int Call) { return Call % 7 == 3 ? -1 : INT32_MIN; };
            auto out = MakeWriter(kind);
            const std::string file = dir.File(std::to_string(chunk) + "." + kind);
            out->SetFileName(file);
            out->SetInput(&in);
            std::string failure;
            ASSERT_TRUE(RunToEnd(*out, &failure)) << failure;
            if (kind == "ogg") {
                // The encoder's analysis follows how much it is given at a
                // time, so only the length is the same.
                TVorbisIn back;
                back.SetFileName(file);
                EXPECT_EQ(ReadAll(back).size(), pcm.size());
                continue;
            }
            const auto bytes = ReadWholeFile(file);
            if (first.empty())
                first = bytes;
            else
                EXPECT_TRUE(bytes == first) << bytes.size() << " bytes against " << first.size();
        }
    }
}

// The process may write files up to Limit bytes while the object lives; a
// write past it fails with EFBIG instead of killing the process.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t Limit)
    {
        getrlimit(RLIMIT_FSIZE, &Saved);
        OldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = Saved;
        lowered.rlim_cur = Limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &Saved);
        std::signal(SIGXFSZ, OldHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit Saved{};
    void (*OldHandler)(int) = nullptr;
};

TEST(WriterEnd, InputIsClosedWhenTheLastBufferedWriteFails)
{
    const TTempDir dir;
    // Long enough that the writers' 64 KiB gathering buffer was written out
    // several times before the end.
    const auto pcm = AsBytes(Sine16(44100 * 4, 2, 44100, 440, 12000));
    for (const std::string kind : {"wav", "mp3", "ogg", "flac"}) {
        SCOPED_TRACE(kind);
        const std::string file = dir.File("out." + kind);
        std::uintmax_t whole = 0;
        {
            TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
            auto out = MakeWriter(kind);
            out->SetFileName(file);
            out->SetInput(&in);
            std::string failure;
            ASSERT_TRUE(RunToEnd(*out, &failure)) << failure;
            whole = std::filesystem::file_size(file);
        }
        // Limits inside the last buffer, which only the final flush writes.
        for (const std::uintmax_t short_by : {std::uintmax_t{1}, std::uintmax_t{700}}) {
            SCOPED_TRACE(short_by);
            std::filesystem::remove(file);
            TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
            auto out = MakeWriter(kind);
            out->SetFileName(file);
            out->SetInput(&in);
            std::string failure;
            bool done = false;
            {
                const TFileSizeLimit limit(whole - short_by);
                done = RunToEnd(*out, &failure);
            }
            EXPECT_FALSE(done);
            EXPECT_NE(failure.find("File too large"), std::string::npos) << failure;
            EXPECT_EQ(in.Opens.load(), 1);
            EXPECT_EQ(in.Closes.load(), 1);
            // And the output takes the next run.
            TFakeInput again(CD, pcm, static_cast<std::int64_t>(pcm.size()));
            out->SetInput(&again);
            EXPECT_TRUE(RunToEnd(*out, &failure)) << failure;
        }
    }
}

} // namespace
} // namespace kestrune::test
