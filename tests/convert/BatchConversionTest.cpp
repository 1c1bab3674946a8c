#include "common/TPartFile.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "convert/TBatchConversion.h"
#include "convert/TConvertController.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;

namespace fs = std::filesystem;
using TState = TBatchItem::TState;

namespace {

// Makes a source file with the single conversion, which has tests of its own.
void MakeSource(const std::string& Wav, int Format, const std::string& Out)
{
    TNoConvertView view;
    TPlainDialogs dialogs;
    TPlainDispatcher dispatcher;
    TConvertController c(view, dialogs, dispatcher);
    std::string reason;
    struct TEnd final : TJobListenerBase {
        void JobFinished(TJobKind, TJobOutcome O, const std::string& R) override
        {
            Ended = true;
            Ok = O == TJobOutcome::joSucceeded;
            Reason = R;
        }
        bool Ended = false, Ok = false;
        std::string Reason;
    } end;
    c.Events().Subscribe(&end);
    c.SetInFileName(Wav);
    c.ChooseOutFormat(Format);
    c.SetOutFileName(Out);
    c.Convert();
    ASSERT_TRUE(dispatcher.WaitServing([&] { return end.Ended; }, 30s));
    ASSERT_TRUE(end.Ok) << Out << ": " << end.Reason;
}

// The batch as a window sees it: its rows and its job.
struct TBatchLog final : IBatchListener, TJobListenerBase {
    void ItemAdded(std::size_t Index) override { Added.push_back(Index); }
    void ItemChanged(std::size_t Index) override { ++Changes[Index]; }
    void ItemsCleared() override { ++Cleared; }
    void JobStarted(TJobKind, const std::string&) override { ++Started; }
    void JobProgress(TJobKind, double Fraction, const std::string&) override { Progress.push_back(Fraction); }
    void JobFinished(TJobKind, TJobOutcome O, const std::string& R) override
    {
        ++Finished;
        Outcome = O;
        Reason = R;
    }

    std::vector<std::size_t> Added;
    std::map<std::size_t, int> Changes;
    int Cleared = 0, Started = 0, Finished = 0;
    std::vector<double> Progress;
    TJobOutcome Outcome = TJobOutcome::joFailed;
    std::string Reason;
};

struct TFixture {
    TPlainDispatcher Dispatcher;
    TBatchConversion Batch{Dispatcher};
    TBatchLog Log;

