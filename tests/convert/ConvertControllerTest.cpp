#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "convert/TConvertController.h"
#include "convert/TResultPlayer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;

namespace {

class TRecordingView final : public IConvertView {
public:
    void SetInFormat(const std::string& Text) override { InFormat = Text; }
    void SetOutFileName(const std::string& Name) override { OutFileName = Name; }
    void ShowStatusBar(bool Visible) override { StatusBar = Visible; }
    void Closed() override { ++ClosedCount; }

    std::string InFormat = "Choose an input file";
    std::string OutFileName;
    bool StatusBar = false;
    int ClosedCount = 0;
};

// The conversion's job events as a view sees them.
struct TJobLog final : public IJobListener {
    struct TProgress {
        double Fraction;
        std::string Text;
    };
    void JobStarted(TJobKind Kind, const std::string&) override
    {
        EXPECT_EQ(Kind, TJobKind::jkConversion);
        ++Started;
    }
    void JobProgress(TJobKind, double Fraction, const std::string& Text) override
    {
        Progress.push_back({Fraction, Text});
    }
    void JobMessage(TJobKind, TJobMessageKind Kind, const std::string& Text) override
    {
        Messages.emplace_back(Kind, Text);
    }
    void JobFinished(TJobKind, TJobOutcome O, const std::string& R) override
    {
        ++Finished;
        Outcome = O;
        Reason = R;
    }

    int Started = 0, Finished = 0;
    TJobOutcome Outcome = TJobOutcome::joFailed;
    std::string Reason;
    std::vector<TProgress> Progress;
    std::vector<std::pair<TJobMessageKind, std::string>> Messages;
};

struct TFixture {
    TRecordingView View;
    TPlainDialogs Dialogs;
    TPlainDispatcher Dispatcher;
    TConvertController Controller{View, Dialogs, Dispatcher};
    TJobLog Job;

    TFixture() { Controller.Events().Subscribe(&Job); }
    // Runs the window thread until the conversion has finished.
    void Finish()
    {
        ASSERT_TRUE(Dispatcher.WaitServing([&] { return !Controller.Converting() && Job.Finished > 0; }, 10s));
    }
    bool Succeeded() const { return Job.Finished == 1 && Job.Outcome == TJobOutcome::joSucceeded; }
    std::string LastMessage() const { return Dialogs.Shown().empty() ? "" : Dialogs.Shown().back().Text; }
};

// An MP3 file long enough that decoding it is still going when the test acts.
class ConvertControllerMp3 : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Dir = std::make_unique<TTempDir>();
        WriteWholeFile(Dir->File("long.wav"), PcmWavImage(Noise16(44100 * 20, 2, 11), 2, 44100));
        TFixture f;
        f.Controller.SetInFileName(Dir->File("long.wav"));
        f.Controller.ChooseOutFormat(TConvertController::fiMp3);
        f.Controller.MP3Out1().SetBitRate(TMP3BitRate::br320);
        f.Controller.Convert();
        f.Finish();
        ASSERT_TRUE(f.Succeeded()) << f.Job.Reason;
    }
    static void TearDownTestSuite() { Dir.reset(); }
    static std::string Mp3() { return Dir->File("long.mp3"); }

    static std::unique_ptr<TTempDir> Dir;
};
std::unique_ptr<TTempDir> ConvertControllerMp3::Dir;

bool IsEmptyFolder(const std::filesystem::path& Path)
{
    return std::filesystem::is_empty(Path);
}

} // namespace

