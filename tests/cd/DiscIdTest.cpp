#include "cd/TDiscToc.h"
#include "cd/TSha1.h"
#include "pipeline/EACSException.h"

#include <discid/discid.h>
#include <gtest/gtest.h>

#include <memory>

namespace kestrune {
namespace {

// A table of contents from frame offsets (with the lead-in) and the lead-out
// frame, the way the freedb documents give them.
TDiscToc FromOffsets(const std::vector<int>& Offsets, int LeadOutFrame)
{
    TDiscToc toc;
    for (std::size_t i = 0; i < Offsets.size(); ++i) {
        TTocTrack t;
        t.Number = static_cast<int>(i) + 1;
        t.StartLsn = Offsets[i] - TDiscToc::LeadInSectors;
        toc.Tracks.push_back(t);
    }
    toc.LeadOutLsn = LeadOutFrame - TDiscToc::LeadInSectors;
    return toc;
}

struct TDiscIdCase {
    const char* Name;
    std::vector<int> Offsets;
    int LeadOutFrame;
    const char* CddbId; // nullptr: only compared with libdiscid
};

const std::vector<TDiscIdCase>& Cases()
{
    static const std::vector<TDiscIdCase> cases{
        // The xmcd documentation's example: 2474 seconds.
        {"xmcd example",
         {150, 15094, 33264, 56071, 65515, 80900, 104437, 129474, 143140, 174593},
         2474 * 75 + 30,
         "8309a80a"},
        // Three tracks with a pregap before the third, a few seconds long.
        {"short image", {150, 300, 555}, 668, "0d000603"},
        {"one track", {150}, 150 + 75 * 60 * 74, nullptr},
        {"late first track", {182, 20000, 41000, 90000}, 200000, nullptr},
    };
    return cases;
}

std::string LibDiscIdMusicBrainz(const std::vector<int>& Offsets, int LeadOutFrame, std::uint32_t* FreeDbId)
{
    std::unique_ptr<DiscId, decltype(&discid_free)> disc(discid_new(), &discid_free);
    std::vector<int> offsets{LeadOutFrame};
    offsets.insert(offsets.end(), Offsets.begin(), Offsets.end());
    EXPECT_EQ(discid_put(disc.get(), 1, static_cast<int>(Offsets.size()), offsets.data()), 1)
        << discid_get_error_msg(disc.get());
    *FreeDbId = static_cast<std::uint32_t>(std::stoul(discid_get_freedb_id(disc.get()), nullptr, 16));
    return discid_get_id(disc.get());
}

TEST(DiscIdTest, IdentifiersMatchTheDocumentedVectorsAndLibDiscId)
{
    for (const TDiscIdCase& c : Cases()) {
        SCOPED_TRACE(c.Name);
        const TDiscToc toc = FromOffsets(c.Offsets, c.LeadOutFrame);
        if (c.CddbId != nullptr) {
            EXPECT_EQ(toc.CddbIdText(), c.CddbId);
        }
        std::uint32_t freeDb = 0;
        const std::string musicBrainz = LibDiscIdMusicBrainz(c.Offsets, c.LeadOutFrame, &freeDb);
        EXPECT_EQ(toc.CddbId(), freeDb);
        EXPECT_EQ(toc.MusicBrainzId(), musicBrainz);
        EXPECT_EQ(toc.MusicBrainzId().size(), 28U);
    }
}

TEST(DiscIdTest, QueryFiguresCountTheLeadIn)
{
    const TDiscToc toc = FromOffsets({150, 300, 555}, 668);
    EXPECT_EQ(toc.FrameOffsets(), (std::vector<std::int32_t>{150, 300, 555}));
    EXPECT_EQ(toc.DiscSeconds(), 8);
}

TEST(DiscIdTest, ImpossibleTablesAreRefused)
{
    std::vector<TDiscToc> bad;
    bad.push_back(TDiscToc{});                   // no tracks
    bad.push_back(FromOffsets({150, 150}, 600)); // second track does not move on
    bad.push_back(FromOffsets({150, 300}, 300)); // lead-out at the last start
    TDiscToc skipped = FromOffsets({150, 300}, 600);
    skipped.Tracks[1].Number = 3; // a number left out
    bad.push_back(skipped);
    for (const TDiscToc& toc : bad) {
        EXPECT_THROW((void)toc.CddbId(), EACSException);
        EXPECT_THROW((void)toc.MusicBrainzId(), EACSException);
    }
}

TEST(DiscIdTest, Sha1OfKnownTexts)
{
    const auto hex = [](const TSha1::TDigest& D) {
        std::string s;
        char b[3];
        for (const std::uint8_t v : D) {
            std::snprintf(b, sizeof b, "%02x", v);
            s += b;
        }
        return s;
    };
    EXPECT_EQ(hex(TSha1::Of("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hex(TSha1::Of("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    // Two blocks: the padding spills over.
    EXPECT_EQ(hex(TSha1::Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
}

} // namespace
} // namespace kestrune