    TFixture()
    {
        Batch.AddListener(&Log);
        Batch.Events().Subscribe(&Log);
    }
    void Finish()
    {
        ASSERT_TRUE(Dispatcher.WaitServing([&] { return Log.Finished > 0 && !Batch.Running(); }, 60s));
    }
    void Run(int Format, const std::string& OutDir, int Jobs)
    {
        Batch.SetOutputFormat(Format);
        Batch.SetOutDir(OutDir);
        Batch.SetJobs(Jobs);
        Batch.Start();
        Finish();
    }
    const TBatchItem& Item(const std::string& Stem) const
    {
        const auto& items = Batch.Items();
        auto it = std::find_if(items.begin(), items.end(),
                               [&](const TBatchItem& I) { return fs::path(I.InFile).stem() == Stem; });
        if (it == items.end())
            throw std::runtime_error("no item " + Stem);
        return *it;
    }
};

std::vector<std::string> FilesIn(const fs::path& Dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Sources of every format, each from its own signal, beside files a folder
// scan must pass over.
struct TSources {
    TTempDir Dir;
    std::vector<std::uint8_t> Wav1, Wav2, Wav3;

    TSources()
    {
        Wav1 = PcmWavImage(Sine16(44100, 2, 44100, 440, 9000), 2, 44100);
        Wav2 = PcmWavImage(Sine16(30000, 2, 44100, 660, 7000), 2, 44100);
        Wav3 = PcmWavImage(Noise16(20000, 1, 5, 8000), 1, 22050);
        fs::create_directory(Dir.Path() / "work");
        fs::create_directory(Dir.Path() / "in");
        WriteWholeFile(File("in/one.wav"), Wav1);
        WriteWholeFile(File("work/two.wav"), Wav2);
        WriteWholeFile(File("work/three.wav"), Wav3);
        MakeSource(File("work/two.wav"), TConvertController::fiFlac, File("in/two.flac"));
        MakeSource(File("work/three.wav"), TConvertController::fiApe, File("in/three.APE"));
        MakeSource(File("work/two.wav"), TConvertController::fiOgg, File("in/four.ogg"));
        MakeSource(File("work/two.wav"), TConvertController::fiMp3, File("in/five.mp3"));
        WriteWholeFile(File("in/notes.txt"), {'h', 'i'});
        fs::create_directory(Dir.Path() / "in/sub");
        WriteWholeFile(File("in/sub/six.wav"), Wav1);
    }
    std::string File(const std::string& Name) const { return Dir.File(Name); }
};

} // namespace

TEST(BatchConversion, FolderOfEveryFormatConvertsEachFileWithProgress)
{
    TSources src;
    TTempDir out;
    TFixture f;
    // The audio files of the folder, sorted; not the text file nor the sub-folder.
    EXPECT_EQ(f.Batch.Add(src.File("in")), 5u);
    std::vector<std::string> names;
    for (const TBatchItem& item : f.Batch.Items())
        names.push_back(fs::path(item.InFile).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"five.mp3", "four.ogg", "one.wav", "three.APE", "two.flac"}));
    EXPECT_EQ(f.Log.Added, (std::vector<std::size_t>{0, 1, 2, 3, 4}));

    f.Run(TConvertController::fiWav, out.Path().string(), 2);
    EXPECT_EQ(f.Log.Started, 1);
    EXPECT_EQ(f.Log.Outcome, TJobOutcome::joSucceeded) << f.Log.Reason;
    for (const TBatchItem& item : f.Batch.Items()) {
        EXPECT_EQ(item.State, TState::bsDone) << item.InFile << ": " << item.Error;
        EXPECT_EQ(item.Progress, 1.0);
        EXPECT_EQ(fs::path(item.OutFile).parent_path(), out.Path());
    }
    EXPECT_EQ(FilesIn(out.Path()),
              (std::vector<std::string>{"five.wav", "four.wav", "one.wav", "three.wav", "two.wav"}));
    // The lossless ones decode to the very samples they were made from.
    EXPECT_EQ(ReadWholeFile(out.File("one.wav")), src.Wav1);
    EXPECT_EQ(ReadWholeFile(out.File("two.wav")), src.Wav2);
    EXPECT_EQ(ReadWholeFile(out.File("three.wav")), src.Wav3);
    EXPECT_NEAR(static_cast<double>(FramesIn<TWaveIn>(out.File("four.wav"))), 30000, 64);
    EXPECT_NEAR(static_cast<double>(FramesIn<TWaveIn>(out.File("five.wav"))), 30000, 2 * 1152);
    // One progress for the whole batch: it only grows and ends full.
    ASSERT_FALSE(f.Log.Progress.empty());
    EXPECT_TRUE(std::is_sorted(f.Log.Progress.begin(), f.Log.Progress.end()));
    EXPECT_DOUBLE_EQ(f.Log.Progress.back(), 1.0);
    EXPECT_GT(f.Log.Progress.size(), 5u);
    // Without an output folder each result lands beside its input.
    f.Batch.Clear();
    EXPECT_EQ(f.Log.Cleared, 1);
    EXPECT_EQ(f.Batch.Add(src.File("in/two.flac")), 1u);
    f.Run(TConvertController::fiWav, "", 0);
    EXPECT_EQ(f.Batch.Items()[0].OutFile, src.File("in/two.wav"));
    EXPECT_EQ(ReadWholeFile(src.File("in/two.wav")), src.Wav2);
}

