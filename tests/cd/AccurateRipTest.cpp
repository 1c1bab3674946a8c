#include "cd/TAccurateRipChecksum.h"
#include "cd/TAccurateRipClient.h"
#include "cd/TAccurateRipDisc.h"
#include "cd/TAccurateRipResponse.h"
#include "cd/TArFixture.h"
#include "cd/TFakeWebServices.h"
#include "cd/TRipLog.h"
#include "pipeline/EACSException.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

namespace kestrune {
namespace {

using test::TArFixture;
using test::TFakeAccurateRip;

// Each track of the fixture fed in blocks of several sizes, odd ones that
// split frames included: the sums must not depend on how the reads fall.
// The expected values were computed by an independent implementation (the
// one whipper ships) on the same audio, and by zlib for the CRC.
TEST(AccurateRipChecksumTest, FirstMiddleAndLastTracksOfAFixture)
{
    struct TCase {
        const char* Name;
        std::uint32_t Seed;
        int Sectors;
        bool First, Last;
        std::uint32_t V1, V2, Crc;
    };
    const TCase cases[] = {
        {"first of three", 1, 8, true, false, 0x6bc0cf8c, 0x6bf3442d, 0x54c97327},
        {"middle", 2, 6, false, false, 0x76532084, 0x76822663, 0xad47da22},
        {"last of three", 3, 10, false, true, 0xfbb65f1c, 0xfbd67c6d, 0x557250f2},
        {"only track", 7, 12, true, true, 0x6a63a12c, 0x6a84687f, 0x99595237},
    };
    for (const TCase& c : cases) {
        const std::vector<std::uint8_t> audio = TArFixture::Audio(c.Seed, c.Sectors);
        for (const std::size_t block :
             {std::size_t{1}, std::size_t{3}, std::size_t{2352}, std::size_t{4099}, audio.size()}) {
            SCOPED_TRACE(std::string(c.Name) + ", blocks of " + std::to_string(block));
            TAccurateRipChecksum sums(std::int64_t{c.Sectors} * 588, c.First, c.Last);
            for (std::size_t at = 0; at < audio.size(); at += block)
                sums.Add(audio.data() + at, std::min(block, audio.size() - at));
            EXPECT_TRUE(sums.Complete());
            EXPECT_EQ(sums.V1(), c.V1);
            EXPECT_EQ(sums.V2(), c.V2);
            EXPECT_EQ(sums.Crc32(), c.Crc);
        }
    }
}

TEST(AccurateRipDiscTest, IdsAndPathsOfKnownDiscs)
{
    const auto toc = [](const std::vector<std::pair<std::int32_t, TTrackType>>& Tracks, std::int32_t LeadOut) {
        TDiscToc t;
        int number = 0;
        for (const auto& [lsn, type] : Tracks)
            t.Tracks.push_back({++number, type == TTrackType::ttAudio ? 0 : 1, lsn, 0, type, false, ""});
        t.LeadOutLsn = LeadOut;
        return t;
    };
    constexpr TTrackType A = TTrackType::ttAudio;
    constexpr TTrackType D = TTrackType::ttMode1;
    struct TCase {
        const char* Name;
        TDiscToc Toc;
        const char* Path;
        int First, Last;
    };
    // The first two are published examples; the discs with data tracks
    // were worked out by whipper's table code.
    const TCase cases[] = {
        {"four tracks", toc({{0, A}, {11413, A}, {25024, A}, {45713, A}}, 55220),
         "a/9/8/dBAR-004-0002189a-00087f33-1f02e004.bin", 1, 4},
        {"nine tracks",
         toc({{20, A},
              {27995, A},
              {55030, A},
              {73782, A},
              {88725, A},
              {115730, A},
              {140640, A},
              {156397, A},
              {181252, A}},
             232432),
         "3/8/b/dBAR-009-00105b83-0077b665-8b0c1b09.bin", 1, 9},
        {"data track last", toc({{0, A}, {15000, A}, {30000, A}, {52000, D}}, 60000),
         "8/2/a/dBAR-003-00019a28-00057e41-20032004.bin", 1, 3},
        {"data track first", toc({{0, D}, {20000, A}, {35000, A}}, 50000),
         "8/2/a/dBAR-002-00019a28-00048058-24029a03.bin", 2, 3},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TAccurateRipDisc disc = TAccurateRipDisc::FromToc(c.Toc);
        EXPECT_EQ(disc.UrlPath(), c.Path);
        EXPECT_EQ(disc.FirstAudioTrack, c.First);
        EXPECT_EQ(disc.LastAudioTrack, c.Last);
    }
    EXPECT_THROW(TAccurateRipDisc::FromToc(toc({{0, D}}, 4000)), EACSException);
}

TArFixture::TDisc ThreeTracks()
{
    return TArFixture::Disc({{1, 8}, {2, 6}, {3, 10}});
}

TEST(AccurateRipResponseTest, ReadsChunksAndRefusesWhatDoesNotFit)
{
    const TArFixture::TDisc fixture = ThreeTracks();
    const TAccurateRipDisc& disc = fixture.Disc;
    const std::vector<std::vector<TAccurateRipEntry>> chunks{
        {{12, 0x11111111, 0xAAAA}, {12, 0x22222222, 0xBBBB}, {11, 0x33333333, 0xCCCC}},
        {{200, 0x44444444, 0}, {0, 0, 0}, {3, 0x55555555, 1}},
    };
    const std::string good = TAccurateRipResponse::Format(disc, chunks);
    ASSERT_EQ(good.size(), 2 * (13 + 3 * 9U));
    const TAccurateRipResponse::TParsed parsed = TAccurateRipResponse::Parse(good, disc);
    EXPECT_EQ(parsed.Error, "");
    EXPECT_EQ(parsed.Chunks, chunks);

    TAccurateRipDisc other = disc;
    other.Id2 ^= 1;
    std::string wrongCount = good;
    wrongCount[0] = 4;
    struct TCase {
        const char* Name;
        std::string Body;
        std::string Error; // empty: any reason will do
    };
    const TCase cases[] = {
        {"empty", "", "The AccurateRip answer is empty."},
        {"cut in a header", good.substr(0, 40 + 5), "The AccurateRip answer is cut off in the header of chunk 2."},
        {"cut in the tracks", good.substr(0, 40 + 13 + 10),
         "The AccurateRip answer is cut off in the tracks of chunk 2."},
        {"wrong track count", wrongCount, "The AccurateRip answer lists 4 tracks in chunk 1; the disc has 3."},
        {"another disc", TAccurateRipResponse::Format(other, chunks),
         "The AccurateRip answer is for another disc: chunk 1 names " + other.Name().substr(4) + ", not " +
             disc.Name().substr(4) + "."},
        {"an HTML page", "<html><body>Not here</body></html>", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TAccurateRipResponse::TParsed r = TAccurateRipResponse::Parse(c.Body, disc);
        EXPECT_TRUE(r.Chunks.empty());
        if (!c.Error.empty())
            EXPECT_EQ(r.Error, c.Error);
        else
            EXPECT_NE(r.Error, "");
    }
}


TEST(AccurateRipClientTest, VerdictsFromTheDatabase)
{
    const TArFixture::TDisc fixture = ThreeTracks();
    const TAccurateRipDisc& disc = fixture.Disc;
    const std::vector<std::optional<TAccurateRipSums>> ours{fixture.Sums[0], fixture.Sums[1], fixture.Sums[2]};
    // Track 1 is known by its v1 sum in one chunk and by its v2 sum in a
    // better-confirmed one; track 2 only under other sums; nobody sent
    // track 3.
    const std::vector<std::vector<TAccurateRipEntry>> chunks{
        {{5, ours[0]->V1, 0}, {7, 0xDEADBEEF, 0}, {0, 0, 0}},
        {{9, ours[0]->V2, 0}, {2, ours[1]->V1 + 1, 0}, {0, 0, 0}},
    };
    TFakeAccurateRip server(200, TAccurateRipResponse::Format(disc, chunks));
    TAccurateRipSettings settings;
    settings.Server = server.Root() + "/";
    TAccurateRipClient client(settings);
    const std::atomic<bool> cancel{false};
    const TAccurateRipLookup lookup = client.Lookup(fixture.Toc, cancel);
    ASSERT_EQ(lookup.Status, TAccurateRipLookup::lsFound) << lookup.Error;
    EXPECT_EQ(server.Paths, (std::vector<std::string>{"/accuraterip/" + disc.UrlPath()}));

    using V = TAccurateRipVerdict;
    EXPECT_EQ(TAccurateRipClient::Judge(lookup, 0, ours[0]), (V{V::vkAccurate, 9, 2, 14}));
    EXPECT_EQ(TAccurateRipClient::Judge(lookup, 1, ours[1]), (V{V::vkMismatch, 0, 0, 9}));
    EXPECT_EQ(TAccurateRipClient::Judge(lookup, 2, ours[2]), (V{V::vkNotInDatabase, 0, 0, 0}));
    EXPECT_EQ(TAccurateRipClient::Judge(lookup, 0, std::nullopt), V{});
    // Only the v1 entry left: it still proves the track.
    TAccurateRipLookup v1Only = lookup;
    v1Only.Chunks.pop_back();
    EXPECT_EQ(TAccurateRipClient::Judge(v1Only, 0, ours[0]), (V{V::vkAccurate, 5, 1, 5}));
}

TEST(AccurateRipClientTest, UnknownDiscsBrokenAnswersAndSilentServers)
{
    const TArFixture::TDisc fixture = ThreeTracks();
    const std::atomic<bool> noCancel{false};
    struct TCase {
        const char* Name;
        int Status;
        std::string Body;
        TAccurateRipLookup::TStatus Expect;
        std::string Error;
    };
    const TCase cases[] = {
        {"not in the database", 404, "<html>404</html>", TAccurateRipLookup::lsNotInDatabase, ""},
        {"server error", 503, "", TAccurateRipLookup::lsFailed,
         "The AccurateRip database answered with HTTP status 503."},
        {"malformed body", 200, "\x03garbage", TAccurateRipLookup::lsFailed,
         "The AccurateRip answer is cut off in the header of chunk 1."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeAccurateRip server(c.Status, c.Body);
        TAccurateRipSettings settings;
        settings.Server = server.Root();
        const TAccurateRipLookup lookup = TAccurateRipClient(settings).Lookup(fixture.Toc, noCancel);
        EXPECT_EQ(lookup.Status, c.Expect);
        EXPECT_EQ(lookup.Error, c.Error);
        EXPECT_TRUE(lookup.Chunks.empty());
        const TAccurateRipVerdict verdict = TAccurateRipClient::Judge(lookup, 0, fixture.Sums[0]);
        EXPECT_EQ(verdict.Kind, c.Expect == TAccurateRipLookup::lsNotInDatabase ? TAccurateRipVerdict::vkNotInDatabase
                                                                                : TAccurateRipVerdict::vkNotChecked);
    }

    // A server that never answers: the timeout ends the wait, and so does
    // a cancel well before it.
    TFakeAccurateRip silent(200, "", true);
    TAccurateRipSettings settings;
    settings.Server = silent.Root();
    settings.Timeout = std::chrono::milliseconds(300);
    auto start = std::chrono::steady_clock::now();
    TAccurateRipLookup lookup = TAccurateRipClient(settings).Lookup(fixture.Toc, noCancel);
    EXPECT_EQ(lookup.Status, TAccurateRipLookup::lsFailed);
    EXPECT_NE(lookup.Error.find("could not be reached"), std::string::npos) << lookup.Error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    settings.Timeout = std::chrono::seconds(30);
    std::atomic<bool> cancel{false};
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel = true;
    });
    start = std::chrono::steady_clock::now();
    lookup = TAccurateRipClient(settings).Lookup(fixture.Toc, cancel);
    canceller.join();
    EXPECT_EQ(lookup.Status, TAccurateRipLookup::lsFailed);
    EXPECT_EQ(lookup.Error, "Cancelled.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(RipLogTest, TellsEachTrackAndNeverReplacesAnEarlierLog)
{
    const TArFixture::TDisc fixture = ThreeTracks();
    test::TTempDir dir;
    const std::filesystem::path path = dir.Path() / "rip.log";
    const std::filesystem::path earlier = dir.Path() / "earlier.log";
    std::ofstream(earlier) << "an earlier log\n";

    TRipLog log;
    log.Time = std::chrono::system_clock::from_time_t(1765400000);
    log.DriveName = "/dev/sr0";
    log.DriveModel = "VENDOR MODEL 1.00";
    log.ReadMode = 1;
    log.ReadAttempts = 3;
    log.ReadAction = 1;
    log.Artist = "Probe Artist";
    log.Album = "Probe Album";
    log.Disc = fixture.Disc;
    log.Lookup = TAccurateRipLookup{TAccurateRipLookup::lsFound, fixture.Disc, {{}, {}}, ""};
    using V = TAccurateRipVerdict;
    log.Tracks = {
        {1, "01 One.wav", "", {1, 0x54C97327, 0x6BC0CF8C, 0x6BF3442D, 2}, {V::vkAccurate, 9, 2, 14}},
        {2, "02 Two.wav", "", {2, 0xAD47DA22, 1, 2, 0, 2}, {V::vkMismatch, 0, 0, 9}},
        {3, "03 Three.wav", "Sector 5 of the track could not be read.", {}, {}},
    };
    log.Write(path);

    std::ifstream in(path);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const std::string& expected : std::vector<std::string>{
             "Kestrune rip log, 2025-12-10 20:53:20 UTC\n",
             "Album: Probe Artist / Probe Album\n",
             "Drive: /dev/sr0 (VENDOR MODEL 1.00)\n",
             "Read mode: overlapping reads, compared\n",
             "Read attempts per sector: 3\n",
             "Unreadable sector: replace it by silence\n",
             "AccurateRip disc: " + fixture.Disc.Name() + "\n",
             "AccurateRip database: 2 entries for this disc\n",
             std::string("Track 1\n  File: 01 One.wav\n  Retries: 2\n  CRC32: 54C97327\n  AccurateRip v1: 6BC0CF8C\n") +
                 "  AccurateRip v2: 6BF3442D\n  Verdict: accurately ripped (confidence 9, AccurateRip v2)\n",
             "Track 2\n  File: 02 Two.wav\n  Retries: 0\n"
             "  Damaged: 2 sectors could not be read and were replaced by silence.\n  CRC32: AD47DA22\n",
             "  Verdict: mismatched: none of 9 submitted rips has these checksums\n",
             "Track 3\n  File: 03 Three.wav\n  Not read: Sector 5 of the track could not be read.\n",
             "\nSummary: 1 of 3 tracks accurately ripped, 1 mismatched, 1 not read.\n",
         })
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin:\n" << text;
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::others_read);

    // Summaries of other outcomes.
    log.Tracks = {log.Tracks[0], log.Tracks[0]};
    EXPECT_EQ(log.Summary(), "All 2 tracks accurately ripped.");
    log.Tracks[1].Verdict = V{V::vkNotInDatabase, 0, 0, 0};
    log.Tracks.push_back(log.Tracks[0]);
    log.Tracks[2].Verdict = V{};
    EXPECT_EQ(log.Summary(), "1 of 3 tracks accurately ripped, 1 not in the database, 1 not verified.");

    // A folder that is not there: a clear failure, nothing half-written.
    EXPECT_THROW(log.Write(dir.Path() / "missing" / "rip.log"), EACSException);
    // A log that is there stays as it was.
    EXPECT_THROW(log.Write(earlier), EACSException);
    const std::vector<std::uint8_t> kept = test::ReadWholeFile(earlier.string());
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "an earlier log\n");
    // No temporary file is left beside them.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"earlier.log", "rip.log"}));
}

} // namespace
} // namespace kestrune
