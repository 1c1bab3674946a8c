#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "convert/TConvertQueue.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class TNullView final : public IConvertView {
public:
    void SetInFormat(const std::string&) override {}
    void SetOutFileName(const std::string&) override {}
    void ShowStatusBar(bool) override {}
    void Closed() override { ++ClosedCount; }
    int ClosedCount = 0;
};

class TQueueView final : public IConvertQueueView {
public:
    explicit TQueueView(TConvertController& C) : Single(C) {}
    void ShowQueue(bool Several) override { Shows.push_back(Several); }
    // As the window does: the input edit tells the controller.
    void ShowInFileName(const std::string& Name) override { Single.SetInFileName(Name); }
    void ShowStatusBar(bool Visible) override { StatusBar = Visible; }
    TConvertController& Single;
    std::vector<bool> Shows;
    bool StatusBar = false;
};

struct TQueueFixture {
    TTempDir Dir;
    TNullView SingleView;
    TPlainDialogs Dialogs;
    TPlainDispatcher Dispatcher;
    TConvertController Single{SingleView, Dialogs, Dispatcher};
    TBatchConversion Batch{Dispatcher};
    TQueueView View{Single};
    TConvertQueue Queue{Single, Batch, View, Dialogs, Dispatcher};

    std::string Tone(const std::string& Name, int Frames = 11025)
    {
        WriteWholeFile(Dir.File(Name), PcmWavImage(Sine16(Frames, 2, 22050, 440, 9000), 2, 22050));
        return Dir.File(Name);
    }
    void WaitDone()
    {
        ASSERT_TRUE(Dispatcher.WaitServing([&] { return !Queue.Running(); }, 60s));
    }
    std::string LastBox() const { return Dialogs.Shown().empty() ? "" : Dialogs.Shown().back().Text; }
};

} // namespace

// The queue holds no file (the single input is the file) or several; adding
// keeps the file already chosen first, and what leaves one file hands it to
// the single conversion.
TEST(ConvertQueue, OneFileIsTheSingleConversionSeveralAreTheQueue)
{
    TQueueFixture f;
    const std::string a = f.Tone("a.wav"), b = f.Tone("b.wav"), c = f.Tone("c.wav");

    f.Queue.Choose({a});
    EXPECT_FALSE(f.Queue.Several());
    EXPECT_EQ(f.Queue.Count(), 0u);
    EXPECT_EQ(f.Single.InFileName(), a);

    f.Queue.Add({b});
    ASSERT_EQ(f.Queue.Count(), 2u);
    EXPECT_EQ(f.Batch.Items()[0].InFile, a);
    EXPECT_EQ(f.Batch.Items()[1].InFile, b);
    EXPECT_EQ(f.View.Shows, std::vector<bool>{true});
    EXPECT_EQ(f.Queue.QueuedText(), "2 files to convert");

    f.Queue.Clear();
    EXPECT_FALSE(f.Queue.Several());
    EXPECT_EQ(f.View.Shows, (std::vector<bool>{true, false}));

    // One file dropped with no file chosen is the single input; a folder
    // brings its audio files.
    f.Single.SetInFileName(f.Dir.Path().string() + "/");
    f.Queue.Add({c});
    EXPECT_EQ(f.Queue.Count(), 0u);
    EXPECT_EQ(f.Single.InFileName(), c);
    f.Queue.Clear();
    f.Queue.Choose({a, b});
    f.Queue.Add({f.Dir.Path().string()});
    EXPECT_EQ(f.Queue.Count(), 5u);
}