TEST(ConvertController, FormatTableFilterAndNames)
{
    TFixture f;
    ASSERT_EQ(f.Controller.Formats().size(), 5u);
    EXPECT_EQ(f.Controller.FileFilter(),
              "All audio|*.wav;*.mp3;*.ogg;*.ape;*.flac|"
              "Wave (Microsoft) Audio File|*.wav|MP3 Audio File|*.mp3|Ogg Vorbis Audio File|*.ogg|"
              "Monkey's Audio File|*.ape|FLAC Audio File|*.flac|");

    f.Controller.SetInFileName("/music/song.MP3");
    EXPECT_EQ(f.Controller.InputIndex(), TConvertController::fiMp3);
    EXPECT_EQ(f.View.InFormat, "MP3 Audio File");
    f.Controller.SetInFileName("/music/song.wma"); // unknown: the last recognised format stays
    EXPECT_EQ(f.Controller.InputIndex(), TConvertController::fiMp3);

    f.Controller.SetInFileName("/music/song.mp3");
    f.Controller.ChooseOutFormat(TConvertController::fiFlac);
    EXPECT_EQ(f.Controller.OutFileName(), "/music/song.flac");
    EXPECT_EQ(f.View.OutFileName, "/music/song.flac");
    f.Controller.ChooseOutFormat(TConvertController::fiOgg); // an existing name keeps its stem
    EXPECT_EQ(f.Controller.OutFileName(), "/music/song.ogg");
}

TEST(ConvertController, ChecksBeforeConvertingInOrder)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Sine16(1000, 1, 8000, 300, 5000), 1, 8000));
    struct TCase {
        std::string In;
        int Format;
        std::string Out;
        std::string Says;
    };
    const TCase cases[] = {
        {"", TConvertController::fiWav, "x.wav", "Input file name missing"},
        {dir.Path().string() + "/", TConvertController::fiWav, "x.wav", "Input file name missing"},
        {dir.File("in.wav"), -1, "x.wav", "Output format missing"},
        {dir.File("in.wav"), TConvertController::fiWav, "", "Output file name missing"},
        {dir.File("in.wav"), TConvertController::fiWav, dir.File("in.wav"),
         "The output file must be different from the input file!"},
        {dir.File("in.wav"), TConvertController::fiWav, dir.Path().string() + "/./in.wav",
         "The output file must be different from the input file!"},
        {dir.File("gone.wav"), TConvertController::fiWav, dir.File("x.wav"), "Input file missing"},
    };
    for (const TCase& c : cases) {
        TFixture f;
        f.Controller.SetInFileName(c.In);
        if (c.Format >= 0)
            f.Controller.ChooseOutFormat(c.Format);
        f.Controller.SetOutFileName(c.Out);
        f.Controller.Convert();
        EXPECT_FALSE(f.Controller.Converting()) << c.Says;
        EXPECT_EQ(f.LastMessage(), c.Says);
        // Refused before it started: a failed job with the check's text.
        EXPECT_EQ(f.Job.Started, 0) << c.Says;
        EXPECT_EQ(f.Job.Finished, 1) << c.Says;
        EXPECT_EQ(f.Job.Outcome, TJobOutcome::joFailed) << c.Says;
        EXPECT_EQ(f.Job.Reason, c.Says);
    }
    // The input survived every refusal.
    EXPECT_TRUE(std::filesystem::exists(dir.File("in.wav")));
}

