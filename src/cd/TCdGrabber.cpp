#include "cd/TCdGrabber.h"

#include "cd/TAccurateRipChecksum.h"
#include "cd/TCddbClient.h"
#include "cd/TGrabPipe.h"
#include "cd/TMusicBrainzClient.h"
#include "common/TPartFile.h"
#include "devices/TSampleConverter.h"
#include "formats/TWavHeaderBytes.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace kestrune {

// Where a grab's audio goes: a WAV file, or an encoder through a pipe. Used
// on the grab's worker only.
class TGrabTarget {
public:
    virtual ~TGrabTarget() = default;
    // Raises when the audio could not be taken.
    virtual void Write(const std::uint8_t* Data, std::size_t Bytes) = 0;
    // Every byte of the track was written, Bytes in all.
    virtual void Finish(std::int64_t Bytes) = 0;
    // The grab ends without the track.
    virtual void Fail(const std::string& Reason) = 0;
};

namespace {

// A WAV file written under a temporary name beside the target, named only
// once the grab has finished; an existing file of the target's name is never
// replaced (the grab fails instead).
class TWavTarget final : public TGrabTarget {
public:
    TWavTarget(const std::filesystem::path& Target, const TAudioFormat& Format)
        : FFormat(Format), FPart(std::make_unique<TPartFile>(Target))
    {
        // The header is written again at the end with the size of what was
        // written: a resampler's output length is known only then.
        const auto header = TWavHeaderBytes::Pcm(Format.Channels, Format.SampleRate, Format.BitsPerSample, 0);
        WriteAt(header.data(), header.size(), 0);
        FAt = static_cast<std::int64_t>(header.size());
    }

    void Write(const std::uint8_t* Data, std::size_t Bytes) override
    {
        WriteAt(Data, Bytes, FAt);
        FAt += static_cast<std::int64_t>(Bytes);
    }

    void Finish(std::int64_t Bytes) override
    {
        const auto header = TWavHeaderBytes::Pcm(FFormat.Channels, FFormat.SampleRate, FFormat.BitsPerSample, Bytes);
        WriteAt(header.data(), header.size(), 0);
        try {
            FPart->Commit();
        } catch (const std::exception& e) {
            throw EACSException(e.what());
        }
    }

    void Fail(const std::string&) override { FPart->Discard(); }

private:
    void WriteAt(const std::uint8_t* Data, std::size_t Bytes, std::int64_t At)
    {
        std::size_t done = 0;
        while (done < Bytes) {
            const ssize_t n = ::pwrite(FPart->Fd(), Data + done, Bytes - done, static_cast<off_t>(At) + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : ENOSPC;
                if (error == ENOSPC)
                    throw EACSException("Disk full: " + FPart->Target().string() + " could not be written.");
                throw EACSException("The file " + FPart->Target().string() +
                                    " could not be written: " + std::strerror(error));
            }
            done += static_cast<std::size_t>(n);
        }
    }

    TAudioFormat FFormat;
    std::unique_ptr<TPartFile> FPart;
    std::int64_t FAt = 0;
};

// The audio handed to an encoder as it is read.
class TPipeTarget final : public TGrabTarget {
public:
    explicit TPipeTarget(std::shared_ptr<TGrabPipe> Pipe) : FPipe(std::move(Pipe)) {}
    void Write(const std::uint8_t* Data, std::size_t Bytes) override
    {
        if (!FPipe->Put(Data, Bytes))
            throw EACSException("The encoder stopped.");
    }
    void Finish(std::int64_t) override { FPipe->Finish(); }
    void Fail(const std::string& Reason) override { FPipe->Fail(Reason); }

private:
    std::shared_ptr<TGrabPipe> FPipe;
};

// Sums the grabbed blocks on a thread of its own, in the order they were
// read, while the worker reads and writes the next one: the CRC and the
// AccurateRip sums cost about as much as reading an image, and a rip should
// take no longer than its reads.
class TChecksumStage {
public:
    explicit TChecksumStage(TAccurateRipChecksum& Sums) : FSums(Sums), FThread([this] { Run(); }) {}
    ~TChecksumStage()
    {
        {
            const std::lock_guard<std::mutex> lock(FMutex);
            FStop = true;
        }
        FChanged.notify_all();
        FThread.join();
    }
    TChecksumStage(const TChecksumStage&) = delete;
    TChecksumStage& operator=(const TChecksumStage&) = delete;