// The queue converts every file into the folder chosen; a bad file fails with
// its reason while the others finish, and the end names it.
TEST(ConvertQueue, RunsEveryFileAndTheEndSaysWhatFailed)
{
    TQueueFixture f;
    const std::string out = f.Dir.File("out");
    fs::create_directory(out);
    const std::string a = f.Tone("a.wav"), b = f.Tone("b.wav");
    WriteWholeFile(f.Dir.File("bad.wav"), {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
    f.Queue.Choose({a, f.Dir.File("bad.wav"), b});
    f.Single.ChooseOutFormat(TConvertController::fiFlac);
    f.Queue.SetOutDir(out);

    f.Queue.Convert();
    EXPECT_TRUE(f.Queue.Running());
    EXPECT_TRUE(f.View.StatusBar);
    f.WaitDone();
    EXPECT_FALSE(f.View.StatusBar);
    EXPECT_EQ(f.Batch.Items()[0].State, TBatchItem::TState::bsDone);
    EXPECT_EQ(f.Batch.Items()[1].State, TBatchItem::TState::bsFailed);
    EXPECT_EQ(f.Batch.Items()[2].State, TBatchItem::TState::bsDone);
    EXPECT_EQ(FramesIn<TFLACIn>(out + "/a.flac"), 11025);
    EXPECT_EQ(FramesIn<TFLACIn>(out + "/b.flac"), 11025);
    EXPECT_FALSE(fs::exists(out + "/bad.flac"));
    EXPECT_EQ(f.Dialogs.Shown().back().Kind, TDialogKind::dkWarning);
    EXPECT_EQ(f.LastBox(), "2 of 3 files converted.\nThese failed:\nbad.wav: " + f.Batch.Items()[1].Error);
    EXPECT_FALSE(f.Batch.Items()[1].Error.empty());
    EXPECT_EQ(TConvertQueue::StateText(f.Batch.Items()[1]), "Failed: " + f.Batch.Items()[1].Error);

    // CONVERT! again runs the whole queue anew.
    fs::remove(out + "/a.flac");
    fs::remove(f.Dir.File("bad.wav"));
    f.Tone("bad.wav");
    // b.flac is there from the first run: replaced only on the user's word.
    f.Dialogs.Script(TDialogResult::drYes);
    f.Queue.Convert();
    f.WaitDone();
    const auto& shown = f.Dialogs.Shown();
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](const TPlainDialogs::TShown& S) {
        return S.Kind == TDialogKind::dkConfirmation && S.Text == TConvertQueue::ReplaceQuestion(1);
    }));
    EXPECT_EQ(f.LastBox(), "3 of 3 files converted.");
    EXPECT_EQ(f.Dialogs.Shown().back().Kind, TDialogKind::dkInformation);
    EXPECT_TRUE(fs::exists(out + "/a.flac"));
}

// Without a format the queue does not start; Cancel stops a running queue
// and the window stays; closing stops it without a box and ends Closed.
TEST(ConvertQueue, FormatMissingCancelAndClose)
{
    TQueueFixture f;
    f.Queue.Choose({f.Tone("a.wav", 22050 * 30), f.Tone("b.wav", 22050 * 30)});
    f.Queue.Convert();
    EXPECT_EQ(f.LastBox(), "Output format missing");
    EXPECT_FALSE(f.Queue.Running());

    f.Single.ChooseOutFormat(TConvertController::fiMp3);
    f.Queue.SetOutDir(f.Dir.File(""));
    for (const bool close : {false, true}) {
        f.Queue.Convert();
        ASSERT_TRUE(f.Queue.Running());
        const std::size_t boxes = f.Dialogs.Shown().size();
        if (close) {
            f.Queue.Close();
            EXPECT_FALSE(f.Queue.Running());
            EXPECT_EQ(f.Dialogs.Shown().size(), boxes);
            EXPECT_EQ(f.SingleView.ClosedCount, 1);
        } else {
            EXPECT_FALSE(f.Queue.Cancel());
            f.WaitDone();
            EXPECT_EQ(f.LastBox(), "Conversion canceled");
            EXPECT_TRUE(f.Queue.Cancel()); // nothing runs: the window may close
        }
        EXPECT_FALSE(fs::exists(f.Dir.File("a.mp3")));
        EXPECT_FALSE(fs::exists(f.Dir.File("b.mp3")));
    }
}
