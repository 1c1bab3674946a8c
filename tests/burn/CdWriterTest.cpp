#include "burn/TBurnFixture.h"
#include "burn/TCdWriter.h"
#include "burn/TImageDrive.h"
#include "common/TPlainDispatcher.h"
#include "formats/TagTrackFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

// What the writer said, with where it stood at each word.
struct TEvent {
    int Operation;
    int Phase;
    std::string Item;
    int Percent; // -1 for an error
    int Code = 0;
    std::string Text;
};

class TRecorder : public ICdWriterEvents {
public:
    explicit TRecorder(ICdWriter& W) : Writer(W) { Writer.SetEvents(this); }
    void OnOperationProgress(int Percent) override
    {
        Events.push_back({Writer.CurrentOperation(), Writer.WritePhase(), Writer.CurrentItemName(), Percent, 0, {}});
        if (OnProgress)
            OnProgress(Events.back());
    }
    void OnErrorEx(int Code, const std::string& Text) override
    {
        Events.push_back({Writer.CurrentOperation(), Writer.WritePhase(), Writer.CurrentItemName(), -1, Code, Text});
    }
    void OnMediaChange() override {}

    bool Ended() const
    {
        return !Events.empty() && (Events.back().Percent < 0 ||
                                   (Events.back().Percent == 100 && Events.back().Operation != ICdWriter::opWrite));
    }
    bool Completed() const { return Ended() && Events.back().Percent == 100; }

    ICdWriter& Writer;
    std::vector<TEvent> Events;
    std::function<void(const TEvent&)> OnProgress;
};

// The image drive over a temporary folder, with a queue of tagged WAV files
// of CD audio: one ending inside a sector, one shorter than a CD track, one
// of whole sectors. Tones, not noise: the CD reader guesses the byte order
// of what it reads from the audio, and full-scale noise has none to find.
struct TImageFixture {
    TTempDir Dir;
    TPlainDispatcher Dispatcher;
    std::vector<std::vector<std::int16_t>> Audio{
        test::Sine16(5 * 44100 + 123, 2, 44100, 440, 12000),
        test::Sine16(2 * 44100, 2, 44100, 660, 9000),
        test::Sine16(400 * 588, 2, 44100, 880, 15000),
    };
    std::vector<std::string> Files;
    std::shared_ptr<TCdWriter> Writer;

    explicit TImageFixture(int Minutes = 80)
    {
        fs::create_directories(Out());
        for (std::size_t i = 0; i < Audio.size(); ++i) {
            Files.push_back(test::WriteWav(Dir.File("t" + std::to_string(i) + ".wav"), Audio[i], 2, 44100));
            TagTrackFile(Files.back(), "Song " + std::to_string(i + 1), "Band", "Record", "");
        }
        Writer = TCdWriter::Standard(Dispatcher, Out() / "disc.cue", Minutes);
        Writer->Initialize();
    }
    fs::path Out() const { return Dir.Path() / "out"; }
    void QueueAll()
    {
        for (const std::string& f : Files)
            Writer->AddTrack(f);
    }
    bool Serve(TRecorder& R)
    {
        return Dispatcher.WaitServing([&] { return R.Ended(); }, std::chrono::seconds(60));
    }
};