    // Hands a block over; its bytes must stay as they are until Wait has
    // seen it summed.
    void Add(const std::uint8_t* Data, std::size_t Bytes)
    {
        {
            const std::lock_guard<std::mutex> lock(FMutex);
            FQueue.emplace_back(Data, Bytes);
        }
        FChanged.notify_all();
    }

    // Waits until the first Count blocks handed over are summed.
    void Wait(std::uint64_t Count)
    {
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait(lock, [this, Count] { return FDone >= Count; });
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(FMutex);
        for (;;) {
            FChanged.wait(lock, [this] { return FStop || !FQueue.empty(); });
            // Stopped: the grab has ended, and on its way out unless every
            // block was waited for; what is left need not be summed.
            if (FStop)
                return;
            const auto [data, bytes] = FQueue.front();
            lock.unlock();
            FSums.Add(data, bytes);
            lock.lock();
            FQueue.pop_front();
            ++FDone;
            FChanged.notify_all();
        }
    }

    TAccurateRipChecksum& FSums;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<std::pair<const std::uint8_t*, std::size_t>> FQueue;
    std::uint64_t FDone = 0;
    bool FStop = false;
    std::thread FThread; // last: it starts once everything above is made
};

} // namespace

TCdGrabber::TCdGrabber(IDispatcher& Dispatcher, std::shared_ptr<ICdDriveProvider> Drives)
    : FDispatcher(Dispatcher), FProvider(std::move(Drives)), FWatch(Dispatcher, FProvider, [this] {
          if (FEvents != nullptr)
              FEvents->OnMediaChange();
      })
{
}

TCdGrabber::~TCdGrabber()
{
    Life.End();
    FWatch.Stop();
    FCancel = true;
    FQueryCancel = true;
    Join();
    JoinQuery();
}

void TCdGrabber::Initialize()
{
    EnsureIdle("look for drives");
    FDrive.reset();
    FPresence = TDiscPresence::dpNone;
    FDrives = FProvider->List();
    FCurrentDrive = FDrives.empty() ? 0 : 1;
    FWatch.Watch(DriveName());
}

void TCdGrabber::SetCurrentDrive(int Drive)
{
    EnsureIdle("change the drive");
    if (Drive < 1 || Drive > DriveCount())
        throw EACSException("There is no drive " + std::to_string(Drive) + ".");
    if (Drive != FCurrentDrive) {
        FDrive.reset();
        FPresence = TDiscPresence::dpNone;
        FToc = TDiscToc{};
        FCdText = TCdText{};
        FChecks.clear();
    }
    FCurrentDrive = Drive;
    FWatch.Watch(DriveName());
}

std::string TCdGrabber::DriveName() const
{
    return FCurrentDrive > 0 ? FDrives[static_cast<std::size_t>(FCurrentDrive - 1)].Name : std::string();
}

std::string TCdGrabber::DriveText1() const
{
    return FCurrentDrive > 0 ? FDrives[static_cast<std::size_t>(FCurrentDrive - 1)].Text1 : std::string();
}

std::string TCdGrabber::DriveText2() const
{
    return FCurrentDrive > 0 ? FDrives[static_cast<std::size_t>(FCurrentDrive - 1)].Text2 : std::string();
}

std::string TCdGrabber::DriveText3() const
{
    return FCurrentDrive > 0 ? FDrives[static_cast<std::size_t>(FCurrentDrive - 1)].Text3 : std::string();
}

