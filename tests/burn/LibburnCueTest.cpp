#include "burn/TBurnFixture.h"
#include "burn/TImageWriter.h"
#include "formats/TagTrackFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <libburn/libburn.h>

#include <filesystem>
#include <unistd.h>

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using namespace burn; // the header's C++ name space

std::string CdText(unsigned char* Payload, int Length)
{
    return Payload && Length > 0 ? std::string(reinterpret_cast<char*>(Payload)) : std::string();
}

// libburn, which drives real burners, takes our cue for an audio session of
// the same tracks and sectors, with its CD-TEXT. libburn counts the gap in
// front of a track as that track's head, so its track 2 is the gap and the
// audio of the second file; the sectors written are the same.
TEST(LibburnCue, ReadsOurImageAsAnAudioSession)
{
    test::TTempDir dir;
    std::vector<TImageTrack> queue;
    const int frames[] = {5 * 44100 + 100, 6 * 44100, 4 * 44100 + 1};
    for (int i = 0; i < 3; ++i) {
        const std::string file =
            test::WriteWav(dir.File("t" + std::to_string(i) + ".wav"), test::Noise16(frames[i], 2, 20 + i), 2, 44100);
        TagTrackFile(file, "Song " + std::to_string(i + 1), "Band", "Record", "");
        queue.push_back({file, i == 2 ? "DEXYZ2400003" : "", "", ""});
    }
    TImageWriter writer(dir.Path() / "disc.cue");
    ASSERT_EQ(writer.Write(queue), TImageWriter::TResult::irWritten);
    const TImageLayout layout = writer.Plan(queue);

    ASSERT_EQ(burn_initialize(), 1);
    struct burn_session* session = burn_session_create();
    // libburn opens the cue's FILE from the current folder.
    const fs::path here = fs::current_path();
    fs::current_path(dir.Path());
    std::string cue = "disc.cue";
    unsigned char* packs = nullptr;
    int packCount = 0;
    const int parsed = burn_session_by_cue_file(session, cue.data(), 0, nullptr, &packs, &packCount, 0);
    fs::current_path(here);
    ASSERT_GT(parsed, 0);

    int count = 0;
    struct burn_track** tracks = burn_session_get_tracks(session, &count);
    ASSERT_EQ(count, 3);
    int total = 0;
    for (int t = 0; t < count; ++t) {
        SCOPED_TRACE(t);
        const TImageTrackPlace& place = layout.Tracks[static_cast<std::size_t>(t)];
        EXPECT_EQ(burn_track_get_sectors(tracks[t]), place.Start - place.GapStart + place.Sectors);
        total += burn_track_get_sectors(tracks[t]);
        unsigned char* payload = nullptr;
        int length = 0;
        ASSERT_GT(burn_track_get_cdtext(tracks[t], 0, 0x80, nullptr, &payload, &length, 0), 0);
        EXPECT_EQ(CdText(payload, length), "Song " + std::to_string(t + 1));
    }
    EXPECT_EQ(total, layout.TotalSectors);
    unsigned char* payload = nullptr;
    int length = 0;
    ASSERT_GT(burn_session_get_cdtext(session, 0, 0x80, nullptr, &payload, &length, 0), 0);
    EXPECT_EQ(CdText(payload, length), "Record");
    ASSERT_GT(burn_session_get_cdtext(session, 0, 0x81, nullptr, &payload, &length, 0), 0);
    EXPECT_EQ(CdText(payload, length), "Band");
    // The lead-in packs an SAO write would carry.
    unsigned char* leadIn = nullptr;
    int leadInCount = 0;
    EXPECT_GT(burn_cdtext_from_session(session, &leadIn, &leadInCount, 0), 0);
    EXPECT_GT(leadInCount, 0);
    free(leadIn);
    free(packs);

    burn_session_free(session); // and its tracks
    burn_finish();
}

} // namespace
} // namespace kestrune