TEST(ConvertController, WavToWavWritesFreshPcmAndAsksToListenWhenItCan)
{
    TTempDir dir;
    const auto image = PcmWavImage(Sine16(30000, 2, 22050, 440, 9000), 2, 22050);
    WriteWholeFile(dir.File("in.wav"), image);
    WriteWholeFile(dir.File("out.wav"), {'o', 'l', 'd'});

    TFixture f;
    std::string played;
    f.Controller.SetPlayer([&](TACSFileIn& Result) { played = Result.FileName(); });
    f.Dialogs.Script(TDialogResult::drYes); // replace out.wav
    f.Dialogs.Script(TDialogResult::drYes); // listen
    f.Controller.SetInFileName(dir.File("in.wav"));
    f.Controller.ChooseOutFormat(TConvertController::fiWav);
    f.Controller.SetOutFileName(dir.File("out.wav"));
    f.Controller.Convert();
    EXPECT_TRUE(f.Controller.Converting());
    EXPECT_TRUE(f.View.StatusBar);
    f.Finish();

    EXPECT_TRUE(f.Succeeded());
    EXPECT_EQ(f.Job.Started, 1);
    EXPECT_FALSE(f.View.StatusBar);
    EXPECT_EQ(ReadWholeFile(dir.File("out.wav")), image);
    ASSERT_EQ(f.Dialogs.Shown().size(), 2U);
    EXPECT_EQ(f.Dialogs.Shown()[0].Text, TConvertController::ReplaceQuestion(dir.File("out.wav")));
    EXPECT_EQ(f.LastMessage(), "Conversion completed! Do you want to listen to the converted file?");
    EXPECT_EQ(played, dir.File("out.wav"));
    // Progress climbs through the input and reaches its end.
    ASSERT_FALSE(f.Job.Progress.empty());
    for (size_t i = 0; i < f.Job.Progress.size(); ++i) {
        EXPECT_EQ(f.Job.Progress[i].Text, "Converting");
        if (i > 0) {
            EXPECT_GE(f.Job.Progress[i].Fraction, f.Job.Progress[i - 1].Fraction);
        }
    }
    EXPECT_DOUBLE_EQ(f.Job.Progress.back().Fraction, 1.0);
}

TEST(ConvertController, FailureSaysConversionErrorAndLeavesNoHalfFile)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
    TFixture f;
    f.Controller.SetInFileName(dir.File("in.wav"));
    f.Controller.ChooseOutFormat(TConvertController::fiWav);
    f.Controller.SetOutFileName(dir.File("out.wav"));
    f.Controller.Convert();
    f.Finish();
    EXPECT_EQ(f.Job.Outcome, TJobOutcome::joFailed);
    EXPECT_EQ(f.LastMessage(), "Conversion error");
    EXPECT_EQ(f.Dialogs.Shown().back().Kind, TDialogKind::dkWarning);
    // The box says little; the job's reason says what went wrong.
    EXPECT_NE(f.Job.Reason.find("Cannot read"), std::string::npos) << f.Job.Reason;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.wav")));
    EXPECT_FALSE(f.View.StatusBar);
}

TEST(ConvertController, CancelEndsWithConversionCanceled)
{
    TTempDir dir;
    // Long enough that the run is still going when Cancel arrives.
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Noise16(44100 * 60, 2, 7), 2, 44100));
    TFixture f;
    f.Controller.SetInFileName(dir.File("in.wav"));
    f.Controller.ChooseOutFormat(TConvertController::fiWav);
    f.Controller.WaveOut1().SetWavType(TWavType::wtDVIADPCM);
    f.Controller.SetOutFileName(dir.File("out.wav"));
    f.Controller.Convert();
    EXPECT_FALSE(f.Controller.Cancel()); // the window stays open
    f.Finish();
    EXPECT_EQ(f.Job.Outcome, TJobOutcome::joCancelled);
    EXPECT_EQ(f.LastMessage(), "Conversion canceled");
    EXPECT_EQ(f.Dialogs.Shown().back().Kind, TDialogKind::dkInformation);
    EXPECT_TRUE(f.Controller.Cancel()); // nothing running: the window may close
}

