#include "cd/TAccurateRipChecksum.h"
#include "cd/TCdGrabber.h"
#include "cd/TCdioDrive.h"
#include "cd/TCdioDriveProvider.h"
#include "cd/TCueImage.h"
#include "common/TPlainDispatcher.h"
#include "pipeline/EACSException.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <sys/wait.h>
#include <unistd.h>

namespace kestrune {
namespace {

using test::TCueImage;
using test::TCueImageTrack;

// The grabber's events as the window would see them.
struct TRecordedEvents final : ICdGrabberEvents {
    std::vector<double> Progress;
    std::vector<std::pair<int, int>> Retries;
    int MediaChanges = 0;
    void OnMediaChange() override { ++MediaChanges; }
    void OnOperationProgress(double P) override { Progress.push_back(P); }
    void OnGrabRetry(int Retry, int Sector) override { Retries.emplace_back(Retry, Sector); }
    std::vector<int> QueryStatus;
    void OnFreeDBQueryStatus(int Status) override { QueryStatus.push_back(Status); }
    bool Ended() const { return !Progress.empty() && Progress.back() == 100.0; }
};

// Three audio tracks (a pregap before the third), a data track, and the
// usual cue extras.
TCueImage MixedImage()
{
    TCueImage image;
    image.Title = "Probe Album";
    image.Performer = "Probe Artist";
    image.Catalog = "0123456789012";
    image.Tracks = {
        {TCueImageTrack::tkSine, 150, 0, "USABC2400001", false, "Sine Pair", "Probe Artist"},
        {TCueImageTrack::tkNoise, 225, 0, "USABC2400002", false, "Noise", ""},
        {TCueImageTrack::tkSine, 113, 30, "", true, "Late", ""},
        {TCueImageTrack::tkData, 40, 0, "", false, "", ""},
    };
    return image;
}

class GrabberTest : public ::testing::Test {
protected:
    // Opens the image as the grabber's only drive and reads its disc.
    void Load(const std::filesystem::path& Cue)
    {
        Grabber = std::make_unique<TCdGrabber>(
            Dispatcher, std::make_shared<TCdioDriveProvider>(std::vector<std::string>{Cue.string()}, false));
        Grabber->SetEvents(&Events);
        Grabber->Initialize();
        ASSERT_EQ(Grabber->DriveCount(), 1);
        Grabber->SetCurrentDrive(1);
        Grabber->Refresh();
    }

    // Grabs track Track (0-based) into Path and waits for the end.
    std::string Grab(int Track, const std::filesystem::path& Path)
    {
        Events = TRecordedEvents{};
        Grabber->SetCurrentTrack(Track);
        Grabber->GrabToFile(Path);
        EXPECT_TRUE(Dispatcher.WaitServing([this] { return Events.Ended(); }, std::chrono::seconds(30)));
        return Grabber->GrabError();
    }

