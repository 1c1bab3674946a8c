#include "cd/TCdGrabber.h"
#include "cd/TCdioDriveProvider.h"
#include "cd/TCueImage.h"
#include "common/TPlainDispatcher.h"
#include "pipeline/EACSException.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace kestrune {
namespace {

using namespace std::chrono_literals;

struct TChangeEvents final : ICdGrabberEvents {
    explicit TChangeEvents(IDispatcher& D) : Dispatcher(D) {}
    IDispatcher& Dispatcher;
    int MediaChanges = 0;
    bool OffWindowThread = false;
    bool GrabEnded = false;
    void OnMediaChange() override
    {
        OffWindowThread = OffWindowThread || !Dispatcher.IsWindowThread();
        ++MediaChanges;
    }
    void OnOperationProgress(double P) override { GrabEnded = GrabEnded || P == 100.0; }
    void OnGrabRetry(int, int) override {}
    void OnFreeDBQueryStatus(int) override {}
};

// One audio track whose reading waits for a gate, so that a grab can be
// held open for as long as a test needs.
class TGatedDrive final : public ICdDrive {
public:
    explicit TGatedDrive(std::atomic<bool>& Gate) : FGate(Gate) {}
    TDiscPresence Presence() override { return TDiscPresence::dpUsable; }
    TDiscToc Toc() override
    {
        TDiscToc toc;
        toc.Tracks = {{1, 0, 0, 20, TTrackType::ttAudio, false, ""}};
        toc.LeadOutLsn = 20;
        return toc;
    }
    TCdText CdText() override { return {}; }
    int MediaType() override { return 0; }
    std::unique_ptr<ISectorReader> Read(std::int32_t, std::int32_t, int, int, TRetry) override
    {
        struct TReader final : ISectorReader {
            std::atomic<bool>* Gate;
            bool Next(std::uint8_t* Out) override
            {
                while (!Gate->load())
                    std::this_thread::sleep_for(1ms);
                std::fill(Out, Out + TDiscToc::SectorBytes, std::uint8_t{0});
                return true;
            }
        };
        auto reader = std::make_unique<TReader>();
        reader->Gate = &FGate;
        return reader;
    }
    void Eject() override {}
    void LoadTray() override {}

private:
    std::atomic<bool>& FGate;
};

// A drive whose medium the test swaps by changing its stamp; it counts the
// probes so that a test can tell polling from silence.
class TStampProvider final : public ICdDriveProvider {
public:
    std::atomic<bool> Gate{true};

    std::vector<TDriveEntry> List() override { return {{"fake0", "Vendor", "Model", "1.0"}}; }
    std::unique_ptr<ICdDrive> Open(const std::string&) override { return std::make_unique<TGatedDrive>(Gate); }
    std::optional<std::string> MediaStamp(const std::string&) override
    {
        const std::lock_guard<std::mutex> lock(Mutex);
        ++Probes;
        return Stamp;
    }
    void SetStamp(const std::string& S)
    {
        const std::lock_guard<std::mutex> lock(Mutex);
        Stamp = S;
    }
    int ProbeCount()
    {
        const std::lock_guard<std::mutex> lock(Mutex);
        return Probes;
    }

private:
    std::mutex Mutex;
    std::string Stamp = "disc A";
    int Probes = 0;
};

class MediaWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Grabber = std::make_unique<TCdGrabber>(Dispatcher, Provider);
        Grabber->SetEvents(&Events);
        Grabber->SetMediaPollInterval(5ms);
        Grabber->Initialize();
        Grabber->Refresh();
    }

    // Serves the window thread until the provider was probed Count more
    // times, so that "no event" means the watch looked and saw nothing new.
    bool ServeProbes(int Count)
    {
        const int until = Provider->ProbeCount() + Count;
        return Dispatcher.WaitServing([&] { return Provider->ProbeCount() >= until; }, 5s);
    }

    bool WaitChanges(int Count)
    {
        return Dispatcher.WaitServing([&] { return Events.MediaChanges >= Count; }, 5s);
    }

    TPlainDispatcher Dispatcher;
    std::shared_ptr<TStampProvider> Provider = std::make_shared<TStampProvider>();
    TChangeEvents Events{Dispatcher};
    std::unique_ptr<TCdGrabber> Grabber;
};

TEST_F(MediaWatchTest, EachDiscTakenOutPutInOrSwappedIsReportedOnceOnTheWindowThread)
{
    ASSERT_TRUE(ServeProbes(3));
    EXPECT_EQ(Events.MediaChanges, 0);
    const char* steps[] = {"", "disc B", "disc C", ""};
    int expected = 0;
    for (const char* stamp : steps) {
        SCOPED_TRACE(stamp);
        Provider->SetStamp(stamp);
        ASSERT_TRUE(WaitChanges(++expected));
        // The change is told once, not at every probe that still sees it.
        ASSERT_TRUE(ServeProbes(3));
        EXPECT_EQ(Events.MediaChanges, expected);
    }
    EXPECT_FALSE(Events.OffWindowThread);
}