void TCdGrabber::Refresh()
{
    EnsureIdle("read the disc");
    if (FCurrentDrive == 0)
        throw EACSException("No drive was found.");
    // The medium as it is before the disc is read: a change from here on is
    // reported, at worst once too often, never missed.
    FWatch.Watch(DriveName());
    // The album entries belong to the disc: reading the same disc again
    // keeps them (and the entry chosen); any other disc, or none, drops them.
    const std::string before = FToc.Tracks.empty() ? std::string() : FToc.MusicBrainzId();
    std::vector<TAlbumInfo> albums = std::move(FAlbums);
    const int match = FAlbumMatch;
    FPresence = TDiscPresence::dpNone;
    FToc = TDiscToc{};
    FCdText = TCdText{};
    FMediaType = -1;
    FCurrentSession = 0;
    FCurrentTrack = 0;
    FAlbums.clear();
    FAlbumMatch = 0;
    FChecks.clear();
    // Opened anew each time: a disc that was changed is read from scratch.
    FDrive.reset();
    FDrive = FProvider->Open(DriveName());
    FPresence = FDrive->Presence();
    if (FPresence != TDiscPresence::dpUsable)
        return;
    FToc = FDrive->Toc();
    FCdText = FDrive->CdText();
    FMediaType = FDrive->MediaType();
    if (!before.empty() && !FToc.Tracks.empty() && FToc.MusicBrainzId() == before) {
        FAlbums = std::move(albums);
        FAlbumMatch = match;
    }
}

int TCdGrabber::SessionCount() const
{
    int sessions = 0;
    for (const TTocTrack& t : FToc.Tracks)
        sessions = std::max(sessions, t.Session + 1);
    return sessions;
}

std::uint32_t TCdGrabber::DiscId() const
{
    return FToc.Tracks.empty() ? 0U : FToc.CddbId();
}

std::vector<const TTocTrack*> TCdGrabber::SessionTracks(int Session) const
{
    std::vector<const TTocTrack*> tracks;
    for (const TTocTrack& t : FToc.Tracks)
        if (t.Session == Session)
            tracks.push_back(&t);
    return tracks;
}

void TCdGrabber::SetCurrentSession(int Session)
{
    if (Session < 0 || Session >= SessionCount())
        throw EACSException("There is no session " + std::to_string(Session + 1) + " on the disc.");
    FCurrentSession = Session;
    FCurrentTrack = 0;
}

int TCdGrabber::TrackCount() const
{
    return static_cast<int>(SessionTracks(FCurrentSession).size());
}

void TCdGrabber::SetCurrentTrack(int Track)
{
    if (Track < 0 || Track >= TrackCount())
        throw EACSException("There is no track " + std::to_string(Track + 1) + " in this session.");
    FCurrentTrack = Track;
}

const TTocTrack& TCdGrabber::Selected() const
{
    const std::vector<const TTocTrack*> tracks = SessionTracks(FCurrentSession);
    if (FCurrentTrack < 0 || FCurrentTrack >= static_cast<int>(tracks.size()))
        throw EACSException("No track is selected.");
    return *tracks[static_cast<std::size_t>(FCurrentTrack)];
}

int TCdGrabber::TrackMinutes() const
{
    return Selected().Sectors / (TDiscToc::SectorsPerSecond * 60);
}

int TCdGrabber::TrackSeconds() const
{
    return Selected().Sectors / TDiscToc::SectorsPerSecond % 60;
}

int TCdGrabber::TrackFraction() const
{
    return Selected().Sectors % TDiscToc::SectorsPerSecond * 1000 / TDiscToc::SectorsPerSecond;
}

int TCdGrabber::TrackType() const
{
    return static_cast<int>(Selected().Type);
}

std::string TCdGrabber::TrackISRC() const
{
    return Selected().Isrc;
}

bool TCdGrabber::TrackPreEmphasis() const
{
    return Selected().PreEmphasis;
}

std::string TCdGrabber::TrackTitle() const
{
    const TTocTrack& track = Selected();
    const auto index = static_cast<std::size_t>(&track - FToc.Tracks.data());
    const std::vector<std::string>& titles = Chosen() != nullptr ? Chosen()->TrackTitles : FCdText.TrackTitles;
    return index < titles.size() ? titles[index] : std::string();
}