// An existing output is replaced only when the user says so, and only by a
// finished conversion: a No, a cancel or a failure half-way keeps the old file
// and leaves no temporary beside it.
TEST(ConvertController, AnExistingOutputIsReplacedOnlyByAFinishedConversionTheUserAllowed)
{
    TTempDir dir;
    const auto image = PcmWavImage(Noise16(44100 * 30, 2, 5), 2, 44100);
    WriteWholeFile(dir.File("in.wav"), image);
    // A FLAC source cut short: its reader fails part of the way through.
    {
        TFixture f;
        f.Controller.SetInFileName(dir.File("in.wav"));
        f.Controller.ChooseOutFormat(TConvertController::fiFlac);
        f.Controller.SetOutFileName(dir.File("cut.flac"));
        f.Controller.Convert();
        f.Finish();
        ASSERT_TRUE(f.Succeeded()) << f.Job.Reason;
        std::filesystem::resize_file(dir.File("cut.flac"), std::filesystem::file_size(dir.File("cut.flac")) / 2);
    }
    const std::vector<std::uint8_t> old{'o', 'l', 'd'};
    const auto folderHolds = [&](std::set<std::string> Names) {
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            found.insert(entry.path().filename().string());
        Names.insert({"in.wav", "cut.flac"});
        return found == Names;
    };
    enum class TEnd { teNo, teCancel, teFailure, teYes };
    for (const TEnd end : {TEnd::teNo, TEnd::teCancel, TEnd::teFailure, TEnd::teYes}) {
        SCOPED_TRACE(static_cast<int>(end));
        WriteWholeFile(dir.File("out.wav"), old);
        TFixture f;
        f.Dialogs.Script(end == TEnd::teNo ? TDialogResult::drNo : TDialogResult::drYes);
        f.Controller.SetInFileName(dir.File(end == TEnd::teFailure ? "cut.flac" : "in.wav"));
        f.Controller.ChooseOutFormat(TConvertController::fiWav);
        f.Controller.WaveOut1().SetWavType(TWavType::wtDVIADPCM); // slow enough to cancel
        f.Controller.SetOutFileName(dir.File("out.wav"));
        f.Controller.Convert();
        ASSERT_FALSE(f.Dialogs.Shown().empty());
        EXPECT_EQ(f.Dialogs.Shown().front().Kind, TDialogKind::dkConfirmation);
        EXPECT_EQ(f.Dialogs.Shown().front().Text, TConvertController::ReplaceQuestion(dir.File("out.wav")));
        if (end == TEnd::teNo) {
            EXPECT_FALSE(f.Controller.Converting());
            EXPECT_EQ(f.Job.Started, 0);
            EXPECT_EQ(f.Job.Reason, TConvertController::ExistsText(dir.File("out.wav")));
        } else {
            if (end == TEnd::teCancel)
                f.Controller.Cancel();
            f.Finish();
        }
        const TJobOutcome expected = end == TEnd::teYes      ? TJobOutcome::joSucceeded
                                     : end == TEnd::teCancel ? TJobOutcome::joCancelled
                                                             : TJobOutcome::joFailed;
        EXPECT_EQ(f.Job.Outcome, expected) << f.Job.Reason;
        if (end == TEnd::teYes)
            EXPECT_GT(std::filesystem::file_size(dir.File("out.wav")), 1000U);
        else
            EXPECT_EQ(ReadWholeFile(dir.File("out.wav")), old);
        EXPECT_TRUE(folderHolds({"out.wav"}));
    }
    // Without an old file a cancelled or failed conversion leaves nothing.
    for (const char* source : {"in.wav", "cut.flac"}) {
        std::filesystem::remove(dir.File("out.wav"));
        TFixture f;
        f.Controller.SetInFileName(dir.File(source));
        f.Controller.ChooseOutFormat(TConvertController::fiWav);
        f.Controller.WaveOut1().SetWavType(TWavType::wtDVIADPCM);
        f.Controller.SetOutFileName(dir.File("out.wav"));
        f.Controller.Convert();
        if (std::string(source) == "in.wav")
            f.Controller.Cancel();
        f.Finish();
        EXPECT_NE(f.Job.Outcome, TJobOutcome::joSucceeded);
        EXPECT_TRUE(folderHolds({})) << source;
    }
}