TEST_F(MediaWatchTest, ReadingTheDiscAgainTakesInAChangeNotYetReported)
{
    Provider->SetStamp("disc B");
    // The window reads the new disc before the watch's report arrives: the
    // report is stale and dropped, and the new disc is the one known.
    Grabber->Refresh();
    ASSERT_TRUE(ServeProbes(5));
    EXPECT_EQ(Events.MediaChanges, 0);
    // A second drive choice is a new baseline too.
    Provider->SetStamp("disc C");
    Grabber->SetCurrentDrive(1);
    ASSERT_TRUE(ServeProbes(5));
    EXPECT_EQ(Events.MediaChanges, 0);
}

TEST_F(MediaWatchTest, AGrabIsNotDisturbedAndAChangeDuringItIsReportedAfterwards)
{
    Provider->Gate = false;
    test::TTempDir dir;
    Grabber->GrabToFile(dir.Path() / "t1.wav");
    // A probe already under way when the grab began may still finish.
    std::this_thread::sleep_for(20ms);
    const int probes = Provider->ProbeCount();
    Provider->SetStamp("disc B");
    Dispatcher.WaitServing([] { return false; }, 100ms);
    EXPECT_EQ(Provider->ProbeCount(), probes);
    EXPECT_EQ(Events.MediaChanges, 0);

    Provider->Gate = true;
    ASSERT_TRUE(Dispatcher.WaitServing([this] { return Events.GrabEnded; }, 5s));
    ASSERT_TRUE(WaitChanges(1));
    EXPECT_EQ(Events.MediaChanges, 1);
}

TEST_F(MediaWatchTest, ShutdownAndDestructionEndThePolling)
{
    ASSERT_TRUE(ServeProbes(2));
    Grabber->Shutdown();
    int probes = Provider->ProbeCount();
    Provider->SetStamp("disc B");
    Dispatcher.WaitServing([] { return false; }, 60ms);
    EXPECT_EQ(Provider->ProbeCount(), probes);
    EXPECT_EQ(Events.MediaChanges, 0);

    // Reading the disc again watches again; destroying the grabber ends it,
    // and a report already posted is dropped with it.
    Grabber->Refresh();
    Provider->SetStamp("disc C");
    // Two probes without serving the window thread: the change is found and
    // its report waits in the queue when the grabber goes.
    const int until = Provider->ProbeCount() + 2;
    while (Provider->ProbeCount() < until)
        std::this_thread::sleep_for(1ms);
    Grabber.reset();
    probes = Provider->ProbeCount();
    Dispatcher.WaitServing([] { return false; }, 60ms);
    EXPECT_EQ(Provider->ProbeCount(), probes);
    EXPECT_EQ(Events.MediaChanges, 0);
}

// A BIN/CUE image is a disc whose change is its files changing: rewritten
// (another disc burned to the same name) or removed (taken out).
TEST(MediaWatchImageTest, AnImageRewrittenOrRemovedIsAMediaChange)
{
    test::TTempDir dir;
    test::TCueImage first;
    first.Tracks = {{test::TCueImageTrack::tkSine, 100, 0, "", false, "", ""}};
    const auto cue = first.Write(dir.Path(), "disc");

    TPlainDispatcher dispatcher;
    TChangeEvents events(dispatcher);
    TCdGrabber grabber(dispatcher, std::make_shared<TCdioDriveProvider>(std::vector<std::string>{cue.string()}, false));
    grabber.SetEvents(&events);
    grabber.SetMediaPollInterval(5ms);
    grabber.Initialize();
    grabber.Refresh();
    ASSERT_EQ(grabber.TrackCount(), 1);
    const auto waitChanges = [&](int Count) {
        return dispatcher.WaitServing([&] { return events.MediaChanges >= Count; }, 5s);
    };
    EXPECT_FALSE(dispatcher.WaitServing([&] { return events.MediaChanges > 0; }, 50ms));

    test::TCueImage second = first;
    second.Tracks.push_back({test::TCueImageTrack::tkNoise, 80, 0, "", false, "", ""});
    second.Write(dir.Path(), "disc");
    ASSERT_TRUE(waitChanges(1));
    grabber.Refresh();
    EXPECT_EQ(grabber.TrackCount(), 2);

    std::filesystem::remove(cue);
    ASSERT_TRUE(waitChanges(2));
    EXPECT_THROW(grabber.Refresh(), EACSException);
    EXPECT_FALSE(events.OffWindowThread);
}

} // namespace
} // namespace kestrune