TAlbumInfo* TCdGrabber::Chosen()
{
    return FAlbumMatch >= 0 && FAlbumMatch < AlbumMatchCount() ? &FAlbums[static_cast<std::size_t>(FAlbumMatch)]
                                                               : nullptr;
}

const TAlbumInfo* TCdGrabber::Chosen() const
{
    return FAlbumMatch >= 0 && FAlbumMatch < AlbumMatchCount() ? &FAlbums[static_cast<std::size_t>(FAlbumMatch)]
                                                               : nullptr;
}

void TCdGrabber::SetAlbumMatch(int Match)
{
    // 0 with no entries is allowed: the window sets it before any query.
    if (Match < 0 || (Match >= AlbumMatchCount() && Match != 0))
        throw EACSException("There is no album entry " + std::to_string(Match + 1) + ".");
    FAlbumMatch = Match;
}

std::string TCdGrabber::AlbumTitle() const
{
    return Chosen() != nullptr ? Chosen()->Title : std::string();
}

std::string TCdGrabber::AlbumArtist() const
{
    return Chosen() != nullptr ? Chosen()->Artist : std::string();
}

std::string TCdGrabber::AlbumGenre() const
{
    return Chosen() != nullptr ? Chosen()->Genre : std::string();
}

void TCdGrabber::SetAlbumTitle(const std::string& Text)
{
    if (TAlbumInfo* album = Chosen())
        album->Title = Text;
}

void TCdGrabber::SetAlbumArtist(const std::string& Text)
{
    if (TAlbumInfo* album = Chosen())
        album->Artist = Text;
}

void TCdGrabber::SetAlbumGenre(const std::string& Text)
{
    if (TAlbumInfo* album = Chosen())
        album->Genre = Text;
}

void TCdGrabber::SaveAlbumInfo()
{
    const TAlbumInfo* album = Chosen();
    if (!FClient || album == nullptr)
        throw EACSException("There is no album information to save.");
    FClient->SaveAlbumInfo(FToc, *album);
}

void TCdGrabber::PostQueryStatus(int Status)
{
    FDispatcher.Post(Life.Token(), [this, Status] {
        if (FEvents != nullptr)
            FEvents->OnFreeDBQueryStatus(Status);
    });
}

void TCdGrabber::JoinQuery()
{
    if (FQueryWorker.joinable())
        FQueryWorker.join();
}

void TCdGrabber::QueryFreeDB(std::shared_ptr<TCddbClient> Client, std::shared_ptr<TMusicBrainzClient> MusicBrainz)
{
    EnsureIdle("start an album query");
    if (!Client)
        throw EACSException("No album information service is set up.");
    if (FPresence != TDiscPresence::dpUsable || FToc.Tracks.empty())
        throw EACSException("There is no disc to look up.");
    JoinQuery();
    FClient = std::move(Client);
    FAlbums.clear();
    FAlbumMatch = 0;
    FQueryError.clear();
    FQueryCancel = false;
    FQueryFinished = false;
    FWatch.SetBusy(true);
    const TLifetimeToken owner = Life.Token();
    // Everything the worker needs is copied: the window thread may read the
    // grabber's own fields while it runs.
    FQueryWorker = std::thread([this, owner, client = FClient, musicBrainz = std::move(MusicBrainz), toc = FToc,
                                text = FCdText] {
        PostQueryStatus(1);
        PostQueryStatus(2);
        TAlbumQueryResult result = client->Query(toc, FQueryCancel);
        if (musicBrainz && !FQueryCancel.load()) {
            // The second source adds its releases after the CDDB entries. The
            // query failed only when neither source could be asked; a source
            // that answered "nothing" makes it a plain "no entry".
            TAlbumQueryResult more = musicBrainz->Query(toc, FQueryCancel);
            for (TAlbumInfo& album : more.Albums)
                result.Albums.push_back(std::move(album));
            if (!result.Albums.empty())
                result.Status = TAlbumQueryResult::csFound;
            else if (more.Status == TAlbumQueryResult::csNoMatch)
                result.Status = TAlbumQueryResult::csNoMatch;
            if (result.Error.empty())
                result.Error = more.Error;
            else if (!more.Error.empty())
                result.Error += "; " + more.Error;
        }
        int status = result.Status == TAlbumQueryResult::csFound     ? 3
                     : result.Status == TAlbumQueryResult::csNoMatch ? -2
                                                                     : -1;
        if (status != 3) {
            // The disc's own CD-TEXT stands in when no server has the album.
            if (std::optional<TAlbumInfo> album = CdTextAlbum(text, toc)) {
                result.Albums = {std::move(*album)};
                status = 3;
            }
        }
        FDispatcher.Post(owner, [this, status, albums = std::move(result.Albums), error = result.Error]() mutable {
            FAlbums = std::move(albums);
            FAlbumMatch = 0;
            FQueryError = error;
            FQueryFinished = true;
            FWatch.SetBusy(false);
            if (FEvents != nullptr)
                FEvents->OnFreeDBQueryStatus(status);
        });
    });
}

