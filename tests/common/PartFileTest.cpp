#include "common/TPartFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;

namespace {

std::set<std::string> Names(const fs::path& Folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder))
        names.insert(entry.path().filename().string());
    return names;
}

void WriteAll(int Fd, const std::string& Text)
{
    ASSERT_EQ(::write(Fd, Text.data(), Text.size()), static_cast<ssize_t>(Text.size()));
}

std::string Contents(const fs::path& File)
{
    std::ifstream in(File, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Restores the umask a test changed.
class TUmask {
public:
    explicit TUmask(mode_t Mask) : Old(::umask(Mask)) {}
    ~TUmask() { ::umask(Old); }
    TUmask(const TUmask&) = delete;
    TUmask& operator=(const TUmask&) = delete;

private:
    mode_t Old;
};

// Writes Text into a temporary for Target in a child process and kills it
// there with SIGKILL, as kill -9 leaves a writer; true when it died so.
bool KilledWriter(const fs::path& Target, const std::string& Text, bool KeepIfKilled = false)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        TPartFile part(Target, false, KeepIfKilled);
        if (::write(part.Fd(), Text.data(), Text.size()) != static_cast<ssize_t>(Text.size()))
            ::_exit(3);
        ::raise(SIGKILL);
        ::_exit(2);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

} // namespace

TEST(PartFile, WritesBesideTheTargetAndNamesItOnlyOnCommit)
{
    TTempDir dir;
    for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{002}}) {
        const TUmask umask(mask);
        const fs::path target = dir.Path() / ("song " + std::to_string(mask) + ".flac");
        TPartFile part(target);
        // Hidden, beside the target, recognisable, and not the target.
        EXPECT_EQ(part.TempPath().parent_path(), dir.Path());
        EXPECT_TRUE(TPartFile::IsPartName(part.TempPath().filename().string())) << part.TempPath();
        EXPECT_EQ(part.TempPath().filename().string().rfind("." + target.filename().string() + ".", 0), 0U);
        WriteAll(part.Fd(), "audio");
        EXPECT_FALSE(fs::exists(target));
        part.Commit();
        EXPECT_EQ(Contents(target), "audio");
        EXPECT_TRUE(part.TempPath().empty());
        struct stat info {};
        ASSERT_EQ(::stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << "umask " << mask;
    }
    for (const std::string& name : Names(dir.Path()))
        EXPECT_FALSE(TPartFile::IsPartName(name)) << name;
}

TEST(PartFile, NeverReplacesAFileUnlessAskedTo)
{
    TTempDir dir;
    const fs::path target = dir.Path() / "a.wav";
    std::ofstream(target) << "the user's file";
    {
        TPartFile part(target);
        WriteAll(part.Fd(), "new");
        EXPECT_THROW(part.Commit(), std::runtime_error);
    }
    EXPECT_EQ(Contents(target), "the user's file");
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"a.wav"});

    TPartFile part(target, true);
    WriteAll(part.Fd(), "new");
    part.Commit();
    EXPECT_EQ(Contents(target), "new");
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"a.wav"});
}

TEST(PartFile, UncommittedLeavesNothingAndLongNamesFit)
{
    TTempDir dir;
    {
        TPartFile part(dir.Path() / "gone.ogg");
        WriteAll(part.Fd(), "half");
    }
    {
        TPartFile part(dir.Path() / "gone too.ogg");
        part.Discard();
        EXPECT_TRUE(part.TempPath().empty());
    }
    EXPECT_TRUE(Names(dir.Path()).empty());

    // A name as long as a file name can be: its temporary still fits.
    std::string longName;
    while (longName.size() < 250)
        longName += "\xC3\xA9"; // é, so a cut could land inside a letter
    longName += ".wav";
    TPartFile part(dir.Path() / longName);
    EXPECT_TRUE(TPartFile::IsPartName(part.TempPath().filename().string()));
    part.Commit();
    EXPECT_TRUE(fs::exists(dir.Path() / longName));
}

TEST(PartFile, ClearsOnlyTheLeftoversOfDeadWriters)
{
    TTempDir dir;
    // A writer killed half-way, as kill -9 leaves it.
    ASSERT_TRUE(KilledWriter(dir.Path() / "killed.flac", "half"));
    std::set<std::string> before = Names(dir.Path());
    ASSERT_EQ(before.size(), 1U);
    const std::string leftover = *before.begin();
    EXPECT_TRUE(TPartFile::IsPartName(leftover)) << leftover;

    // A writer of this process still at work, a temporary named for this
    // (live) process but not locked, and files that only look alike.
    TPartFile live(dir.Path() / "live.flac");
    const std::string liveName = live.TempPath().filename().string();
    const std::string unlocked = ".other.wav." + std::to_string(::getpid()) + "-999.kestrune-part";
    std::ofstream(dir.Path() / unlocked) << "x";
    const std::set<std::string> others{"song.kestrune-part", ".song.kestrune-part", ".song.x-1.kestrune-part",
                                       "notes.txt"};
    for (const std::string& name : others)
        std::ofstream(dir.Path() / name) << "x";

    EXPECT_EQ(TPartFile::ClearLeftovers(dir.Path()), 1);
    std::set<std::string> expected = others;
    expected.insert({liveName, unlocked});
    EXPECT_EQ(Names(dir.Path()), expected);
    // The live writer finishes normally afterwards.
    live.Commit();
    EXPECT_TRUE(fs::exists(dir.Path() / "live.flac"));
    EXPECT_EQ(TPartFile::ClearLeftovers(dir.Path() / "no such folder"), 0);
}

TEST(PartFile, AKilledRecordingsLeftoverIsNamedNotRemoved)
{
    TTempDir dir;
    std::ofstream(dir.Path() / "Track1 (recovered).WAV") << "earlier";
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(KilledWriter(dir.Path() / "Track1.WAV", "audio", true));
    EXPECT_EQ(TPartFile::ClearLeftovers(dir.Path()), 2);
    EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"Track1 (recovered).WAV", "Track1 (recovered 2).WAV",
                                                         "Track1 (recovered 3).WAV"}));
    EXPECT_EQ(Contents(dir.Path() / "Track1 (recovered).WAV"), "earlier");
    EXPECT_EQ(Contents(dir.Path() / "Track1 (recovered 3).WAV"), "audio");
}
