#include "burn/TBurnFixture.h"
#include "burn/TCdWriter.h"
#include "burn/TLibburnDrive.h"
#include "common/TPlainDispatcher.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kestrune {
namespace {

namespace fs = std::filesystem;

class TLastError : public ICdWriterEvents {
public:
    void OnOperationProgress(int Percent) override { Completed = Percent == 100; }
    void OnErrorEx(int C, const std::string& T) override
    {
        Code = C;
        Text = T;
    }
    void OnMediaChange() override {}
    bool Completed = false;
    int Code = 0;
    std::string Text;
};

// This machine has no burner: libburn's scan finds nothing, says nothing is
// wrong, and the writer lists the image drive alone.
TEST(LibburnDrive, ScanWithoutBurnersListsOnlyTheImageDrive)
{
    EXPECT_TRUE(TLibburnDrive::Scan().empty());
    test::TTempDir dir;
    TPlainDispatcher dispatcher;
    const auto writer = TCdWriter::Standard(dispatcher, dir.Path() / "disc.cue", 80);
    writer->Initialize();
    EXPECT_EQ(writer->ScanProblem(), "");
    ASSERT_EQ(writer->DriveCount(), 1);
    EXPECT_EQ(writer->DriveText1(), "Image");
}

// A pseudo-drive over a file takes data, never audio: libburn refuses the
// job before writing, whatever the method, and its reason reaches the
// listener as the error's text. The drive shows the file as a disc it does
// not know, so the burn window never offers it for audio.
TEST(LibburnDrive, PseudoDriveRefusesAudioWithLibburnsReason)
{
    test::TTempDir dir;
    const std::string target = dir.File("pseudo.iso");
    const std::string wav = test::WriteWav(dir.File("a.wav"), test::Sine16(5 * 44100, 2, 44100, 440, 8000), 2, 44100);
    TPlainDispatcher dispatcher;
    TCdWriter writer(dispatcher, {[&] { return TLibburnDrive::Scan({"stdio:" + target}); }});
    writer.Initialize();
    ASSERT_EQ(writer.DriveCount(), 1);
    writer.Refresh();
    EXPECT_EQ(writer.DiscState(), 2);
    writer.AddTrack(wav);
    for (const int method : {0, 1, 2}) {
        SCOPED_TRACE(method);
        TLastError events;
        writer.SetEvents(&events);
        writer.SetWriteMethod(method);
        writer.WriteDisc();
        ASSERT_TRUE(
            dispatcher.WaitServing([&] { return events.Code != 0 || events.Completed; }, std::chrono::seconds(30)));
        EXPECT_EQ(events.Code, ICdWriter::ecRefused);
        EXPECT_EQ(events.Text, "The drive cannot write this disc: audio track prohibited by non-CD.");
        EXPECT_TRUE(!fs::exists(target) || fs::file_size(target) == 0);
    }
    writer.SetEvents(nullptr);
}

} // namespace
} // namespace kestrune
