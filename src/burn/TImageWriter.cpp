#include "burn/TImageWriter.h"

#include "burn/TCdAudioSource.h"
#include "common/TPartFile.h"
#include "formats/TID3v1Tag.h"
#include "formats/TTrackTags.h"
#include "pipeline/EACSException.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

// Sectors written at a time: about half a second of audio.
constexpr std::int64_t BlockSectors = 32;

std::string Quoted(const std::string& Name)
{
    return "\"" + Name + "\"";
}

// "MM:SS:FF" of a sector count (75 frames a second).
std::string CueTime(std::int64_t Sectors)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(Sectors / (60 * 75)),
                  static_cast<long long>(Sectors / 75 % 60), static_cast<long long>(Sectors % 75));
    return text;
}

std::string MinutesText(std::int64_t Sectors)
{
    const std::int64_t seconds = (Sectors + TCdFigures::SectorsPerSecond - 1) / TCdFigures::SectorsPerSecond;
    const std::string s = std::to_string(seconds % 60);
    return std::to_string(seconds / 60) + ":" + (s.size() < 2 ? "0" + s : s);
}

// A text as a cue line carries it: ISO-8859-1, no line breaks or other
// control characters, no double quote (it would end the text).
std::string CueString(const std::string& Utf8)
{
    std::string text = TID3v1Tag::ToLatin1(Utf8);
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"')
            out += '\'';
        else if (u >= 0x20 && u != 0x7F)
            out += c;
    }
    return out;
}

// Country (two letters), owner (three letters or digits), year (two digits),
// designation (five digits).
bool IsIsrc(const std::string& Text)
{
    if (Text.size() != 12)
        return false;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        const bool upper = c >= 'A' && c <= 'Z';
        const bool digit = c >= '0' && c <= '9';
        if (i < 2 ? !upper : i < 5 ? !(upper || digit) : !digit)
            return false;
    }
    return true;
}

// A tag's ISRC as a track carries it: taggers write it with dashes or
// spaces ("US-ABC-24-00001") or in small letters. Empty when it is no ISRC even
// then; a tag is not the user's word, so the file is written without one.
std::string TagIsrc(const std::string& Text)
{
    std::string isrc;
    for (const char c : Text)
        if (c != '-' && c != ' ')
            isrc += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return IsIsrc(isrc) ? isrc : std::string();
}

// A file of the image while it is written, under a temporary name beside
// its target (TPartFile: recognisable, made as the umask allows, cleared by
// the next run when a killed run left it), named only once the whole image
// is written. Several tracks write into the bin at once, each at its own
// place.
class TImagePart {
public:
    TImagePart(const fs::path& Target, bool Replace) : Part(Make(Target, Replace)) {}

