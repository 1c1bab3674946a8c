#include "burn/TBurnFixture.h"

#include "cd/TCdGrabber.h"
#include "cd/TCdioDriveProvider.h"
#include "cd/TGrabEndWatch.h"
#include "common/TPlainDispatcher.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace kestrune::test {

std::string WriteWav(const std::string& File, const std::vector<std::int16_t>& Samples, int Channels, int SampleRate)
{
    WriteWholeFile(File, PcmWavImage(Samples, Channels, SampleRate));
    return File;
}

TImageReadBack ReadImage(const std::filesystem::path& Cue)
{
    TCdioDriveProvider drives({Cue.string()}, false);
    const std::unique_ptr<ICdDrive> drive = drives.Open(Cue.string());
    TImageReadBack back;
    back.Toc = drive->Toc();
    back.CdText = drive->CdText();
    for (const TTocTrack& t : back.Toc.Tracks) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(t.Sectors) * TDiscToc::SectorBytes);
        const std::unique_ptr<ISectorReader> reader = drive->Read(t.StartLsn, t.Sectors, 0, 1, nullptr);
        for (std::int32_t s = 0; s < t.Sectors; ++s)
            if (!reader->Next(bytes.data() + static_cast<std::size_t>(s) * TDiscToc::SectorBytes))
                throw std::runtime_error("sector " + std::to_string(t.StartLsn + s) + " could not be read");
        back.Tracks.push_back(std::move(bytes));
    }
    return back;
}

std::vector<std::string> FilesIn(const std::filesystem::path& Folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::vector<std::uint8_t>> GrabImage(const std::filesystem::path& Cue, const TTempDir& Dir,
                                                 std::vector<std::string>* Isrcs)
{
    TPlainDispatcher dispatcher;
    TGrabEndWatch watch;
    TCdGrabber grabber(dispatcher, std::make_shared<TCdioDriveProvider>(std::vector<std::string>{Cue.string()}, false));
    grabber.SetEvents(&watch);
    grabber.Initialize();
    grabber.Refresh();
    std::vector<std::vector<std::uint8_t>> tracks;
    for (int t = 0; t < grabber.TrackCount(); ++t) {
        const std::string wav = Dir.File("grab" + std::to_string(t) + ".wav");
        watch.Ended = false;
        grabber.SetCurrentTrack(t);
        if (Isrcs)
            Isrcs->push_back(grabber.TrackISRC());
        grabber.GrabToFile(wav);
        EXPECT_TRUE(dispatcher.WaitServing([&watch] { return watch.Ended; }, std::chrono::seconds(30)));
        EXPECT_EQ(grabber.GrabError(), "");
        std::vector<std::uint8_t> audio = ReadWholeFile(wav);
        audio.erase(audio.begin(), audio.begin() + std::min<std::ptrdiff_t>(44, std::ssize(audio)));
        tracks.push_back(std::move(audio));
    }
    return tracks;
}

} // namespace kestrune::test