std::optional<TAlbumInfo> TCdGrabber::CdTextAlbum(const TCdText& Text, const TDiscToc& Toc)
{
    const bool any = !Text.AlbumTitle.empty() || !Text.AlbumPerformer.empty() ||
                     std::any_of(Text.TrackTitles.begin(), Text.TrackTitles.end(),
                                 [](const std::string& T) { return !T.empty(); });
    if (!any)
        return std::nullopt;
    TAlbumInfo album;
    album.Source = "cdtext";
    album.DiscId = Toc.CddbIdText();
    album.Artist = Text.AlbumPerformer;
    album.Title = Text.AlbumTitle;
    album.TrackTitles = Text.TrackTitles;
    album.TrackTitles.resize(Toc.Tracks.size());
    return album;
}

void TCdGrabber::EnsureIdle(const char* What) const
{
    if (Grabbing())
        throw EACSException(std::string("The drive is busy grabbing a track; cannot ") + What + " now.");
    if (Querying())
        throw EACSException(std::string("An album query is running; cannot ") + What + " now.");
}

void TCdGrabber::Join()
{
    if (FWorker.joinable())
        FWorker.join();
}

void TCdGrabber::PostProgress(double Progress)
{
    FDispatcher.Post(Life.Token(), [this, Progress] {
        if (FEvents != nullptr)
            FEvents->OnOperationProgress(Progress);
    });
}

void TCdGrabber::GrabToFile(const std::filesystem::path& Path)
{
    const TTocTrack& track = CheckGrab();
    std::unique_ptr<TGrabTarget> target;
    try {
        target = std::make_unique<TWavTarget>(Path, TAudioFormat{FOutRate, FOutBits, FOutChannels});
    } catch (const std::runtime_error& e) {
        throw EACSException(e.what());
    }
    StartGrab(track, std::move(target));
}

std::shared_ptr<TGrabPipe> TCdGrabber::GrabToPipe()
{
    const TTocTrack& track = CheckGrab();
    // What the pipe will carry, as near as is known before: exact for the
    // disc's own format, the resampler's length for others.
    const double seconds = static_cast<double>(track.Sectors) * 588.0 / 44100.0;
    const auto bytes = static_cast<std::int64_t>(std::llround(seconds * FOutRate)) * FOutChannels * (FOutBits / 8);
    auto pipe = std::make_shared<TGrabPipe>(FOutRate, FOutChannels, FOutBits, bytes);
    StartGrab(track, std::make_unique<TPipeTarget>(pipe));
    return pipe;
}

const TTocTrack& TCdGrabber::CheckGrab()
{
    EnsureIdle("start another grab");
    if (!FDrive || FPresence != TDiscPresence::dpUsable)
        throw EACSException("There is no disc to grab from.");
    const TTocTrack& track = Selected();
    if (!track.IsAudio())
        throw EACSException("Track " + std::to_string(track.Number) +
                            " is a data track; only audio tracks can be grabbed.");
    if (track.Sectors <= 0)
        throw EACSException("Track " + std::to_string(track.Number) + " holds no audio.");
    return track;
}