// A file that cannot be converted fails with its reason; the rest finish.
TEST(BatchConversion, BadFilesFailWithTheirReasonAndTheRestFinish)
{
    TSources src;
    TTempDir out;
    WriteWholeFile(src.File("in/broken.flac"), {'n', 'o', 't', ' ', 'f', 'l', 'a', 'c'});
    WriteWholeFile(src.File("in/noise.mp3"), std::vector<std::uint8_t>(3000, 0x55));
    TFixture f;
    for (const char* name :
         {"in/one.wav", "in/broken.flac", "in/gone.wav", "in/notes.txt", "in/noise.mp3", "in/two.flac"})
        f.Batch.Add(src.File(name));
    f.Run(TConvertController::fiFlac, out.Path().string(), 2);

    EXPECT_EQ(f.Log.Outcome, TJobOutcome::joFailed);
    EXPECT_EQ(f.Log.Reason, "4 of 6 files failed");
    EXPECT_EQ(f.Item("one").State, TState::bsDone) << f.Item("one").Error;
    EXPECT_EQ(f.Item("two").State, TState::bsDone) << f.Item("two").Error;
    const std::pair<std::string, std::string> failures[] = {
        {"broken", ""}, {"gone", "Input file missing"}, {"notes", "Unknown file type \".txt\""}, {"noise", ""}};
    for (const auto& [stem, says] : failures) {
        const TBatchItem& item = f.Item(stem);
        EXPECT_EQ(item.State, TState::bsFailed) << stem;
        EXPECT_FALSE(item.Error.empty()) << stem;
        if (!says.empty()) {
            EXPECT_EQ(item.Error, says) << stem;
        }
    }
    EXPECT_EQ(FilesIn(out.Path()), (std::vector<std::string>{"one.flac", "two.flac"}));
    EXPECT_EQ(FramesIn<TFLACIn>(out.File("one.flac")), 44100);
}

// Two inputs that would give one output name: the first is converted, the
// second refused, and an output named like another input never replaces it.
TEST(BatchConversion, ClashingNamesAreRefusedNotOverwritten)
{
    TSources src;
    TTempDir out;
    TFixture f;
    f.Batch.Add(src.File("work/two.wav"));
    f.Batch.Add(src.File("in/two.flac"));        // two.wav in the output folder again
    f.Batch.Add(src.File("in/../work/two.wav")); // the first again, spelt otherwise
    f.Run(TConvertController::fiWav, out.Path().string(), 2);
    EXPECT_EQ(f.Log.Reason, "2 of 3 files failed");
    EXPECT_EQ(f.Batch.Items()[0].State, TState::bsDone) << f.Batch.Items()[0].Error;
    for (std::size_t i : {1u, 2u}) {
        EXPECT_EQ(f.Batch.Items()[i].State, TState::bsFailed);
        EXPECT_NE(f.Batch.Items()[i].Error.find("already the output of \"" + src.File("work/two.wav") + "\""),
                  std::string::npos)
            << f.Batch.Items()[i].Error;
    }
    EXPECT_EQ(ReadWholeFile(out.File("two.wav")), src.Wav2);

    // Beside their inputs: one.flac would become one.wav, an input of the batch.
    TFixture g;
    MakeSource(src.File("work/three.wav"), TConvertController::fiFlac, src.File("in/one.flac"));
    g.Batch.Add(src.File("in/one.flac"));
    g.Batch.Add(src.File("in/one.wav"));
    g.Run(TConvertController::fiWav, "", 1);
    EXPECT_EQ(g.Batch.Items()[0].State, TState::bsFailed);
    EXPECT_NE(g.Batch.Items()[0].Error.find("would replace an input of this batch"), std::string::npos)
        << g.Batch.Items()[0].Error;
    EXPECT_EQ(g.Batch.Items()[1].Error, "The output file must be different from the input file!");
    EXPECT_EQ(ReadWholeFile(src.File("in/one.wav")), src.Wav1);
}

