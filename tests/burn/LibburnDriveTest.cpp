#include "burn/TBurnFixture.h"
#include "burn/TCdWriter.h"
#include "burn/TLibburnDrive.h"
#include "common/TPlainDispatcher.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <utility>

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

// A pseudo-drive over a file takes data, never audio. The writer offers its
// file as a blank medium of libburn's own kind, so a queue can be made; the
// job is refused before anything is written, whatever the method, with
// libburn's reason as the error's text, and the file keeps what it held.
// It cannot be erased either, and says so.
TEST(LibburnDrive, PseudoDriveRefusesAudioWithLibburnsReason)
{
    test::TTempDir dir;
    const std::string target = dir.File("pseudo.iso");
    const std::vector<std::uint8_t> held{'k', 'e', 'e', 'p'};
    test::WriteWholeFile(target, held);
    const std::string wav = test::WriteWav(dir.File("a.wav"), test::Sine16(5 * 44100, 2, 44100, 440, 8000), 2, 44100);
    TPlainDispatcher dispatcher;
    TCdWriter writer(dispatcher, {[&] { return TLibburnDrive::Scan({"stdio:" + target}); }});
    writer.Initialize();
    ASSERT_EQ(writer.DriveCount(), 1);
    writer.Refresh();
    EXPECT_EQ(writer.DiscState(), 1);
    EXPECT_EQ(writer.MediaType(), -1);
    EXPECT_EQ(writer.MediaName(), "stdio file");
    EXPECT_EQ(writer.DiscStatus(), 0);
    EXPECT_GT(writer.DiscCapacity(), 0);
    writer.AddTrack(wav);
    EXPECT_GT(writer.CompilationSize(), 0);

    auto run = [&](const std::function<void()>& Start) {
        TLastError events;
        writer.SetEvents(&events);
        Start();
        EXPECT_TRUE(
            dispatcher.WaitServing([&] { return events.Code != 0 || events.Completed; }, std::chrono::seconds(30)));
        writer.SetEvents(nullptr);
        EXPECT_EQ(test::ReadWholeFile(target), held);
        return std::make_pair(events.Code, events.Text);
    };
    for (const int method : {0, 1, 2}) {
        SCOPED_TRACE(method);
        writer.SetWriteMethod(method);
        EXPECT_EQ(run([&] { writer.WriteDisc(); }),
                  std::make_pair(ICdWriter::ecRefused,
                                 std::string("The drive refuses this job: audio track prohibited by non-CD.")));
    }
    EXPECT_EQ(run([&] { writer.EraseDisc(true); }),
              std::make_pair(ICdWriter::ecRefused, std::string("The drive's stdio file cannot be erased.")));
}

} // namespace
} // namespace kestrune
