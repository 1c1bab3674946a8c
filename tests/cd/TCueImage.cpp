#include "cd/TCueImage.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace kestrune::test {

namespace {

constexpr int SectorBytes = 2352;
constexpr int FramesPerSector = 588;

void PutSample(std::vector<std::uint8_t>& Out, int Value)
{
    const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(Value));
    Out.push_back(static_cast<std::uint8_t>(v & 0xFFU));
    Out.push_back(static_cast<std::uint8_t>(v >> 8));
}

} // namespace

std::string Msf(int Sectors)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", Sectors / 75 / 60, Sectors / 75 % 60, Sectors % 75);
    return text;
}

std::vector<int> TCueImage::Starts() const
{
    std::vector<int> starts;
    int at = 0;
    for (const TCueImageTrack& t : Tracks) {
        at += t.PregapSectors;
        starts.push_back(at);
        at += t.Sectors;
    }
    return starts;
}

int TCueImage::TotalSectors() const
{
    int total = 0;
    for (const TCueImageTrack& t : Tracks)
        total += t.PregapSectors + t.Sectors;
    return total;
}

std::vector<std::uint8_t> TCueImage::Bin() const
{
    std::vector<std::uint8_t> bin;
    std::mt19937 random(1234);
    int trackNumber = 0;
    for (const TCueImageTrack& t : Tracks) {
        ++trackNumber;
        bin.insert(bin.end(), std::size_t(t.PregapSectors) * SectorBytes, 0);
        const int frames = t.Sectors * FramesPerSector;
        for (int i = 0; i < frames; ++i) {
            switch (t.Kind) {
            case TCueImageTrack::tkSine: {
                const double phase = 2.0 * M_PI * (220.0 * trackNumber) * i / 44100.0;
                PutSample(bin, static_cast<int>(12000.0 * std::sin(phase)));
                PutSample(bin, static_cast<int>(9000.0 * std::sin(phase * 1.5)));
                break;
            }
            case TCueImageTrack::tkNoise:
                PutSample(bin, static_cast<int>(random() % 40000U) - 20000);
                PutSample(bin, static_cast<int>(random() % 40000U) - 20000);
                break;
            case TCueImageTrack::tkData:
                for (int b = 0; b < 4; ++b)
                    bin.push_back(static_cast<std::uint8_t>(random()));
                break;
            }
        }
    }
    return bin;
}

std::filesystem::path TCueImage::Write(const std::filesystem::path& Folder, const std::string& Name) const
{
    const std::vector<std::uint8_t> bin = Bin();
    std::ofstream(Folder / (Name + ".bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bin.data()), static_cast<std::streamsize>(bin.size()));

    std::ostringstream cue;
    if (!Catalog.empty())
        cue << "CATALOG " << Catalog << "\n";
    if (!Performer.empty())
        cue << "PERFORMER \"" << Performer << "\"\n";
    if (!Title.empty())
        cue << "TITLE \"" << Title << "\"\n";
    cue << "FILE \"" << Name << ".bin\" BINARY\n";
    const std::vector<int> starts = Starts();
    for (std::size_t i = 0; i < Tracks.size(); ++i) {
        const TCueImageTrack& t = Tracks[i];
        char number[24];
        std::snprintf(number, sizeof number, "%02zu", i + 1);
        cue << "  TRACK " << number << (t.Kind == TCueImageTrack::tkData ? " MODE1/2352" : " AUDIO") << "\n";
        if (!t.Title.empty())
            cue << "    TITLE \"" << t.Title << "\"\n";
        if (!t.Performer.empty())
            cue << "    PERFORMER \"" << t.Performer << "\"\n";
        if (!t.Isrc.empty())
            cue << "    ISRC " << t.Isrc << "\n";
        if (t.PreEmphasis)
            cue << "    FLAGS PRE\n";
        if (t.PregapSectors > 0)
            cue << "    INDEX 00 " << Msf(starts[i] - t.PregapSectors) << "\n";
        cue << "    INDEX 01 " << Msf(starts[i]) << "\n";
    }
    std::filesystem::path path = Folder / (Name + ".cue");
    std::ofstream(path) << cue.str();
    return path;
}

} // namespace kestrune::test
