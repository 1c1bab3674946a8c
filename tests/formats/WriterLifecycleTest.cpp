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
#include "pipeline/EACSException.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

std::set<std::string> FilesIn(const std::filesystem::path& Folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Nothing that looks finished unless it is: every writer works under a
// temporary name and gives the file its name only when the run ended well.
TEST(WriterFiles, OnlyAFinishedRunLeavesAFileUnderItsName)
{
    const auto pcm = AsBytes(Sine16(44100 * 2, 2, 44100, 440, 12000));
    for (const std::string kind : {"wav", "mp3", "ogg", "flac", "ape"}) {
        SCOPED_TRACE(kind);
        const TTempDir dir;
        const std::string file = dir.File("song." + kind);
        // A source that fails half-way, and a run stopped half-way: the
        // file is kept (a recording) or not (a conversion), as the owner
        // says; never is a temporary left.
        for (const bool keep : {false, true}) {
            TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
            in.ChunkBytes = 4096;
            in.Hook = [](int Call) -> int {
                if (Call == 20)
                    throw EACSException("read error");
                return INT32_MIN;
            };
            auto out = MakeWriter(kind);
            out->SetFileName(file);
            out->SetInput(&in);
            out->SetKeepCutShort(keep);
            EXPECT_FALSE(RunToEnd(*out));
            EXPECT_EQ(FilesIn(dir.Path()), keep ? std::set<std::string>{"song." + kind} : std::set<std::string>{});
            std::filesystem::remove(file);
        }
        for (const bool keep : {false, true}) {
            TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
            std::atomic<int> reads{0};
            // After some audio the source has nothing more for now.
            in.Hook = [&reads](int Call) {
                reads = Call;
                return Call >= 10 ? -1 : INT32_MIN;
            };
            auto out = MakeWriter(kind);
            out->SetFileName(file);
            out->SetInput(&in);
            out->SetKeepCutShort(keep);
            out->Run();
            ASSERT_TRUE(WaitUntil([&] { return reads.load() >= 12; }, std::chrono::seconds(10)));
            const std::set<std::string> during = FilesIn(dir.Path());
            ASSERT_EQ(during.size(), 1U);
            EXPECT_TRUE(TPartFile::IsPartName(*during.begin())) << *during.begin();
            out->Stop();
            ASSERT_TRUE(out->WaitForIdle(std::chrono::seconds(10)));
            EXPECT_EQ(FilesIn(dir.Path()), keep ? std::set<std::string>{"song." + kind} : std::set<std::string>{});
        }
        // The kept file is replaced only when the owner allows it; its mode
        // is what the umask allows.
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
        const auto before = ReadWholeFile(file);
        for (const bool overwrite : {false, true}) {
            TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
            auto out = MakeWriter(kind);
            out->SetFileName(file);
            out->SetInput(&in);
            out->SetOverwrite(overwrite);
            std::string failure;
            EXPECT_EQ(RunToEnd(*out, &failure), overwrite) << failure;
            EXPECT_EQ(ReadWholeFile(file) == before, !overwrite);
            EXPECT_EQ(FilesIn(dir.Path()), std::set<std::string>{"song." + kind});
        }
    }
}

TEST(WriterFiles, TheNextRunClearsWhatAKilledRunLeft)
{
    const TTempDir dir;
    const auto pcm = AsBytes(Sine16(44100, 2, 44100, 440, 12000));
    // A writer killed while it wrote.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TPartFile part(dir.Path() / "a.flac");
        ::raise(SIGKILL);
        ::_exit(2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(FilesIn(dir.Path()).size(), 1U);

    TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
    TWaveOut out;
    out.SetFileName(dir.File("b.wav"));
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    EXPECT_EQ(FilesIn(dir.Path()), std::set<std::string>{"b.wav"});
    // A device is written as it is, never renamed over.
    TFakeInput again(CD, pcm, static_cast<std::int64_t>(pcm.size()));
    out.SetFileName("/dev/null");
    out.SetOverwrite(false);
    out.SetInput(&again);
    EXPECT_TRUE(RunToEnd(out));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

} // namespace
} // namespace kestrune::test
