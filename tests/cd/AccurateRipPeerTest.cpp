#include "cd/TCdGrabber.h"
#include "cd/TCdioDriveProvider.h"
#include "cd/TCueImage.h"
#include "cd/TGrabEndWatch.h"
#include "common/TPlainDispatcher.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kestrune {
namespace {

using test::TCueImage;
using test::TCueImageTrack;

// whipper lives in the system's Python, not in whichever one PATH finds.
constexpr const char* SystemPython = "/usr/bin/python3";

std::string Hex(std::uint32_t Value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", Value);
    return text;
}

std::string FirstLine(const std::string& Command)
{
    std::string out;
    EXPECT_EQ(test::RunCommand(Command, &out), 0) << Command;
    return out.substr(0, out.find('\n'));
}

// The checksums our grabber computes while reading equal those that
// whipper's own AccurateRip code and its CRC computes from the files written,
// for the first track (its left-out head), middle ones, and the last audio
// track (its left-out tail; a data track follows it on this disc).
TEST(AccurateRipPeerTest, ChecksumsEqualWhippersOnTheSameAudio)
{
    if (!test::HaveTool("accuraterip-checksum") ||
        test::RunCommand(std::string(SystemPython) + " -c 'import whipper.common.checksum' 2>/dev/null") != 0)
        GTEST_SKIP() << "whipper is not installed (Debian package whipper): the checksums are compared with "
                        "fixed values only";
    test::TTempDir dir;
    TCueImage image;
    image.Tracks = {
        {TCueImageTrack::tkSine, 160, 0, "", false, "One", ""},
        {TCueImageTrack::tkNoise, 200, 0, "", false, "Two", ""},
        {TCueImageTrack::tkNoise, 90, 30, "", false, "Three", ""},
        {TCueImageTrack::tkSine, 77, 12, "", false, "Four", ""},
        {TCueImageTrack::tkData, 60, 0, "", false, "", ""},
    };
    const std::filesystem::path cue = image.Write(dir.Path(), "disc");

    TPlainDispatcher dispatcher;
    test::TGrabEndWatch watch;
    TCdGrabber grabber(dispatcher, std::make_shared<TCdioDriveProvider>(std::vector<std::string>{cue.string()}, false));
    grabber.SetEvents(&watch);
    grabber.Initialize();
    grabber.Refresh();
    ASSERT_EQ(grabber.TrackCount(), 5);
    const int audioTracks = 4;
    for (int t = 0; t < audioTracks; ++t) {
        SCOPED_TRACE("track " + std::to_string(t + 1));
        const std::string wav = dir.File("track" + std::to_string(t + 1) + ".wav");
        watch.Ended = false;
        grabber.SetCurrentTrack(t);
        grabber.GrabToFile(wav);
        ASSERT_TRUE(dispatcher.WaitServing([&watch] { return watch.Ended; }, std::chrono::seconds(30)));
        ASSERT_EQ(grabber.GrabError(), "");
        const TTrackChecks* ours = grabber.GrabChecks(t + 1);
        ASSERT_NE(ours, nullptr);

        const std::string where =
            test::ShellQuote(wav) + " " + std::to_string(t + 1) + " " + std::to_string(audioTracks);
        EXPECT_EQ(FirstLine("accuraterip-checksum --accuraterip-v1 " + where), Hex(ours->ArV1));
        EXPECT_EQ(FirstLine("accuraterip-checksum --accuraterip-v2 " + where), Hex(ours->ArV2));
        EXPECT_EQ(FirstLine(std::string(SystemPython) +
                            " -c 'import sys\nfrom whipper.common import checksum\nfrom whipper.extern.task import "
                            "task\nt = checksum.CRC32Task(sys.argv[1])\ntask.SyncRunner(verbose=False).run(t)\n"
                            "print(\"%08X\" % t.checksum)' " +
                            test::ShellQuote(wav) + " 2>/dev/null"),
                  Hex(ours->Crc32));
    }
}

} // namespace
} // namespace kestrune