void TCdGrabber::StartGrab(const TTocTrack& track, std::unique_ptr<TGrabTarget> Target)
{
    Join();

    const std::int32_t sectors = track.Sectors;
    const int attempts = ReadAttempts < 1 ? 1 : ReadAttempts;
    const TLifetimeToken owner = Life.Token();
    auto checksum = std::make_unique<TAccurateRipChecksum>(
        std::int64_t{sectors} * TAccurateRipChecksum::FramesPerSector, track.Number == FToc.FirstAudioTrack(),
        track.Number == FToc.LastAudioTrack());
    // Counted on the reading thread, read by the worker once it is done.
    auto retries = std::make_shared<std::atomic<int>>(0);
    auto reader = FDrive->Read(track.StartLsn, sectors, ReadOption, attempts,
                               [this, owner, retries](int Attempt, std::int32_t Sector) {
                                   retries->fetch_add(1);
                                   FDispatcher.Post(owner, [this, Attempt, Sector] {
                                       if (FEvents != nullptr)
                                           FEvents->OnGrabRetry(Attempt, Sector);
                                   });
                                   // A stopped grab gives up on the sector.
                                   return !FCancel.load();
                               });
    const TAudioFormat disc{44100, 16, 2};
    const TAudioFormat out{FOutRate, FOutBits, FOutChannels};
    // Only a format other than the disc's own goes through the converter, so
    // a plain grab stays a copy of the sectors.
    std::unique_ptr<TSampleConverter> converter;
    if (!(out == disc))
        converter = std::make_unique<TSampleConverter>(disc, out);

    FCancel = false;
    FFinished = false;
    FWatch.SetBusy(true);
    FGrabError.clear();
    FChecks.erase(track.Number);
    FWorker = std::thread([this, owner, sectors, attempts, first = track.StartLsn, number = track.Number,
                           reader = std::move(reader), file = std::move(Target), checksum = std::move(checksum),
                           retries, converter = std::move(converter), measure = MeasureChecks,
                           action = ReadAction]() mutable {
        std::string error;
        int unreadable = 0;
        try {
            std::int64_t written = 0;
            std::vector<std::uint8_t> converted;
            auto write = [&](const std::uint8_t* Data, std::size_t Bytes) {
                file->Write(Data, Bytes);
                written += static_cast<std::int64_t>(Bytes);
            };
            // Sectors are gathered and written in blocks of about 100 KiB,
            // two of them: one is summed while the next is read.
            constexpr std::int32_t Batch = 45;
            std::array<std::vector<std::uint8_t>, 2> buffers;
            for (std::vector<std::uint8_t>& b : buffers)
                b.resize(std::size_t{Batch} * TDiscToc::SectorBytes);
            std::optional<TChecksumStage> sums;
            if (measure)
                sums.emplace(*checksum);
            std::uint64_t blocks = 0;
            int lastPercent = 0;
            for (std::int32_t done = 0; done < sectors && error.empty(); ++blocks) {
                if (FCancel.load()) {
                    error = "The grab was cancelled.";
                    break;
                }
                std::vector<std::uint8_t>& buffer = buffers[blocks % 2];
                // The block read two steps ago lies in this buffer.
                if (sums && blocks >= 2)
                    sums->Wait(blocks - 1);
                const std::int32_t count = std::min(Batch, sectors - done);
                std::size_t filled = 0; // sectors in the buffer
                for (std::int32_t i = 0; i < count; ++i) {
                    std::uint8_t* into = buffer.data() + filled * TDiscToc::SectorBytes;
                    if (reader->Next(into)) {
                        ++filled;
                        continue;
                    }
                    const int sector = done + i;
                    // The last retry tells the window that the sector stayed
                    // unreadable; it names the sector as the drive's retries
                    // before it did, by its place on the disc.
                    FDispatcher.Post(owner, [this, attempts, lsn = first + sector] {
                        if (FEvents != nullptr)
                            FEvents->OnGrabRetry(attempts, lsn);
                    });
                    if (FCancel.load())
                        break;
                    if (action == raStop)
                        throw EACSException("Sector " + std::to_string(sector) + " of the track could not be read.");
                    // The user's choice for a damaged disc: a gap of silence
                    // the sector's length, or the sector left out.
                    ++unreadable;
                    if (action == raSilence) {
                        std::fill(into, into + TDiscToc::SectorBytes, std::uint8_t{0});
                        ++filled;
                    }
                }
                const std::size_t blockBytes = filled * TDiscToc::SectorBytes;
                if (sums)
                    sums->Add(buffer.data(), blockBytes);
                if (converter) {
                    converted.clear();
                    converter->Convert(buffer.data(), blockBytes, converted);
                    write(converted.data(), converted.size());
                } else {
                    write(buffer.data(), blockBytes);
                }
                done += count;
                const int percent = static_cast<int>(std::int64_t{done} * 100 / sectors);
                if (percent != lastPercent && percent < 100) {
                    lastPercent = percent;
                    PostProgress(percent);
                }
            }
            if (error.empty()) {
                if (sums)
                    sums->Wait(blocks);
                if (converter) {
                    converted.clear();
                    converter->Flush(converted);
                    write(converted.data(), converted.size());
                }
                file->Finish(written);
            }
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (!error.empty())
            file->Fail(error);
        file.reset();
        reader.reset();
        TTrackChecks checks{number, checksum->Crc32(), checksum->V1(), checksum->V2(), retries->load(), unreadable};
        FDispatcher.Post(owner, [this, error, checks, measure] {
            FGrabError = error;
            if (error.empty() && measure)
                FChecks[checks.Track] = checks;
            FFinished = true;
            FWatch.SetBusy(false);
            if (FEvents != nullptr)
                FEvents->OnOperationProgress(100.0);
        });
    });
}

void TCdGrabber::SetOutputFormat(int SampleRate, int Channels, int BitsPerSample)
{
    EnsureIdle("change the output format");
    if (SampleRate < 8000 || SampleRate > 192000 || (Channels != 1 && Channels != 2) || !IsPipelineDepth(BitsPerSample))
        throw EACSException("The grabber cannot write " + std::to_string(SampleRate) + " Hz, " +
                            std::to_string(BitsPerSample) + " bits, " + std::to_string(Channels) + " channels.");
    FOutRate = SampleRate;
    FOutChannels = Channels;
    FOutBits = BitsPerSample;
}

const TTrackChecks* TCdGrabber::GrabChecks(int TrackNumber) const
{
    const auto found = FChecks.find(TrackNumber);
    return found == FChecks.end() ? nullptr : &found->second;
}

void TCdGrabber::CancelGrab()
{
    FCancel = true;
}

void TCdGrabber::Eject()
{
    EnsureIdle("open the tray");
    if (FDrive)
        FDrive->Eject();
    else if (FCurrentDrive > 0)
        FProvider->Open(DriveName())->Eject();
    FDrive.reset();
    FPresence = TDiscPresence::dpNone;
    FToc = TDiscToc{};
    FCdText = TCdText{};
    FChecks.clear();
    // Reported here; the watch must not report the same change again.
    FWatch.Watch(DriveName());
    FDispatcher.Post(Life.Token(), [this] {
        if (FEvents != nullptr)
            FEvents->OnMediaChange();
    });
}

void TCdGrabber::LoadTray()
{
    EnsureIdle("close the tray");
    if (FCurrentDrive == 0)
        return;
    if (!FDrive)
        FDrive = FProvider->Open(DriveName());
    FDrive->LoadTray();
    FWatch.Watch(DriveName());
    FDispatcher.Post(Life.Token(), [this] {
        if (FEvents != nullptr)
            FEvents->OnMediaChange();
    });
}

void TCdGrabber::Shutdown()
{
    FWatch.Stop();
    FWatch.SetBusy(false);
    FCancel = true;
    FQueryCancel = true;
    Join();
    JoinQuery();
    FFinished = true;
    FQueryFinished = true;
    FDrive.reset();
}

} // namespace kestrune
