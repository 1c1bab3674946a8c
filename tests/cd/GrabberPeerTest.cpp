#include "cd/TCdGrabber.h"
#include "cd/TCdioDriveProvider.h"
#include "cd/TCueImage.h"
#include "cd/TGrabEndWatch.h"
#include "common/TPlainDispatcher.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

using test::TCueImage;
using test::TCueImageTrack;

// What cd-paranoia reads from the same image is what we write, track by
// track, pregaps included.
TEST(GrabberPeerTest, TracksEqualWhatCdParanoiaReads)
{
    KESTRUNE_REQUIRE_TOOL("cd-paranoia");
    test::TTempDir dir;
    TCueImage image;
    image.Tracks = {
        {TCueImageTrack::tkSine, 160, 0, "USABC2400001", false, "One", ""},
        {TCueImageTrack::tkNoise, 200, 0, "", false, "Two", ""},
        {TCueImageTrack::tkNoise, 90, 30, "", true, "Three", ""},
        {TCueImageTrack::tkSine, 77, 12, "", false, "Four", ""},
    };
    const std::filesystem::path cue = image.Write(dir.Path(), "disc");

    TPlainDispatcher dispatcher;
    test::TGrabEndWatch watch;
    TCdGrabber grabber(dispatcher, std::make_shared<TCdioDriveProvider>(std::vector<std::string>{cue.string()}, false));
    grabber.SetEvents(&watch);
    grabber.Initialize();
    grabber.Refresh();
    ASSERT_EQ(grabber.TrackCount(), 4);
    for (int t = 0; t < 4; ++t) {
        SCOPED_TRACE(t);
        const std::string ours = dir.File("ours" + std::to_string(t) + ".wav");
        const std::string theirs = dir.File("theirs" + std::to_string(t) + ".raw");
        watch.Ended = false;
        grabber.SetCurrentTrack(t);
        grabber.GrabToFile(ours);
        ASSERT_TRUE(dispatcher.WaitServing([&watch] { return watch.Ended; }, std::chrono::seconds(30)));
        ASSERT_EQ(grabber.GrabError(), "");
        ASSERT_EQ(test::RunCommand("cd-paranoia -q -d " + test::ShellQuote(cue.string()) + " -r " +
                                   std::to_string(t + 1) + " " + test::ShellQuote(theirs) + " 2>/dev/null"),
                  0);
        std::vector<std::uint8_t> audio = test::ReadWholeFile(ours);
        ASSERT_GT(audio.size(), 44U);
        audio.erase(audio.begin(), audio.begin() + 44);
        const std::vector<std::uint8_t> reference = test::ReadWholeFile(theirs);
        ASSERT_EQ(audio.size(), reference.size());
        EXPECT_TRUE(audio == reference);
    }
}

} // namespace
} // namespace kestrune