    void WriteAt(const void* Data, std::size_t Bytes, std::int64_t Offset) const
    {
        const auto* p = static_cast<const std::uint8_t*>(Data);
        while (Bytes > 0) {
            const ssize_t n = ::pwrite(Part->Fd(), p, Bytes, static_cast<off_t>(Offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw EACSException("Cannot write " + Quoted(Part->TempPath().string()) + ": " +
                                    std::strerror(n == 0 ? ENOSPC : errno) + ".");
            p += n;
            Offset += n;
            Bytes -= static_cast<std::size_t>(n);
        }
    }
    // On disk; a failure here is a failure of the write.
    void Finish()
    {
        Guarded([this] { Part->Sync(); });
    }
    void Keep()
    {
        Guarded([this] { Part->Commit(); });
    }

private:
    static std::unique_ptr<TPartFile> Make(const fs::path& Target, bool Replace)
    {
        std::unique_ptr<TPartFile> part;
        Guarded([&] { part = std::make_unique<TPartFile>(Target, Replace); });
        return part;
    }
    template <typename TAction>
    static void Guarded(TAction Action)
    {
        try {
            Action();
        } catch (const EACSException&) {
            throw;
        } catch (const std::exception& e) {
            throw EACSException(e.what());
        }
    }

    std::unique_ptr<TPartFile> Part;
};

// Writes the tracks of a laid-out queue into the bin. Every track has its
// place in the bin before a byte is decoded, so the tracks need not be
// written in order: on a machine with more than one core, further threads
// decode and write the following tracks while the caller's thread writes
// its own, which makes a queue of compressed files several times faster to
// write. The caller's thread tells the progress; the first failure (that of
// the earliest track, should several fail) stops every thread and is raised.
class TTrackRun {
public:
    TTrackRun(const std::vector<TImageTrack>& Queue, const TImageLayout& Layout, const TImagePart& Bin,
              const std::atomic<bool>& Cancel, const TImageWriter::TProgress& Report)
        : FQueue(Queue), FLayout(Layout), FBin(Bin), CancelFlag(Cancel), ReportFn(Report),
          Finished(Queue.size(), false), Failures(Queue.size())
    {
        Current.SectorsTotal = Layout.TotalSectors;
    }
    ~TTrackRun()
    {
        Stop = true;
        for (std::thread& t : Helpers)
            t.join();
    }
    TTrackRun(const TTrackRun&) = delete;
    TTrackRun& operator=(const TTrackRun&) = delete;

    void Run()
    {
        Work(true);
        {
            std::unique_lock lock(Mutex);
            while (Running > 0) {
                Changed.wait_for(lock, std::chrono::milliseconds(100));
                lock.unlock();
                Tell();
                lock.lock();
            }
        }
        for (std::thread& t : Helpers)
            t.join();
        Helpers.clear();
        for (const std::exception_ptr& failure : Failures)
            if (failure)
                std::rethrow_exception(failure);
        while (!CancelFlag && Current.Track + 1 < FQueue.size())
            Tell();
    }

    // Where the image is now. The track told is the first not written
    // completely, yet each track is told in turn, one step a report, so that
    // none written ahead of its turn goes unnamed.
    TImageProgress Progress()
    {
        std::lock_guard lock(Mutex);
        if (Current.Track + 1 < Finished.size() && Finished[Current.Track])
            ++Current.Track;
        Current.FileName = FQueue[Current.Track].FileName;
        Current.SectorsDone = Done;
        return Current;
    }

private:
    bool Stopping() const { return Stop || CancelFlag; }

    void Tell()
    {
        const TImageProgress progress = Progress();
        if (ReportFn)
            ReportFn(progress);
    }

    // Helpers start once the caller's first track is under way: a file is
    // never opened before the tracks ahead of it have been started.
    void StartHelpers()
    {
        if (HelpersStarted)
            return;
        HelpersStarted = true;
        const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
        const std::size_t count = std::min<std::size_t>(std::min(cores, 4U) - 1, FQueue.size() - 1);
        std::lock_guard lock(Mutex);
        for (std::size_t i = 0; i < count; ++i) {
            ++Running;
            Helpers.emplace_back([this] {
                Work(false);
                std::lock_guard done(Mutex);
                --Running;
                Changed.notify_all();
            });
        }
    }

    void Work(bool Caller)
    {
        for (;;) {
            if (Stopping())
                return;
            const std::size_t i = Next++;
            if (i >= FQueue.size())
                return;
            try {
                WriteTrack(i, Caller);
                std::lock_guard lock(Mutex);
                Finished[i] = true;
            } catch (...) {
                std::lock_guard lock(Mutex);
                Failures[i] = std::current_exception();
                Stop = true;
                return;
            }
        }
    }

    void Count(std::int64_t Sectors)
    {
        std::lock_guard lock(Mutex);
        Done += Sectors;
    }

    // The track's gap, its audio and the silence filling its last sectors.
    void WriteTrack(std::size_t Index, bool Caller)
    {
        const TImageTrack& item = FQueue[Index];
        const TImageTrackPlace& place = FLayout.Tracks[Index];
        std::vector<std::uint8_t> block(static_cast<std::size_t>(BlockSectors * TCdFigures::SectorBytes));
        std::int64_t at = place.GapStart;
        auto put = [&](std::size_t Bytes) {
            FBin.WriteAt(block.data(), Bytes, at * TCdFigures::SectorBytes);
            const auto sectors = static_cast<std::int64_t>(Bytes / TCdFigures::SectorBytes);
            at += sectors;
            Count(sectors);
            if (Caller)
                Tell();
        };
        auto silence = [&](std::int64_t Until) {
            std::fill(block.begin(), block.end(), 0);
            while (at < Until)
                put(static_cast<std::size_t>(std::min(Until - at, BlockSectors) * TCdFigures::SectorBytes));
        };
        silence(place.Start);
        if (Caller) {
            Tell();
            StartHelpers();
        }

        const std::string& name = item.FileName;
        TCdAudioSource source(name);
        source.Open();
        std::int64_t frames = 0;
        const std::size_t blockFrames = block.size() / TCdFigures::FrameBytes;
        for (;;) {
            if (Stopping())
                return;
            std::size_t n = 0;
            // Whole sectors per write, so progress counts sectors.
            while (n < blockFrames) {
                const std::size_t got = source.Read(block.data() + n * TCdFigures::FrameBytes, blockFrames - n);
                if (got == 0)
                    break;
                n += got;
            }
            frames += static_cast<std::int64_t>(n);
            if (frames > place.Frames)
                throw EACSException("Cannot burn " + Quoted(name) + ": it changed while it was written.");
            if (n == 0)
                break;
            const std::size_t bytes = n * TCdFigures::FrameBytes;
            const std::size_t padded =
                static_cast<std::size_t>(TCdFigures::SectorsOfFrames(static_cast<std::int64_t>(n))) *
                TCdFigures::SectorBytes;
            std::fill(block.begin() + static_cast<std::ptrdiff_t>(bytes),
                      block.begin() + static_cast<std::ptrdiff_t>(padded), 0);
            put(padded);
            if (n < blockFrames)
                break;
        }
        source.Close();
        if (frames != place.Frames)
            throw EACSException("Cannot burn " + Quoted(name) + ": it changed while it was written.");
        silence(place.Start + place.Sectors);
    }

    const std::vector<TImageTrack>& FQueue;
    const TImageLayout& FLayout;
    const TImagePart& FBin;
    const std::atomic<bool>& CancelFlag;
    const TImageWriter::TProgress& ReportFn;
    std::atomic<std::size_t> Next{0};
    std::atomic<bool> Stop{false};
    bool HelpersStarted = false; // the caller's thread only
    std::vector<std::thread> Helpers;

    std::mutex Mutex; // guards what follows
    std::condition_variable Changed;
    int Running = 0;
    std::int64_t Done = 0;
    std::vector<bool> Finished;
    std::vector<std::exception_ptr> Failures;
    TImageProgress Current;
};

// The text all tracks share, or empty when they differ or none has one.
template <typename TField>
std::string Shared(const std::vector<TTrackTags>& Tags, TField Field)
{
    std::string shared;
    for (const TTrackTags& t : Tags) {
        const std::string& value = t.*Field;
        if (value.empty() || (!shared.empty() && value != shared))
            return {};
        shared = value;
    }
    return shared;
}

} // namespace

TImageWriter::TImageWriter(fs::path CuePath) : FCuePath(std::move(CuePath)) {}

fs::path TImageWriter::BinPath() const
{
    fs::path bin = FCuePath;
    return bin.replace_extension(".bin");
}

void TImageWriter::SetGapSectors(int Sectors)
{
    if (Sectors < 0)
        throw EACSException("The gap between tracks cannot be negative.");
    FGapSectors = Sectors;
}

void TImageWriter::SetAlbum(std::string Title, std::string Performer)
{
    FAlbumTitle = std::move(Title);
    FAlbumPerformer = std::move(Performer);
}

TImageLayout TImageWriter::Plan(const std::vector<TImageTrack>& Queue) const
{
    if (Queue.empty())
        throw EACSException("There is nothing to write: the queue is empty.");
    if (Queue.size() > static_cast<std::size_t>(MaxTracks))
        throw EACSException("A CD holds at most " + std::to_string(MaxTracks) + " tracks; the queue has " +
                            std::to_string(Queue.size()) + ".");
    TImageLayout layout;
    std::vector<TTrackTags> tags;
    std::int64_t at = 0;
    for (std::size_t i = 0; i < Queue.size(); ++i) {
        const TImageTrack& item = Queue[i];
        if (!item.Isrc.empty() && !IsIsrc(item.Isrc))
            throw EACSException("Cannot burn " + Quoted(item.FileName) + ": \"" + item.Isrc +
                                "\" is not an ISRC (two letters, three letters or digits, seven digits).");
        TCdAudioSource source(item.FileName);
        const std::int64_t frames = source.Measure();
        if (frames <= 0)
            throw EACSException("Cannot burn " + Quoted(item.FileName) + ": it holds no audio.");
        tags.push_back(TTrackTags::Read(item.FileName));

        TImageTrackPlace place;
        place.GapStart = at;
        if (i > 0)
            at += FGapSectors;
        place.Start = at;
        place.Frames = frames;
        place.Sectors = TrackSectors(frames);
        place.Title = item.Title.empty() ? tags.back().Title : item.Title;
        place.Performer = item.Performer.empty() ? tags.back().Artist : item.Performer;
        place.Isrc = item.Isrc.empty() ? TagIsrc(tags.back().Isrc) : item.Isrc;
        at += place.Sectors;
        layout.Tracks.push_back(std::move(place));
    }
    layout.TotalSectors = at;
    layout.AlbumTitle = FAlbumTitle.empty() ? Shared(tags, &TTrackTags::Album) : FAlbumTitle;
    layout.AlbumPerformer = FAlbumPerformer.empty() ? Shared(tags, &TTrackTags::Artist) : FAlbumPerformer;
    if (layout.TotalSectors > FCapacitySectors)
        throw EACSException("The queue does not fit on the disc: it needs " + MinutesText(layout.TotalSectors) +
                            " and the disc holds " + MinutesText(FCapacitySectors) + ".");
    return layout;
}

std::string TImageWriter::CueText(const TImageLayout& Layout, const std::string& BinName)
{
    std::string cue;
    if (!Layout.AlbumPerformer.empty())
        cue += "PERFORMER \"" + CueString(Layout.AlbumPerformer) + "\"\n";
    if (!Layout.AlbumTitle.empty())
        cue += "TITLE \"" + CueString(Layout.AlbumTitle) + "\"\n";
    cue += "FILE \"" + CueString(BinName) + "\" BINARY\n";
    for (std::size_t i = 0; i < Layout.Tracks.size(); ++i) {
        const TImageTrackPlace& t = Layout.Tracks[i];
        const std::string number = std::to_string(i + 1);
        cue += "  TRACK " + std::string(number.size() < 2 ? "0" : "") + number + " AUDIO\n";
        if (!t.Title.empty())
            cue += "    TITLE \"" + CueString(t.Title) + "\"\n";
        if (!t.Performer.empty())
            cue += "    PERFORMER \"" + CueString(t.Performer) + "\"\n";
        if (!t.Isrc.empty())
            cue += "    ISRC " + t.Isrc + "\n";
        if (t.GapStart < t.Start)
            cue += "    INDEX 00 " + CueTime(t.GapStart) + "\n";
        cue += "    INDEX 01 " + CueTime(t.Start) + "\n";
    }
    return cue;
}

TImageWriter::TResult TImageWriter::Write(const std::vector<TImageTrack>& Queue)
{
    FCancel = false;
    const fs::path binPath = BinPath();
    if (FCuePath.extension() != ".cue")
        throw EACSException("The image's name must end in .cue: " + Quoted(FCuePath.string()) + ".");
    std::error_code error;
    const fs::path folder = FCuePath.parent_path().empty() ? fs::path(".") : FCuePath.parent_path();
    if (!fs::is_directory(folder, error))
        throw EACSException("The folder " + Quoted(folder.string()) + " does not exist.");
    if (!FReplace) {
        for (const fs::path& p : {FCuePath, binPath})
            if (fs::exists(p, error))
                throw EACSException("The image " + Quoted(p.string()) + " already exists.");
    }
    const TImageLayout layout = Plan(Queue);

    // What a killed run left here goes first.
    TPartFile::ClearLeftovers(folder);
    TImagePart bin(folder / binPath.filename(), FReplace);
    TTrackRun run(Queue, layout, bin, FCancel, FProgress);
    run.Run();
    if (FCancel)
        return TResult::irCancelled;
    bin.Finish();

    TImagePart cue(FCuePath, FReplace);
    const std::string text = CueText(layout, binPath.filename().string());
    cue.WriteAt(text.data(), text.size(), 0);
    cue.Finish();

    bin.Keep();
    try {
        cue.Keep();
    } catch (...) {
        std::remove(binPath.c_str());
        throw;
    }
    if (FProgress)
        FProgress(run.Progress());
    return TResult::irWritten;
}

} // namespace kestrune