// Cancel, or a window closed with the batch running: the running files stop
// and nothing half-written stays behind.
TEST(BatchConversion, CancelOrDestructionLeavesNoPartialOutput)
{
    TTempDir in;
    const auto image = PcmWavImage(Noise16(44100 * 20, 2, 3), 2, 44100);
    for (int i = 0; i < 6; ++i)
        WriteWholeFile(in.File("song" + std::to_string(i) + ".wav"), image);
    for (const bool destroy : {false, true}) {
        TTempDir out;
        std::vector<TBatchItem> items;
        {
            TFixture f;
            EXPECT_EQ(f.Batch.Add(in.Path().string()), 6u);
            f.Batch.SetOutputFormat(TConvertController::fiFlac);
            f.Batch.SetOutDir(out.Path().string());
            f.Batch.SetJobs(2);
            f.Batch.Start();
            const auto& now = f.Batch.Items();
            ASSERT_TRUE(f.Dispatcher.WaitServing(
                [&] {
                    return std::any_of(now.begin(), now.end(), [](const TBatchItem& I) {
                        return I.State == TState::bsRunning && I.Progress > 0;
                    });
                },
                60s));
            if (!destroy) {
                f.Batch.Cancel();
                f.Finish();
                EXPECT_EQ(f.Log.Outcome, TJobOutcome::joCancelled);
                EXPECT_EQ(f.Log.Finished, 1);
                for (const TBatchItem& item : now) {
                    EXPECT_NE(item.State, TState::bsQueued);
                    EXPECT_NE(item.State, TState::bsRunning);
                }
                // The running ones and every one still queued.
                EXPECT_GE(std::count_if(now.begin(), now.end(),
                                        [](const TBatchItem& I) { return I.State == TState::bsCancelled; }),
                          5);
            }
            items = now;
        }
        for (const TBatchItem& item : items) {
            EXPECT_NE(item.State, TState::bsFailed) << item.Error;
            if (item.State == TState::bsDone) {
                EXPECT_EQ(FramesIn<TFLACIn>(item.OutFile), 44100 * 20) << item.OutFile;
            } else {
                EXPECT_FALSE(fs::exists(item.OutFile)) << item.OutFile << (destroy ? " (destroyed)" : " (cancelled)");
            }
        }
        // Nor any temporary.
        for (const std::string& name : FilesIn(out.Path()))
            EXPECT_FALSE(TPartFile::IsPartName(name)) << name;
    }
}

// A file of the user's under an output name stays unless the batch was told
// to replace it.
TEST(BatchConversion, ExistingOutputsAreReplacedOnlyWhenAllowed)
{
    TSources src;
    TTempDir out;
    const std::vector<std::uint8_t> mine{'m', 'i', 'n', 'e'};
    for (const bool overwrite : {false, true}) {
        SCOPED_TRACE(overwrite);
        WriteWholeFile(out.File("one.wav"), mine);
        fs::remove(out.File("two.wav"));
        TFixture f;
        f.Batch.Add(src.File("in/one.wav"));
        f.Batch.Add(src.File("in/two.flac"));
        f.Batch.SetOverwrite(overwrite);
        f.Run(TConvertController::fiWav, out.Path().string(), 2);
        EXPECT_EQ(f.Item("two").State, TState::bsDone) << f.Item("two").Error;
        if (overwrite) {
            EXPECT_EQ(f.Item("one").State, TState::bsDone) << f.Item("one").Error;
            EXPECT_EQ(ReadWholeFile(out.File("one.wav")), src.Wav1);
        } else {
            EXPECT_EQ(f.Item("one").State, TState::bsFailed);
            EXPECT_EQ(f.Item("one").Error, TConvertController::ExistsText(out.File("one.wav")));
            EXPECT_EQ(ReadWholeFile(out.File("one.wav")), mine);
            EXPECT_EQ(f.Log.Reason, "1 of 2 files failed");
        }
        EXPECT_EQ(FilesIn(out.Path()), (std::vector<std::string>{"one.wav", "two.wav"}));
    }
}

TEST(BatchConversion, OneJobAndTwoJobsWriteTheSameFiles)
{
    TSources src;
    for (int format : {TConvertController::fiFlac, TConvertController::fiMp3}) {
        TTempDir one, two;
        for (auto [dir, jobs] : {std::pair{&one, 1}, std::pair{&two, 2}}) {
            TFixture f;
            f.Batch.Add(src.File("in"));
            f.Run(format, dir->Path().string(), jobs);
            ASSERT_EQ(f.Log.Outcome, TJobOutcome::joSucceeded) << f.Log.Reason;
        }
        const auto names = FilesIn(one.Path());
        ASSERT_EQ(names.size(), 5u);
        ASSERT_EQ(FilesIn(two.Path()), names);
        for (const std::string& name : names)
            EXPECT_EQ(ReadWholeFile(one.File(name)), ReadWholeFile(two.File(name))) << name;
    }
}