    std::vector<std::string> FolderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(Dir.Path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TTempDir Dir;
    TPlainDispatcher Dispatcher;
    TRecordedEvents Events;
    std::unique_ptr<TCdGrabber> Grabber;
};

TEST_F(GrabberTest, ReadsTheImagesTableOfContents)
{
    const TCueImage image = MixedImage();
    Load(image.Write(Dir.Path(), "disc"));
    ASSERT_EQ(Grabber->DiscState(), 1);
    EXPECT_EQ(Grabber->SessionCount(), 1);
    EXPECT_EQ(Grabber->MediaType(), 0);
    ASSERT_EQ(Grabber->TrackCount(), 4);
    const TDiscToc& toc = Grabber->Toc();
    EXPECT_EQ(toc.Mcn, "0123456789012");
    EXPECT_EQ(toc.LeadOutLsn, image.TotalSectors());
    EXPECT_EQ(Grabber->DiscId(), toc.CddbId());
    EXPECT_EQ(Grabber->CdText().AlbumTitle, "Probe Album");
    EXPECT_EQ(Grabber->CdText().AlbumPerformer, "Probe Artist");

    struct TExpect {
        int Lsn, Sectors, Type;
        const char* Isrc;
        bool Pre;
        const char* Title;
        int Minutes, Seconds, Fraction;
    };
    // The pregap of the third track counts to the second: 225 + 30 sectors.
    const TExpect expected[] = {
        {0, 150, 0, "USABC2400001", false, "Sine Pair", 0, 2, 0},
        {150, 255, 0, "USABC2400002", false, "Noise", 0, 3, 400},
        {405, 113, 0, "", true, "Late", 0, 1, 506},
        {518, 40, 1, "", false, "", 0, 0, 533},
    };
    for (int t = 0; t < 4; ++t) {
        SCOPED_TRACE(t);
        const TExpect& e = expected[t];
        Grabber->SetCurrentTrack(t);
        EXPECT_EQ(toc.Tracks[std::size_t(t)].StartLsn, e.Lsn);
        EXPECT_EQ(toc.Tracks[std::size_t(t)].Sectors, e.Sectors);
        EXPECT_EQ(Grabber->TrackType(), e.Type);
        EXPECT_EQ(Grabber->TrackISRC(), e.Isrc);
        EXPECT_EQ(Grabber->TrackPreEmphasis(), e.Pre);
        EXPECT_EQ(Grabber->TrackTitle(), e.Title);
        EXPECT_EQ(Grabber->TrackMinutes(), e.Minutes);
        EXPECT_EQ(Grabber->TrackSeconds(), e.Seconds);
        EXPECT_EQ(Grabber->TrackFraction(), e.Fraction);
    }
    EXPECT_THROW(Grabber->SetCurrentTrack(4), EACSException);
}

TEST_F(GrabberTest, GrabbedAudioEqualsTheImageBitForBit)
{
    const TCueImage image = MixedImage();
    Load(image.Write(Dir.Path(), "disc"));
    const std::vector<std::uint8_t> bin = image.Bin();
    const TDiscToc& toc = Grabber->Toc();
    for (int t = 0; t < 3; ++t) {
        SCOPED_TRACE(t);
        const auto wav = Dir.Path() / ("track" + std::to_string(t) + ".wav");
        ASSERT_EQ(Grab(t, wav), "");
        const std::vector<std::uint8_t> bytes = test::ReadWholeFile(wav.string());
        const TTocTrack& track = toc.Tracks[std::size_t(t)];
        const std::size_t begin = std::size_t(track.StartLsn) * TDiscToc::SectorBytes;
        const std::size_t size = std::size_t(track.Sectors) * TDiscToc::SectorBytes;
        ASSERT_EQ(bytes.size(), 44 + size);
        // A canonical header: 44.1 kHz stereo 16-bit, sizes that match.
        EXPECT_EQ(test::PcmWavImage(test::AsSamples16(std::vector<std::uint8_t>(bin.begin() + long(begin),
                                                                                bin.begin() + long(begin + size))),
                                    2, 44100),
                  bytes);
        EXPECT_GT(Events.Progress.size(), 1U);
        EXPECT_TRUE(std::is_sorted(Events.Progress.begin(), Events.Progress.end()));
    }
    // Nothing but the three files is left in the folder.
    EXPECT_EQ(FolderEntries(),
              (std::vector<std::string>{"disc.bin", "disc.cue", "track0.wav", "track1.wav", "track2.wav"}));
}

TEST_F(GrabberTest, OutputFormatsHaveHeadersThatFitTheirAudio)
{
    const TCueImage image = MixedImage();
    Load(image.Write(Dir.Path(), "disc"));
    const std::int64_t frames = 150 * 588; // the first track
    struct TCase {
        int Rate, Channels, Bits;
    };
    const TCase cases[] = {{44100, 1, 16}, {44100, 2, 8}, {22050, 1, 8}, {11025, 2, 16}, {48000, 2, 24}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Rate) + "/" + std::to_string(c.Channels) + "/" + std::to_string(c.Bits));
        Grabber->SetOutputFormat(c.Rate, c.Channels, c.Bits);
        const auto wav = Dir.Path() / "out.wav";
        // A grab takes no name that is there.
        std::filesystem::remove(wav);
        ASSERT_EQ(Grab(0, wav), "");
        const std::vector<std::uint8_t> bytes = test::ReadWholeFile(wav.string());
        ASSERT_GE(bytes.size(), 44U);
        auto u16 = [&](std::size_t At) { return std::uint32_t(bytes[At]) | std::uint32_t(bytes[At + 1]) << 8; };
        auto u32 = [&](std::size_t At) { return u16(At) | u16(At + 2) << 16; };
        const std::uint32_t frameBytes = std::uint32_t(c.Channels * c.Bits / 8);
        EXPECT_EQ(u32(4), bytes.size() - 8);
        EXPECT_EQ(u16(22), std::uint32_t(c.Channels));
        EXPECT_EQ(u32(24), std::uint32_t(c.Rate));
        EXPECT_EQ(u32(28), std::uint32_t(c.Rate) * frameBytes);
        EXPECT_EQ(u16(32), frameBytes);
        EXPECT_EQ(u16(34), std::uint32_t(c.Bits));
        EXPECT_EQ(u32(40), bytes.size() - 44);
        EXPECT_EQ((bytes.size() - 44) % frameBytes, 0U);
        // The length of the audio survives the conversion: exactly without
        // a change of rate, within a few frames of the resampler with one.
        const std::int64_t written = std::int64_t(bytes.size() - 44) / frameBytes;
        const std::int64_t expected = frames * c.Rate / 44100;
        if (c.Rate == 44100)
            EXPECT_EQ(written, expected);
        else
            EXPECT_NEAR(double(written), double(expected), 4.0);
    }
    // 8-bit mono from the disc: the mean of both sides, its top byte made
    // unsigned.
    Grabber->SetOutputFormat(44100, 1, 8);
    const auto wav = Dir.Path() / "mono8.wav";
    ASSERT_EQ(Grab(0, wav), "");
    const std::vector<std::uint8_t> bytes = test::ReadWholeFile(wav.string());
    const std::vector<std::uint8_t> bin = image.Bin();
    for (std::size_t f = 0; f < 2000; f += 97) {
        const auto left = std::int16_t(bin[f * 4] | bin[f * 4 + 1] << 8);
        const auto right = std::int16_t(bin[f * 4 + 2] | bin[f * 4 + 3] << 8);
        const int mean = (left + right) / 2;
        EXPECT_NEAR(int(bytes[44 + f]) - 128, mean / 256, 1) << f;
    }
    EXPECT_THROW(Grabber->SetOutputFormat(44100, 3, 16), EACSException);
    EXPECT_THROW(Grabber->SetOutputFormat(44100, 2, 12), EACSException);
    EXPECT_THROW(Grabber->SetOutputFormat(0, 2, 16), EACSException);
    // A refused format leaves the last one.
    EXPECT_EQ(Grabber->OutputBitsPerSample(), 8);
}

TEST_F(GrabberTest, DataTracksAreNotGrabbed)
{
    TCueImage dataOnly;
    dataOnly.Tracks = {{TCueImageTrack::tkData, 300, 0, "", false, "", ""}};
    Load(dataOnly.Write(Dir.Path(), "data"));
    ASSERT_EQ(Grabber->TrackCount(), 1);
    EXPECT_EQ(Grabber->TrackType(), 1);
    try {
        Grabber->GrabToFile(Dir.Path() / "out.wav");
        FAIL() << "a data track was grabbed";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "Track 1 is a data track; only audio tracks can be grabbed.");
    }
    EXPECT_FALSE(std::filesystem::exists(Dir.Path() / "out.wav"));
}