// The image drive is listed like a drive holding a blank 80-minute CD-R, the
// queue's figure is the image's size to the sector, and a write reports its
// way (analysing, then writing file by file, percent rising, then finalising
// at 100) and leaves an image that reads back as the files in order. The
// next write makes a new image beside it, as the next disc would.
TEST(CdWriter, ImageDriveWritesTheQueueAsAnImage)
{
    TImageFixture f;
    ICdWriter& w = *f.Writer;
    ASSERT_EQ(w.DriveCount(), 1);
    EXPECT_EQ(w.CurrentDrive(), 1);
    EXPECT_EQ(w.DriveText1(), "Image");
    EXPECT_EQ(w.DriveText2(), (f.Out() / "disc.cue").string());
    w.SetWriteSpeed(64);
    EXPECT_EQ(w.WriteSpeed(), 1);
    w.Refresh();
    EXPECT_EQ(w.DiscState(), 1);
    EXPECT_EQ(w.MediaType(), 1);
    EXPECT_EQ(w.DiscStatus(), 0);
    EXPECT_EQ(w.UsedSpace(), 0);
    EXPECT_EQ(w.DiscCapacity(), 80LL * 60 * 153535);
    EXPECT_EQ(w.CompilationSize(), 0);

    f.QueueAll();
    ASSERT_EQ(w.TrackCount(), 3);
    std::vector<TImageTrack> queue;
    for (const std::string& file : f.Files)
        queue.push_back({file, "", "", ""});
    const TImageLayout layout = TImageWriter(f.Out() / "x.cue").Plan(queue);
    EXPECT_EQ(w.CompilationSize(), layout.Figure());
    w.SetGapSeconds(0);
    EXPECT_EQ(w.CompilationSize(), TCdFigures::FigureOfSectors(376 + 300 + 400));
    w.SetGapSeconds(2);

    TRecorder r(w);
    w.SetWriteMethod(1);
    w.WriteDisc();
    EXPECT_THROW(w.WriteDisc(), EACSException); // busy
    ASSERT_TRUE(f.Serve(r));
    ASSERT_TRUE(r.Completed()) << r.Events.back().Code << " " << r.Events.back().Text;

    EXPECT_EQ(r.Events.front().Operation, ICdWriter::opWrite);
    EXPECT_EQ(r.Events.front().Phase, ICdWriter::wpAnalysing);
    EXPECT_EQ(r.Events.back().Operation, ICdWriter::opFinalise);
    std::vector<std::string> written;
    int last = 0;
    for (const TEvent& e : r.Events) {
        if (e.Operation != ICdWriter::opWrite || e.Phase != ICdWriter::wpWriting)
            continue;
        EXPECT_GE(e.Percent, last);
        last = e.Percent;
        if (written.empty() || written.back() != e.Item)
            written.push_back(e.Item);
    }
    EXPECT_EQ(written, (std::vector<std::string>{"t0.wav", "t1.wav", "t2.wav"}));
    EXPECT_EQ(w.CurrentOperation(), ICdWriter::opNone);
    EXPECT_EQ(w.LastImage(), (f.Out() / "disc.cue").string());
    // The writer keeps its queue; the burn window clears it.
    EXPECT_EQ(w.TrackCount(), 3);

    const test::TImageReadBack back = test::ReadImage(f.Out() / "disc.cue");
    ASSERT_EQ(back.Tracks.size(), 3U);
    for (std::size_t t = 0; t < 3; ++t) {
        const std::vector<std::uint8_t> file = test::AsBytes(f.Audio[t]);
        ASSERT_GE(back.Tracks[t].size(), file.size());
        EXPECT_TRUE(std::equal(file.begin(), file.end(), back.Tracks[t].begin())) << t;
    }
    EXPECT_EQ(back.CdText.AlbumTitle, "Record");
    EXPECT_EQ(back.CdText.TrackTitles.at(1), "Song 2");

    w.RemoveTrack(1);
    TRecorder again(w);
    w.WriteDisc();
    ASSERT_TRUE(f.Serve(again));
    ASSERT_TRUE(again.Completed());
    EXPECT_EQ(w.LastImage(), (f.Out() / "disc-2.cue").string());
    EXPECT_EQ(test::ReadImage(f.Out() / "disc-2.cue").Tracks.size(), 2U);
    EXPECT_EQ(test::FilesIn(f.Out()), (std::vector<std::string>{"disc-2.bin", "disc-2.cue", "disc.bin", "disc.cue"}));
}

// Stopping a write ends it with ecCancelled and no completion, leaves no
// file behind, and frees the writer for the next write at once. The stop
// comes at once after the start, before the worker may have begun: a stop
// must hold then too.
TEST(CdWriter, CancelEndsWithCancelledAndLeavesNothing)
{
    TImageFixture f;
    f.QueueAll();
    ICdWriter& w = *f.Writer;
    TRecorder r(w);
    w.WriteDisc();
    w.CancelWrite();
    ASSERT_TRUE(f.Serve(r));
    const TEvent& end = r.Events.back();
    EXPECT_EQ(end.Code, ICdWriter::ecCancelled);
    EXPECT_EQ(std::count_if(r.Events.begin(), r.Events.end(), [](const TEvent& e) { return e.Percent == 100; }), 0);
    // Nothing from the stopped write arrives after its end.
    f.Dispatcher.ProcessPending();
    EXPECT_EQ(&r.Events.back(), &end);
    EXPECT_EQ(test::FilesIn(f.Out()), std::vector<std::string>{});

    TRecorder next(w);
    w.WriteDisc();
    ASSERT_TRUE(f.Serve(next));
    EXPECT_TRUE(next.Completed());
}

