#include "common/TPartFile.h"
#include "formats/TWaveIn.h"
#include "pipeline/ByteOrder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;

namespace {

constexpr int Rate = 22050;

// Songs of the given seconds with a second of quiet after each.
std::string WriteMix(const TTempDir& Dir, const std::vector<double>& Songs)
{
    std::vector<std::int16_t> mix;
    for (double seconds : Songs) {
        const auto song = Sine16(static_cast<int>(seconds * Rate), 2, Rate, 440, 12000);
        mix.insert(mix.end(), song.begin(), song.end());
        mix.insert(mix.end(), static_cast<size_t>(Rate) * 2, 0);
    }
    WriteWholeFile(Dir.File("mix.wav"), PcmWavImage(mix, 2, Rate));
    return Dir.File("mix.wav");
}

// Starts kestrune-cli record into Dir/Records/A; stderr into Dir/err.txt.
pid_t StartRecording(const TTempDir& Dir, const std::string& Mix, bool Fast, rlim_t FileLimit = RLIM_INFINITY)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (FileLimit != RLIM_INFINITY) {
        // Writes past the limit fail with EFBIG instead of killing the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{FileLimit, FileLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    const int err = open(Dir.File("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, 2);
    const std::string device = "virtual:" + Mix, folder = Dir.File("Records"), config = Dir.File("k.ini");
    std::vector<const char*> args{
        KESTRUNE_CLI, "record", "--album",      "A",     "--folder", folder.c_str(), "--device",   device.c_str(),
        "--format",   "WAV",    "--rate",       "22050", "--bits",   "16",           "--channels", "2",
        "--silence",  "500",    "--min-length", "1",     "--config", config.c_str(), "--quiet"};
    if (Fast)
        args.push_back("--fast");
    args.push_back(nullptr);
    execv(KESTRUNE_CLI, const_cast<char* const*>(args.data()));
    _exit(127);
}

} // namespace

TEST(RecordingCrash, KillDuringWavRecordingLeavesFinishedTracksIntactAndTheLastReadable)
{
    TTempDir dir;
    const std::string mix = WriteMix(dir, {1.5, 30});
    const pid_t pid = StartRecording(dir, mix, false);
    const std::string album = dir.File("Records/A");
    // Real time: the first track ends after about 2 s, the second is under way.
    for (int i = 0; i < 100 && !fs::exists(album + "/Track1.WAV"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    // Ended by the kill, not by a crash or an exit of its own before it.
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(WTERMSIG(status), SIGKILL);

    const std::string first = album + "/Track0.WAV";
    ASSERT_TRUE(fs::exists(first));
    const std::int64_t frames = FramesIn<TWaveIn>(first);
    // The header is exact (the file goes on with the track's tag list).
    const auto firstBytes = ReadWholeFile(first);
    EXPECT_EQ(static_cast<std::int64_t>(GetLe32(firstBytes.data() + 40)), frames * 4);
    EXPECT_EQ(GetLe32(firstBytes.data() + 4), firstBytes.size() - 8);
    EXPECT_GE(frames, static_cast<std::int64_t>(1.5 * Rate));
    // The unfinished track never got its name: it is left under a temporary
    // name that says what it is; its header was never patched and its audio
    // reads to the end.
    EXPECT_FALSE(fs::exists(album + "/Track1.WAV"));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(album))
        if (TPartFile::IsPartName(entry.path().filename().string()))
            left.push_back(entry.path().string());
    ASSERT_EQ(left.size(), 1U);
    EXPECT_EQ(fs::path(left.front()).filename().string().rfind(".Track1.WAV.", 0), 0U) << left.front();
    const std::int64_t kept = FramesIn<TWaveIn>(left.front());
    EXPECT_GT(kept, Rate / 2);
    // The next run in the folder does not remove audio that cannot be
    // recorded again: it names it.
    EXPECT_EQ(TPartFile::ClearLeftovers(album), 1);
    EXPECT_FALSE(fs::exists(left.front()));
    const std::string recovered = album + "/Track1 (recovered).WAV";
    ASSERT_TRUE(fs::exists(recovered));
    EXPECT_EQ(FramesIn<TWaveIn>(recovered), kept);
}

TEST(RecordingCrash, FullFileSystemEndsWithErrorAndKeepsEarlierTracks)
{
    TTempDir dir;
    // 2 s of song is about 180 KB, 10 s about 880 KB: the limit falls inside the second.
    const std::string mix = WriteMix(dir, {2, 10});
    const pid_t pid = StartRecording(dir, mix, true, 400000);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto err = ReadWholeFile(dir.File("err.txt"));
    const std::string text(err.begin(), err.end());
    EXPECT_NE(text.find("Error "), std::string::npos) << text;

    const std::string first = dir.File("Records/A/Track0.WAV");
    const std::int64_t frames = FramesIn<TWaveIn>(first);
    // The header is exact (the file goes on with the track's tag list).
    const auto firstBytes = ReadWholeFile(first);
    EXPECT_EQ(static_cast<std::int64_t>(GetLe32(firstBytes.data() + 40)), frames * 4);
    EXPECT_EQ(GetLe32(firstBytes.data() + 4), firstBytes.size() - 8);
    EXPECT_GE(frames, 2 * Rate);
}