TEST_F(GrabberTest, DamagedImagesAreRefusedWithTheirReason)
{
    const TCueImage good = MixedImage();
    struct TCase {
        const char* Name;
        std::function<void(const std::filesystem::path& Cue)> Damage;
        const char* Message; // a part of the reason
    };
    const auto rewrite = [](const std::filesystem::path& Path, const std::string& From, const std::string& To) {
        std::string text;
        {
            std::ifstream in(Path);
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        text.replace(text.find(From), From.size(), To);
        std::ofstream(Path) << text;
    };
    const std::vector<TCase> cases{
        {"no FILE line", [&](const auto& Cue) { rewrite(Cue, "FILE \"disc.bin\" BINARY\n", ""); },
         "names no data file"},
        {"several FILE lines",
         [&](const auto& Cue) { rewrite(Cue, "  TRACK 02", "FILE \"disc.bin\" BINARY\n  TRACK 02"); },
         "names 2 data files"},
        {"bin shorter than the cue",
         [&](const auto& Cue) {
             std::filesystem::path bin = Cue;
             bin.replace_extension(".bin");
             std::filesystem::resize_file(bin, std::uintmax_t{500} * TDiscToc::SectorBytes);
         },
         "is shorter than its cue sheet: it holds 500 sectors, and track 4 starts at sector 518"},
        {"FILE names another file", [&](const auto& Cue) { rewrite(Cue, "\"disc.bin\"", "\"other.bin\""); },
         "data file \"other.bin\" of the cue sheet disc.cue cannot be found beside it"},
        {"bin missing",
         [&](const auto& Cue) {
             std::filesystem::path bin = Cue;
             std::filesystem::remove(bin.replace_extension(".bin"));
         },
         "cannot be found"},
        // Its 44-byte header would be read as audio, every track shifted.
        {"a WAV file given as BINARY",
         [&](const auto& Cue) {
             std::filesystem::path bin = Cue;
             bin.replace_extension(".bin");
             test::WriteWholeFile(bin.string(),
                                  test::PcmWavImage(test::Sine16(700 * 588, 2, 44100, 440, 8000), 2, 44100));
         },
         "disc.bin of the cue sheet disc.cue is a WAV file"},
        {"bin cut inside a sector",
         [&](const auto& Cue) {
             std::filesystem::path bin = Cue;
             bin.replace_extension(".bin");
             std::filesystem::resize_file(bin, std::filesystem::file_size(bin) - 1000);
         },
         "is shorter than its cue sheet or not raw CD audio"},
        {"a type the CD library does not read", [&](const auto& Cue) { rewrite(Cue, " BINARY", " MP3"); },
         "gives its data file as MP3"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        test::TTempDir dir;
        const std::filesystem::path cue = good.Write(dir.Path(), "disc");
        c.Damage(cue);
        TCdGrabber grabber(Dispatcher,
                           std::make_shared<TCdioDriveProvider>(std::vector<std::string>{cue.string()}, false));
        grabber.Initialize();
        try {
            grabber.Refresh();
            ADD_FAILURE() << "the damaged image was read";
        } catch (const EACSException& e) {
            EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
        }
        EXPECT_EQ(grabber.DiscState(), 0);
        EXPECT_THROW(grabber.GrabToFile(dir.Path() / "out.wav"), EACSException);
        EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out.wav"));
    }
}

// CD-TEXT of a cue sheet shows its letters whether the sheet was written in
// UTF-8 (most programs now) or Latin-1 (older ones).
TEST_F(GrabberTest, CueSheetTextInUtf8OrLatin1ShowsItsLetters)
{
    TCueImage image = MixedImage();
    image.Performer = "Bj\xC3\xB6rk";
    image.Title = "Homogenic \xE6\x97\xA5\xE6\x9C\xAC";
    image.Tracks[0].Title = "J\xC3\xB3ga";
    test::TTempDir dir;
    const std::filesystem::path utf8 = image.Write(dir.Path(), "utf8");
    const TCdText text = TCdioDrive(utf8.string()).CdText();
    EXPECT_EQ(text.AlbumPerformer, "Bj\xC3\xB6rk");
    EXPECT_EQ(text.AlbumTitle, "Homogenic \xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(text.TrackTitles.at(0), "J\xC3\xB3ga");

    image.Title = "Homogenic";
    image.Performer = "Bj\xF6rk";
    image.Tracks[0].Title = "J\xF3ga \x96 \x80";
    const std::filesystem::path latin1 = image.Write(dir.Path(), "latin1");
    const TCdText old = TCdioDrive(latin1.string()).CdText();
    EXPECT_EQ(old.AlbumPerformer, "Bj\xC3\xB6rk");
    EXPECT_EQ(old.TrackTitles.at(0), "J\xC3\xB3ga \xE2\x80\x93 \xE2\x82\xAC");
}

// The library reads an image through a private copy of its cue sheet: it
// goes when the drive does, and one a killed process left is cleared.
TEST_F(GrabberTest, PrivateCopiesOfImagesDoNotStay)
{
    test::TTempDir dir;
    test::TTempDir temp;
    const char* saved = std::getenv("TMPDIR");
    const std::string before = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", temp.Path().c_str(), 1);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::filesystem::path left = temp.Path() / ("kestrune-image-" + std::to_string(child) + "-abcdef");
    std::filesystem::create_directory(left);
    std::ofstream(left / "image.cue") << "FILE \"image.bin\" BINARY\n";
    const std::filesystem::path mine = temp.Path() / ("kestrune-image-" + std::to_string(::getpid()) + "-other");
    std::filesystem::create_directory(mine); // a folder of a process that still runs stays
    {
        TCdioDrive drive(MixedImage().Write(dir.Path(), "disc").string());
        EXPECT_EQ(drive.Toc().Tracks.size(), 4U);
        EXPECT_FALSE(std::filesystem::exists(left));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.Path()), {}), 2);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.Path()), {}), 1);
    EXPECT_TRUE(std::filesystem::exists(mine));
    if (saved != nullptr)
        ::setenv("TMPDIR", before.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

// A drive whose disc has two sessions and whose reader fails at a chosen
// sector: what only a real, scratched, multi-session disc would show.
class TFakeDrive final : public ICdDrive {
public:
    int FailAt = -1;                   // a sector that stays unreadable
    int FlakyAt = -1;                  // a sector read only at the last attempt
    int RetriesBeforeFail = 0;         // retries reported before it gives up
    int RetryForeverAt = -1;           // a sector retried until the callback says stop
    std::atomic<bool>* Gate = nullptr; // reads wait while it is false

    TDiscPresence Presence() override { return TDiscPresence::dpUsable; }
    TDiscToc Toc() override
    {
        TDiscToc toc;
        toc.Tracks = {{1, 0, 0, 300, TTrackType::ttAudio, false, ""},
                      {2, 0, 300, 200, TTrackType::ttAudio, false, ""},
                      {3, 1, 11900, 100, TTrackType::ttMode2Form1, false, ""}};
        toc.LeadOutLsn = 12000;
        return toc;
    }
    TCdText CdText() override { return {}; }
    int MediaType() override { return 1; }
    std::unique_ptr<ISectorReader> Read(std::int32_t First, std::int32_t Sectors, int, int Attempts,
                                        TRetry OnRetry) override
    {
        struct TReader final : ISectorReader {
            TFakeDrive* Drive;
            std::int32_t At, End;
            int Attempts;
            TRetry OnRetry;
            bool Next(std::uint8_t* Out) override
            {
                while (Drive->Gate != nullptr && !Drive->Gate->load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (At >= End)
                    return false;
                if (At == Drive->RetryForeverAt) {
                    // A drive in the mode that never skips: it tries until
                    // it is told to stop.
                    for (int r = 1; OnRetry(r, At); ++r)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    ++At;
                    return false;
                }
                if (At == Drive->FailAt || At == Drive->FlakyAt) {
                    for (int r = 1; r < Attempts; ++r)
                        OnRetry(r, At);
                    if (At == Drive->FailAt) {
                        ++At;
                        return false;
                    }
                }
                std::fill(Out, Out + TDiscToc::SectorBytes, static_cast<std::uint8_t>(At));
                ++At;
                return true;
            }
        };
        auto reader = std::make_unique<TReader>();
        reader->Drive = this;
        reader->At = First;
        reader->End = First + Sectors;
        reader->Attempts = Attempts;
        reader->OnRetry = std::move(OnRetry);
        return reader;
    }
    void Eject() override {}
    void LoadTray() override {}
};

class TFakeProvider final : public ICdDriveProvider {
public:
    TFakeDrive* Last = nullptr;
    std::function<void(TFakeDrive&)> Setup;
    std::vector<TDriveEntry> List() override { return {{"fake0", "Vendor", "Model", "1.0"}}; }
    std::unique_ptr<ICdDrive> Open(const std::string&) override
    {
        auto drive = std::make_unique<TFakeDrive>();
        if (Setup)
            Setup(*drive);
        Last = drive.get();
        return drive;
    }
};

TEST_F(GrabberTest, SessionsNumberTheirTracksFromZero)
{
    auto provider = std::make_shared<TFakeProvider>();
    TCdGrabber grabber(Dispatcher, provider);
    grabber.Initialize();
    grabber.Refresh();
    EXPECT_EQ(grabber.DriveText2(), "Model");
    ASSERT_EQ(grabber.SessionCount(), 2);
    EXPECT_EQ(grabber.TrackCount(), 2);
    grabber.SetCurrentSession(1);
    ASSERT_EQ(grabber.TrackCount(), 1);
    EXPECT_EQ(grabber.TrackType(), 21);
    EXPECT_THROW(grabber.SetCurrentTrack(1), EACSException);
}

TEST_F(GrabberTest, AnUnreadableSectorFailsTheGrabAndLeavesNoFile)
{
    auto provider = std::make_shared<TFakeProvider>();
    provider->Setup = [](TFakeDrive& D) { D.FailAt = 123; };
    Grabber = std::make_unique<TCdGrabber>(Dispatcher, provider);
    Grabber->SetEvents(&Events);
    Grabber->ReadAttempts = 3;
    Grabber->Initialize();
    Grabber->Refresh();
    const auto target = Dir.Path() / "t1.wav";
    const std::string error = Grab(0, target);
    EXPECT_EQ(error, "Sector 123 of the track could not be read.");
    // The retries come in order, the last one equal to the attempt limit.
    EXPECT_EQ(Events.Retries, (std::vector<std::pair<int, int>>{{1, 123}, {2, 123}, {3, 123}}));
    EXPECT_TRUE(FolderEntries().empty());
    // The next track still grabs.
    EXPECT_EQ(Grab(1, Dir.Path() / "t2.wav"), "");
    EXPECT_EQ(std::filesystem::file_size(Dir.Path() / "t2.wav"), 44U + 200U * TDiscToc::SectorBytes);
}

// The action on an unreadable sector: silence in its place, or the sector
// left out; either way the grab goes on and counts the sector.
TEST_F(GrabberTest, TheReadActionFillsOrCutsAnUnreadableSector)
{
    for (const int action : {TCdGrabber::raSilence, TCdGrabber::raCut}) {
        SCOPED_TRACE(action);
        auto provider = std::make_shared<TFakeProvider>();
        provider->Setup = [](TFakeDrive& D) { D.FailAt = 123; };
        Grabber = std::make_unique<TCdGrabber>(Dispatcher, provider);
        Grabber->SetEvents(&Events);
        Grabber->ReadAttempts = 2;
        Grabber->ReadAction = action;
        Grabber->Initialize();
        Grabber->Refresh();
        const auto target = Dir.Path() / ("action" + std::to_string(action) + ".wav");
        ASSERT_EQ(Grab(0, target), "");
        // The window still hears that the sector stayed unreadable.
        EXPECT_EQ(Events.Retries, (std::vector<std::pair<int, int>>{{1, 123}, {2, 123}}));
        ASSERT_NE(Grabber->GrabChecks(1), nullptr);
        EXPECT_EQ(Grabber->GrabChecks(1)->Unreadable, 1);
        const std::vector<std::uint8_t> file = test::ReadWholeFile(target.string());
        const std::size_t sectors = action == TCdGrabber::raSilence ? 300 : 299;
        ASSERT_EQ(file.size(), 44U + sectors * TDiscToc::SectorBytes);
        // The fake drive fills each sector with its number's low byte.
        const auto sectorAt = [&file](std::size_t Index) { return file[44 + Index * TDiscToc::SectorBytes]; };
        EXPECT_EQ(sectorAt(122), 122);
        EXPECT_EQ(sectorAt(123), action == TCdGrabber::raSilence ? 0 : 124);
        EXPECT_EQ(sectorAt(sectors - 1), static_cast<std::uint8_t>(299));
    }
}

// The mode that never gives up on a sector gives up once the grab is
// stopped: a stop is never left waiting for a sector that will not read.
TEST_F(GrabberTest, AStopEndsANeverSkippingRead)
{
    auto provider = std::make_shared<TFakeProvider>();
    provider->Setup = [](TFakeDrive& D) { D.RetryForeverAt = 50; };
    Grabber = std::make_unique<TCdGrabber>(Dispatcher, provider);
    Grabber->SetEvents(&Events);
    Grabber->ReadOption = 3;
    Grabber->Initialize();
    Grabber->Refresh();
    Grabber->GrabToFile(Dir.Path() / "t1.wav");
    ASSERT_TRUE(Dispatcher.WaitServing([this] { return Events.Retries.size() >= 5; }, std::chrono::seconds(10)));
    EXPECT_FALSE(Events.Ended());
    Grabber->CancelGrab();
    ASSERT_TRUE(Dispatcher.WaitServing([this] { return Events.Ended(); }, std::chrono::seconds(10)));
    EXPECT_EQ(Grabber->GrabError(), "The grab was cancelled.");
    EXPECT_TRUE(FolderEntries().empty());
}

// The four read modes are four different sets of paranoia checks.
TEST(CdioDriveTest, ReadModesMapToDistinctParanoiaModes)
{
    EXPECT_EQ(TCdioDrive::ParanoiaMode(0), PARANOIA_MODE_DISABLE);
    EXPECT_EQ(TCdioDrive::ParanoiaMode(1), PARANOIA_MODE_OVERLAP);
    EXPECT_EQ(TCdioDrive::ParanoiaMode(2), PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    EXPECT_EQ(TCdioDrive::ParanoiaMode(3), PARANOIA_MODE_FULL);
}

// A grab never takes the place of a file that is there: it fails, and the
// file stays as it was.
TEST_F(GrabberTest, AGrabNeverReplacesAFile)
{
    auto provider = std::make_shared<TFakeProvider>();
    Grabber = std::make_unique<TCdGrabber>(Dispatcher, provider);
    Grabber->SetEvents(&Events);
    Grabber->Initialize();
    Grabber->Refresh();
    const auto target = Dir.Path() / "t1.wav";
    std::ofstream(target) << "the user's file";
    const std::string error = Grab(0, target);
    EXPECT_NE(error.find("exists"), std::string::npos) << error;
    const std::vector<std::uint8_t> kept = test::ReadWholeFile(target.string());
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the user's file");
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"t1.wav"});
}

TEST_F(GrabberTest, CancelEndsWithProgress100AndNoFile)
{
    std::atomic<bool> gate{false};
    auto provider = std::make_shared<TFakeProvider>();
    provider->Setup = [&gate](TFakeDrive& D) { D.Gate = &gate; };
    Grabber = std::make_unique<TCdGrabber>(Dispatcher, provider);
    Grabber->SetEvents(&Events);
    Grabber->Initialize();
    Grabber->Refresh();
    Grabber->GrabToFile(Dir.Path() / "t1.wav");
    EXPECT_TRUE(Grabber->Grabbing());
    // The drive is left alone while it reads.
    EXPECT_THROW(Grabber->Refresh(), EACSException);
    EXPECT_THROW(Grabber->GrabToFile(Dir.Path() / "t2.wav"), EACSException);
    Grabber->CancelGrab();
    gate = true;
    ASSERT_TRUE(Dispatcher.WaitServing([this] { return Events.Ended(); }, std::chrono::seconds(10)));
    EXPECT_EQ(Grabber->GrabError(), "The grab was cancelled.");
    EXPECT_FALSE(Grabber->Grabbing());
    EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(GrabberTest, DestroyingTheGrabberDuringAGrabStopsIt)
{
    std::atomic<bool> gate{false};
    auto provider = std::make_shared<TFakeProvider>();
    provider->Setup = [&gate](TFakeDrive& D) { D.Gate = &gate; };
    Grabber = std::make_unique<TCdGrabber>(Dispatcher, provider);
    Grabber->SetEvents(&Events);
    Grabber->Initialize();
    Grabber->Refresh();
    Grabber->GrabToFile(Dir.Path() / "t1.wav");
    gate = true;
    Grabber.reset();
    // Work it posted for itself is dropped, not run on a dead object.
    Dispatcher.ProcessPending();
    // Either the grab was stopped and left nothing, or it had finished.
    for (const std::string& name : FolderEntries()) {
        EXPECT_EQ(name, "t1.wav");
        EXPECT_EQ(std::filesystem::file_size(Dir.Path() / name), 44U + 300U * TDiscToc::SectorBytes);
    }
    EXPECT_TRUE(Events.Progress.empty());
}

// Every grabbed track carries the checksums of what was written: the first
// audio track and the last one (here before a data track) leave out the
// frames at the disc's edges, the middle one does not.
TEST_F(GrabberTest, GrabbedTracksCarryTheirChecksums)
{
    const TCueImage image = MixedImage();
    Load(image.Write(Dir.Path(), "disc"));
    const std::vector<std::uint8_t> bin = image.Bin();
    const TDiscToc& toc = Grabber->Toc();
    EXPECT_EQ(Grabber->GrabChecks(1), nullptr);
    for (int t = 0; t < 3; ++t) {
        SCOPED_TRACE(t);
        ASSERT_EQ(Grab(t, Dir.Path() / ("track" + std::to_string(t) + ".wav")), "");
        const TTocTrack& track = toc.Tracks[std::size_t(t)];
        TAccurateRipChecksum expected(std::int64_t{track.Sectors} * 588, t == 0, t == 2);
        expected.Add(bin.data() + std::size_t(track.StartLsn) * TDiscToc::SectorBytes,
                     std::size_t(track.Sectors) * TDiscToc::SectorBytes);
        const TTrackChecks* checks = Grabber->GrabChecks(track.Number);
        ASSERT_NE(checks, nullptr);
        EXPECT_EQ(*checks, (TTrackChecks{track.Number, expected.Crc32(), expected.V1(), expected.V2(), 0}));
    }
    // A disc read anew has nothing grabbed yet.
    Grabber->Refresh();
    EXPECT_EQ(Grabber->GrabChecks(1), nullptr);
    // Grabs that measure nothing have nothing to tell, and write the same.
    Grabber->MeasureChecks = false;
    ASSERT_EQ(Grab(1, Dir.Path() / "unmeasured.wav"), "");
    EXPECT_EQ(Grabber->GrabChecks(2), nullptr);
    EXPECT_EQ(test::ReadWholeFile((Dir.Path() / "unmeasured.wav").string()),
              test::ReadWholeFile((Dir.Path() / "track1.wav").string()));
}

TEST_F(GrabberTest, RetriesOfAGrabAreCountedAndAFailedGrabHasNoChecks)
{
    auto provider = std::make_shared<TFakeProvider>();
    provider->Setup = [](TFakeDrive& D) {
        D.FlakyAt = 40;
        D.FailAt = 310;
    };
    Grabber = std::make_unique<TCdGrabber>(Dispatcher, provider);
    Grabber->SetEvents(&Events);
    Grabber->ReadAttempts = 4;
    Grabber->Initialize();
    Grabber->Refresh();
    ASSERT_EQ(Grab(0, Dir.Path() / "t1.wav"), "");
    ASSERT_NE(Grabber->GrabChecks(1), nullptr);
    EXPECT_EQ(Grabber->GrabChecks(1)->Retries, 3);
    EXPECT_EQ(Grab(1, Dir.Path() / "t2.wav"), "Sector 10 of the track could not be read.");
    EXPECT_EQ(Grabber->GrabChecks(2), nullptr);
}

} // namespace
} // namespace kestrune