// A write that cannot be done ends with ecFailed and the reason, naming the
// file at fault, and leaves nothing behind: a queued file that vanished, a
// queue larger than the disc. A file that is not audio is refused at once.
TEST(CdWriter, FailedWritesSayWhyAndLeaveNothing)
{
    struct TCase {
        std::string Name;
        int Minutes;
        std::function<void(TImageFixture&)> Spoil;
        std::string Reason;
    };
    const std::vector<TCase> cases{
        {"vanished file", 80, [](TImageFixture& F) { fs::remove(F.Files[1]); }, "t1.wav"},
        {"full disc", 0, [](TImageFixture&) {}, "does not fit on the disc"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TImageFixture f(c.Minutes);
        f.QueueAll();
        c.Spoil(f);
        TRecorder r(*f.Writer);
        f.Writer->WriteDisc();
        ASSERT_TRUE(f.Serve(r));
        EXPECT_EQ(r.Events.back().Code, ICdWriter::ecFailed);
        EXPECT_NE(r.Events.back().Text.find(c.Reason), std::string::npos) << r.Events.back().Text;
        EXPECT_EQ(test::FilesIn(f.Out()), std::vector<std::string>{});
    }

    TImageFixture f;
    const std::string text = f.Dir.File("notes.wav");
    std::ofstream(text) << "not a sound";
    EXPECT_THROW(f.Writer->AddTrack(text), EACSException);
    EXPECT_THROW(f.Writer->AddTrack(f.Dir.File("missing.flac")), EACSException);
    EXPECT_THROW(f.Writer->AddTrack(f.Dir.File("t0.txt")), EACSException);
    EXPECT_EQ(f.Writer->TrackCount(), 0);
    EXPECT_THROW(f.Writer->WriteDisc(), EACSException); // an empty queue
}

// A drive the test scripts: its disc, its speeds, how its operations end.
class TFakeDrive final : public IBurnDrive {
public:
    std::string Vendor() const override { return "ACME"; }
    std::string Model() const override { return "Burner"; }
    std::string Revision() const override { return "1.0"; }
    int MaxWriteSpeed() override { return 16; }
    int ImposedWriteMethod() const override { return 2; }
    TBurnDisc ReadDisc() override { return Disc; }
    bool Write(const TBurnJob& Job, const TBurnStepFn& Step, const std::atomic<bool>& Stop) override
    {
        LastJob = Job;
        if (Fail)
            throw EBurnError(ICdWriter::ecRefused, "audio track prohibited by non-CD");
        Step({ICdWriter::opWrite, ICdWriter::wpWriting, 50, "a.wav"});
        if (Hold)
            return !test::WaitUntil([&] { return Stop.load(); }, std::chrono::seconds(10));
        Step({ICdWriter::opFinalise, ICdWriter::wpClosing, 20, ""});
        return true;
    }
    bool Erase(bool Quick, const TBurnStepFn& Step, const std::atomic<bool>&) override
    {
        Erased = Quick ? 1 : 2;
        Step({ICdWriter::opErase, 0, 40, ""});
        return true;
    }

    TBurnDisc Disc;
    bool Fail = false;
    bool Hold = false; // a write that goes on until it is stopped
    TBurnJob LastJob;
    int Erased = 0;
};

// The writer over a drive of its own: speeds are held to the drive's
// highest, an open disc counts its used part in the compilation, the
// settings travel with the job, a drive's own error code and reason reach
// the listener unchanged, and an erase ends at 100 during opErase.
TEST(CdWriter, PassesSettingsFiguresAndDriveErrorsThrough)
{
    TTempDir dir;
    TPlainDispatcher dispatcher;
    TFakeDrive* drive = nullptr;
    TCdWriter w(dispatcher, {[&] {
                                 std::vector<std::unique_ptr<IBurnDrive>> list;
                                 auto d = std::make_unique<TFakeDrive>();
                                 drive = d.get();
                                 list.push_back(std::move(d));
                                 return list;
                             },
                             []() -> std::vector<std::unique_ptr<IBurnDrive>> { throw EACSException("no bus"); }});
    w.Initialize();
    ASSERT_EQ(w.DriveCount(), 1);
    EXPECT_EQ(w.ScanProblem(), "no bus");
    EXPECT_EQ(w.DriveText1() + " " + w.DriveText2() + " " + w.DriveText3(), "ACME Burner 1.0");
    EXPECT_EQ(w.DriveWriteMethod(), 2);
    w.SetWriteSpeed(64);
    EXPECT_EQ(w.WriteSpeed(), 16);
    w.SetWriteSpeed(8);
    EXPECT_EQ(w.WriteSpeed(), 8);

    drive->Disc = {1, 2, 1, 75 * 60, 75 * 60 * 74, ""};
    w.Refresh();
    EXPECT_EQ(w.DiscStatus(), 1);
    EXPECT_EQ(w.UsedSpace(), 60 * 153535);
    EXPECT_EQ(w.DiscCapacity(), 74LL * 60 * 153535);
    const std::string file = test::WriteWav(dir.File("a.wav"), test::Noise16(10 * 44100, 2, 5), 2, 44100);
    w.AddTrack(file);
    EXPECT_EQ(w.CompilationSize() - w.UsedSpace(), 10 * 153535);

    w.SetCloseDisc(false);
    w.SetSimulate(true);
    w.SetWriteMethod(2);
    w.SetGapSeconds(0);
    {
        TRecorder r(w);
        w.WriteDisc();
        ASSERT_TRUE(dispatcher.WaitServing([&] { return r.Ended(); }, std::chrono::seconds(10)));
        ASSERT_TRUE(r.Completed());
        EXPECT_EQ(r.Events.size(), 3U);
        EXPECT_EQ(r.Events[0].Item, "a.wav");
        EXPECT_EQ(drive->LastJob.Tracks.at(0).FileName, file);
        EXPECT_FALSE(drive->LastJob.CloseDisc);
        EXPECT_TRUE(drive->LastJob.Simulate);
        EXPECT_EQ(drive->LastJob.Method, 2);
        EXPECT_EQ(drive->LastJob.GapSectors, 0);
        EXPECT_EQ(drive->LastJob.Speed, 8);
    }
    {
        // Stopped in the middle: the cancelled code, and nothing after it.
        drive->Hold = true;
        TRecorder r(w);
        r.OnProgress = [&](const TEvent&) { w.CancelWrite(); };
        w.WriteDisc();
        ASSERT_TRUE(dispatcher.WaitServing([&] { return r.Ended(); }, std::chrono::seconds(10)));
        EXPECT_EQ(r.Events.back().Code, ICdWriter::ecCancelled);
        EXPECT_EQ(r.Events.size(), 2U);
        drive->Hold = false;
    }
    {
        drive->Fail = true;
        TRecorder r(w);
        w.WriteDisc();
        ASSERT_TRUE(dispatcher.WaitServing([&] { return r.Ended(); }, std::chrono::seconds(10)));
        EXPECT_EQ(r.Events.back().Code, ICdWriter::ecRefused);
        EXPECT_EQ(r.Events.back().Text, "audio track prohibited by non-CD");
        EXPECT_EQ(r.Events.back().Operation, ICdWriter::opWrite);
    }
    {
        TRecorder r(w);
        w.EraseDisc(true);
        ASSERT_TRUE(dispatcher.WaitServing([&] { return r.Ended(); }, std::chrono::seconds(10)));
        ASSERT_EQ(r.Events.size(), 2U);
        EXPECT_EQ(r.Events[1].Operation, ICdWriter::opErase);
        EXPECT_EQ(r.Events[1].Percent, 100);
        EXPECT_EQ(drive->Erased, 1);
    }
}

} // namespace
} // namespace kestrune