TEST(ConvertController, Mp3SourceGoesThroughPrivateTemporaryWav)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Sine16(2 * 44100, 2, 44100, 440, 9000), 2, 44100));
    {
        TFixture f;
        f.Controller.SetInFileName(dir.File("in.wav"));
        f.Controller.ChooseOutFormat(TConvertController::fiMp3);
        f.Controller.Convert();
        f.Finish();
        ASSERT_TRUE(f.Succeeded()) << f.Job.Reason;
    }
    TTempDir temp;
    TFixture f;
    f.Controller.SetTempRoot(temp.Path());
    f.Controller.SetInFileName(dir.File("in.mp3"));
    f.Controller.ChooseOutFormat(TConvertController::fiFlac);
    f.Controller.Convert();
    ASSERT_TRUE(f.Controller.Converting());
    // The decoded source sits in a private folder of our own.
    EXPECT_FALSE(IsEmptyFolder(temp.Path()));
    f.Finish();
    ASSERT_TRUE(f.Succeeded()) << f.Job.Reason;
    TFLACIn check;
    check.SetFileName(dir.File("in.flac"));
    check.OpenFile();
    EXPECT_NEAR(static_cast<double>(check.TotalSamples()), 2 * 44100, 1152);
    check.CloseFile();
    // Decoding is reported before encoding, each stage by its own caption.
    ASSERT_FALSE(f.Job.Progress.empty());
    EXPECT_EQ(f.Job.Progress.front().Text, "Decoding MP3");
    EXPECT_EQ(f.Job.Progress.back().Text, "Converting");
    for (const auto& p : f.Job.Progress) {
        EXPECT_GE(p.Fraction, 0.0);
        EXPECT_LE(p.Fraction, 1.0);
    }
    // The decoded temporary file went with the conversion.
    EXPECT_TRUE(IsEmptyFolder(temp.Path()));
}

TEST_F(ConvertControllerMp3, CancelWhileDecodingEncodesNothing)
{
    TTempDir dir;
    TFixture f;
    f.Controller.SetTempRoot(dir.Path());
    f.Controller.SetInFileName(Mp3());
    f.Controller.ChooseOutFormat(TConvertController::fiWav);
    f.Controller.SetOutFileName(dir.File("back.wav"));
    f.Controller.Convert();
    EXPECT_FALSE(f.Controller.Cancel());
    f.Finish();
    EXPECT_EQ(f.Job.Outcome, TJobOutcome::joCancelled);
    EXPECT_EQ(f.LastMessage(), "Conversion canceled");
    EXPECT_TRUE(IsEmptyFolder(dir.Path()));
}

// Closing the window while the source is decoded or while the output is
// written cancels the run at once: nothing more is encoded, nothing is asked
// or told, no file is left, and the close ends with the view's Closed.
TEST_F(ConvertControllerMp3, CloseCancelsTheRunAndEndsClosed)
{
    TTempDir dir;
    WriteWholeFile(dir.File("long.wav"), PcmWavImage(Noise16(44100 * 60, 2, 7), 2, 44100));
    struct TCase {
        std::string Stage;
        std::string In;
    };
    const TCase cases[] = {{"decoding", Mp3()}, {"encoding", dir.File("long.wav")}};
    for (const TCase& c : cases) {
        TTempDir work;
        TFixture f;
        f.Controller.SetTempRoot(work.Path());
        bool played = false;
        f.Controller.SetPlayer([&](TACSFileIn&) { played = true; });
        f.Dialogs.Script(TDialogResult::drYes);
        f.Controller.SetInFileName(c.In);
        f.Controller.ChooseOutFormat(TConvertController::fiWav);
        f.Controller.WaveOut1().SetWavType(TWavType::wtDVIADPCM);
        f.Controller.SetOutFileName(work.File("out.wav"));
        f.Controller.Convert();
        ASSERT_TRUE(f.Controller.Converting()) << c.Stage;

        f.Controller.Close();
        EXPECT_EQ(f.View.ClosedCount, 1) << c.Stage;
        EXPECT_EQ(f.Job.Finished, 1) << c.Stage;
        EXPECT_EQ(f.Job.Outcome, TJobOutcome::joCancelled) << c.Stage;
        EXPECT_FALSE(f.Controller.Converting()) << c.Stage;
        // Whatever the workers still had queued changes nothing.
        f.Dispatcher.ProcessPending();
        EXPECT_FALSE(f.Controller.WaveOut1().Busy()) << c.Stage << ": encoding started after the close";
        EXPECT_EQ(f.Job.Finished, 1) << c.Stage;
        EXPECT_TRUE(f.Dialogs.Shown().empty()) << c.Stage << ": " << f.LastMessage();
        EXPECT_FALSE(played) << c.Stage;
        EXPECT_TRUE(IsEmptyFolder(work.Path())) << c.Stage;

        // Closing an idle window closes it straight away.
        f.Controller.Close();
        EXPECT_EQ(f.View.ClosedCount, 2) << c.Stage;
        EXPECT_EQ(f.Job.Finished, 1) << c.Stage;
    }
}

