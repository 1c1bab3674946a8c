#include "burn/TBurnFixture.h"

#include "cd/TCdioDriveProvider.h"
#include "support/TestSupport.h"

#include <algorithm>

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

} // namespace kestrune::test