// A writer stuck in a write that never returns (a pipe nobody reads) cannot
// keep the window: the close gives up after its bound, says why, and the
// controller takes the next conversion once the stuck worker has ended.
TEST(ConvertController, CloseGivesUpOnAStuckWorkerAndSaysWhy)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Noise16(44100 * 10, 2, 5), 2, 44100));
    const std::string pipe = dir.File("stuck.ogg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // Both ends held here, so the writer's open does not wait; nobody reads.
    const int fd = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const int capacity = ::fcntl(fd, F_GETPIPE_SZ);

    TFixture f;
    // However the test ends, the pipe is read until the writer has stopped,
    // so the controller's end does not wait on it.
    struct TUnblock {
        int Fd;
        TACSOutput& Out;
        ~TUnblock()
        {
            Out.Stop();
            char sink[65536];
            const auto until = std::chrono::steady_clock::now() + 10s;
            while (Out.Busy() && std::chrono::steady_clock::now() < until)
                if (::read(Fd, sink, sizeof sink) <= 0)
                    std::this_thread::sleep_for(1ms);
            ::close(Fd);
        }
    } unblock{fd, f.Controller.VorbisOut1()};

    f.Controller.SetInFileName(dir.File("in.wav"));
    // The Ogg writer writes its pages one after the other, as a pipe wants.
    f.Controller.ChooseOutFormat(TConvertController::fiOgg);
    f.Controller.SetOutFileName(pipe);
    f.Controller.Convert();
    ASSERT_TRUE(f.Controller.Converting());
    // Wait (bounded) until the pipe is full: the writer is then blocked in a
    // write (one of at most PIPE_BUF bytes waits for room as a whole).
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    int queued = 0;
    while (queued <= capacity - PIPE_BUF && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(::ioctl(fd, FIONREAD, &queued), 0);
        f.Dispatcher.WaitServing([] { return false; }, 5ms);
    }
    ASSERT_GT(queued, capacity - PIPE_BUF) << "the writer never filled the pipe: " << f.Job.Reason;

    f.Controller.SetCloseTimeout(200ms);
    f.Controller.Close();
    EXPECT_EQ(f.View.ClosedCount, 1);
    EXPECT_EQ(f.Job.Outcome, TJobOutcome::joCancelled);
    EXPECT_EQ(f.Job.Reason, "The conversion did not stop within 200 ms; the window closes without waiting for it");
    ASSERT_EQ(f.Job.Messages.size(), 1u);
    EXPECT_EQ(f.Job.Messages[0].first, TJobMessageKind::jmWarning);
    EXPECT_FALSE(f.Controller.Converting());

    // Unblocked, the writer stops at its next step; its late events only
    // clear the abandoned run.
    char sink[65536];
    while (f.Controller.VorbisOut1().Busy() && std::chrono::steady_clock::now() < deadline + 10s)
        if (::read(fd, sink, sizeof sink) <= 0)
            std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(f.Controller.VorbisOut1().WaitForIdle(10s));
    f.Dispatcher.ProcessPending();
    EXPECT_EQ(f.Job.Finished, 1);
    EXPECT_TRUE(f.Dialogs.Shown().empty()) << f.LastMessage();

    f.Controller.SetOutFileName(dir.File("next.ogg"));
    f.Controller.Convert();
    f.Finish();
    EXPECT_EQ(f.Job.Finished, 2);
    EXPECT_EQ(f.Job.Outcome, TJobOutcome::joSucceeded) << f.Job.Reason;
}

// A picture button leaves the window to open next and closes, cancelling a
// run as closing does; showing the window again starts with none.
TEST(ConvertController, ShortcutLeavesTheNextWindowAndCloses)
{
    TTempDir dir;
    WriteWholeFile(dir.File("long.wav"), PcmWavImage(Noise16(44100 * 60, 2, 7), 2, 44100));
    for (const TConvertFollowUp next :
         {TConvertFollowUp::cfWizard, TConvertFollowUp::cfSettings, TConvertFollowUp::cfBurn}) {
        TFixture f;
        f.Controller.SetInFileName(dir.File("long.wav"));
        f.Controller.ChooseOutFormat(TConvertController::fiWav);
        f.Controller.WaveOut1().SetWavType(TWavType::wtDVIADPCM);
        f.Controller.SetOutFileName(dir.File("out.wav"));
        f.Controller.Convert();
        ASSERT_TRUE(f.Controller.Converting());
        f.Controller.Shortcut(next);
        EXPECT_EQ(f.Controller.FollowUp(), next);
        EXPECT_EQ(f.View.ClosedCount, 1);
        EXPECT_EQ(f.Job.Outcome, TJobOutcome::joCancelled);
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.wav")));
        f.Controller.ClearFollowUp();
        EXPECT_EQ(f.Controller.FollowUp(), TConvertFollowUp::cfNone);
    }
}

// While the last result plays, CONVERT! starts nothing, Cancel stops the
// playback and keeps the window, and closing stops it before Closed.
TEST(ConvertController, PlaybackHoldsConvertAndIsStoppedByCancelAndClose)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Sine16(4000, 2, 22050, 440, 9000), 2, 22050));
    TFixture f;
    bool playing = false;
    int stops = 0;
    f.Controller.SetPlayback([&] { return playing; },
                             [&] {
                                 ++stops;
                                 playing = false;
                             });
    f.Controller.SetInFileName(dir.File("in.wav"));
    f.Controller.ChooseOutFormat(TConvertController::fiFlac);

    playing = true;
    f.Controller.Convert();
    EXPECT_FALSE(f.Controller.Converting());
    EXPECT_EQ(f.Job.Finished, 0);
    EXPECT_TRUE(f.Dialogs.Shown().empty());

    EXPECT_FALSE(f.Controller.Cancel());
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(f.Controller.Cancel());
    EXPECT_EQ(stops, 1);

    playing = true;
    f.Controller.Close();
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(f.View.ClosedCount, 1);

    f.Controller.Convert();
    f.Finish();
    EXPECT_TRUE(f.Succeeded()) << f.Job.Reason;
}

// A playback device that cannot be opened says why, and nothing plays.
TEST(ResultPlayer, DeviceThatCannotOpenIsAWarning)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Sine16(4000, 2, 22050, 440, 9000), 2, 22050));
    TPlainDialogs dialogs;
    TPlainDispatcher dispatcher;
    TResultPlayer player(dialogs, dispatcher);
    player.SetDevice("virtual:" + dir.File("no/such/folder/out.wav"));
    TWaveIn result;
    result.SetFileName(dir.File("in.wav"));
    player.Play(result);
    dispatcher.ProcessPending();
    EXPECT_FALSE(player.Playing());
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_EQ(dialogs.Shown().back().Kind, TDialogKind::dkWarning);
    EXPECT_NE(dialogs.Shown().back().Text.find("out.wav"), std::string::npos) << dialogs.Shown().back().Text;
}
