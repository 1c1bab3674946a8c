#include "burn/TLibburnDrive.h"

#include "burn/ICdWriter.h"
#include "burn/TCdAudioSource.h"
#include "formats/TID3v1Tag.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

namespace kestrune {

namespace fs = std::filesystem;
using namespace burn; // where libburn's header declares itself for C++

namespace {

// libburn counts speeds in 1000 bytes a second; a CD's 1x is 176.4 of them.
constexpr double CdSpeedUnits = 176.4;

// The library is one per process: started with the first holder, finished
// with the last.
std::mutex LibraryMutex;
int LibraryUsers = 0;

// The newest failure libburn queued since the last call, or empty; the queue
// is emptied.
std::string LibburnReason()
{
    std::string reason;
    std::string sorry;
    int code = 0;
    int osErrno = 0;
    char text[BURN_MSGS_MESSAGE_LEN];
    char severity[80];
    char minimum[] = "SORRY";
    while (burn_msgs_obtain(minimum, &code, text, &osErrno, severity) > 0) {
        const std::string level = severity;
        if (level == "SORRY")
            sorry = text;
        else
            reason = text;
    }
    return reason.empty() ? sorry : reason;
}

void ForgetMessages()
{
    LibburnReason();
}

std::string Trimmed(const char* Text)
{
    std::string s = Text;
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    const std::size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first);
}

// libburn's list of reasons against a job as one sentence.
std::string Reasons(const char* Text)
{
    std::string s;
    for (const char* c = Text; *c; ++c)
        s += *c == '\n' ? ' ' : *c;
    while (!s.empty() && (s.back() == ' ' || s.back() == ',' || s.back() == '.'))
        s.pop_back();
    return s.empty() ? "it gave no reason." : s + ".";
}

int MediaTypeOfProfile(int Profile)
{
    switch (Profile) {
    case 0x08:
        return 0; // CD-ROM
    case 0x09:
        return 1; // CD-R
    case 0x0a:
        return 2; // CD-RW
    case 0x10:
        return 3; // DVD-ROM
    case 0x1b:
    case 0x2b:
        return 4; // DVD+R, DVD+R DL
    case 0x1a:
    case 0x2a:
        return 5; // DVD+RW, DVD+RW DL
    case 0x11:
    case 0x15:
    case 0x16:
        return 6; // DVD-R, DVD-R DL
    case 0x13:
    case 0x14:
        return 7; // DVD-RW
    case 0x12:
        return 8; // DVD-RAM
    default:
        return -1; // a Blu-ray, a file, nothing known
    }
}

// What libburn reads a track from: the queued file as CD audio, sector by
// sector, filled with silence to the track's size in sectors.
struct TFeed {
    std::unique_ptr<TCdAudioSource> Source;
    off_t Size = 0;
    off_t Delivered = 0;
    // The first failure of any feed of the write, for its error text.
    std::shared_ptr<std::pair<std::mutex, std::string>> Failure;
};

int FeedRead(burn_source* Source, unsigned char* Buffer, int Size)
{
    auto* feed = static_cast<TFeed*>(Source->data);
    if (feed->Delivered >= feed->Size)
        return 0;
    const int want = static_cast<int>(std::min<off_t>(Size, feed->Size - feed->Delivered));
    int got = 0;
    try {
        while (got + TCdFigures::FrameBytes <= want) {
            const std::size_t frames =
                feed->Source->Read(Buffer + got, static_cast<std::size_t>(want - got) / TCdFigures::FrameBytes);
            if (frames == 0)
                break;
            got += static_cast<int>(frames) * TCdFigures::FrameBytes;
        }
    } catch (const std::exception& e) {
        std::lock_guard lock(feed->Failure->first);
        if (feed->Failure->second.empty())
            feed->Failure->second = e.what();
        return -1;
    }
    std::memset(Buffer + got, 0, static_cast<std::size_t>(want - got));
    feed->Delivered += want;
    return want;
}

off_t FeedSize(burn_source* Source)
{
    return static_cast<TFeed*>(Source->data)->Size;
}

int FeedSetSize(burn_source*, off_t)
{
    return 1;
}

void FeedFree(burn_source* Source)
{
    delete static_cast<TFeed*>(Source->data);
}

burn_source* MakeFeed(const std::string& FileName, std::int64_t Sectors,
                      std::shared_ptr<std::pair<std::mutex, std::string>> Failure)
{
    auto feed = std::make_unique<TFeed>();
    feed->Source = std::make_unique<TCdAudioSource>(FileName);
    feed->Size = static_cast<off_t>(Sectors) * TCdFigures::SectorBytes;
    feed->Failure = std::move(Failure);
    auto* source = static_cast<burn_source*>(std::calloc(1, sizeof(burn_source)));
    if (!source)
        throw EACSException("Out of memory.");
    source->refcount = 1;
    source->read = FeedRead;
    source->get_size = FeedSize;
    source->set_size = FeedSetSize;
    source->free_data = FeedFree;
    source->data = feed.release();
    return source;
}

// libburn's objects, each let go when it leaves scope.
struct TDiscFree {
    void operator()(burn_disc* D) const { burn_disc_free(D); }
};
struct TSessionFree {
    void operator()(burn_session* S) const { burn_session_free(S); }
};
struct TTrackFree {
    void operator()(burn_track* T) const { burn_track_free(T); }
};
struct TOptsFree {
    void operator()(burn_write_opts* O) const { burn_write_opts_free(O); }
};
struct TSourceFree {
    void operator()(burn_source* S) const { burn_source_free(S); }
};

void SetText(burn_track* Track, int Pack, const std::string& Utf8)
{
    if (Utf8.empty())
        return;
    std::string text = TID3v1Tag::ToLatin1(Utf8);
    char name[] = "";
    burn_track_set_cdtext(Track, 0, Pack, name, reinterpret_cast<unsigned char*>(text.data()),
                          static_cast<int>(text.size()) + 1, 0);
}

void SetText(burn_session* Session, int Pack, const std::string& Utf8)
{
    if (Utf8.empty())
        return;
    std::string text = TID3v1Tag::ToLatin1(Utf8);
    char name[] = "";
    burn_session_set_cdtext(Session, 0, Pack, name, reinterpret_cast<unsigned char*>(text.data()),
                            static_cast<int>(text.size()) + 1, 0);
}

} // namespace

struct TLibburnDrive::THold {
    THold()
    {
        std::lock_guard lock(LibraryMutex);
        if (LibraryUsers == 0) {
            if (!burn_initialize())
                throw EACSException("The CD writing library libburn could not be started.");
            // Messages are for the user's eyes through our own texts, not
            // for the terminal.
            char queue[] = "SORRY";
            char print[] = "NEVER";
            char prefix[] = "libburn: ";
            burn_msgs_set_severities(queue, print, prefix);
        }
        ++LibraryUsers;
    }
    ~THold()
    {
        for (burn_drive_info* infos : Infos)
            burn_drive_info_free(infos);
        std::lock_guard lock(LibraryMutex);
        if (--LibraryUsers == 0)
            burn_finish();
    }
    THold(const THold&) = delete;
    THold& operator=(const THold&) = delete;

    std::vector<burn_drive_info*> Infos;
};

std::vector<std::unique_ptr<IBurnDrive>> TLibburnDrive::Scan(const std::vector<std::string>& Addresses)
{
    auto hold = std::make_shared<THold>();
    std::vector<std::unique_ptr<IBurnDrive>> drives;
    auto add = [&](burn_drive_info& Info, bool Grabbed) {
        drives.push_back(std::unique_ptr<IBurnDrive>(new TLibburnDrive(hold, Info.drive, Grabbed, Trimmed(Info.vendor),
                                                                       Trimmed(Info.product), Trimmed(Info.revision))));
    };
    if (Addresses.empty()) {
        burn_drive_info* infos = nullptr;
        unsigned int count = 0;
        int done = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while ((done = burn_drive_scan(&infos, &count)) == 0) {
            if (std::chrono::steady_clock::now() > until)
                throw EACSException("The search for CD writer drives did not end.");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (done < 0) {
            const std::string reason = LibburnReason();
            throw EACSException("The CD writer drives could not be listed" + (reason.empty() ? "." : ": " + reason));
        }
        hold->Infos.push_back(infos);
        for (unsigned int i = 0; i < count; ++i)
            add(infos[i], false);
    } else {
        for (const std::string& address : Addresses) {
            burn_drive_info* infos = nullptr;
            std::string adr = address;
            if (burn_drive_scan_and_grab(&infos, adr.data(), 0) <= 0 || !infos)
                continue;
            hold->Infos.push_back(infos);
            add(infos[0], true);
        }
    }
    ForgetMessages();
    return drives;
}

TLibburnDrive::TLibburnDrive(std::shared_ptr<THold> Hold, burn_drive* Drive, bool Grabbed, std::string Vendor,
                             std::string Model, std::string Revision)
    : FHold(std::move(Hold)), FDrive(Drive), FGrabbed(Grabbed), FVendor(std::move(Vendor)), FModel(std::move(Model)),
      FRevision(std::move(Revision))
{
}

TLibburnDrive::~TLibburnDrive()
{
    if (FGrabbed)
        burn_drive_release(FDrive, 0);
}

void TLibburnDrive::Grab()
{
    if (FGrabbed)
        return;
    ForgetMessages();
    if (burn_drive_grab(FDrive, 0) <= 0) {
        const std::string reason = LibburnReason();
        throw EACSException("The drive " + FVendor + " " + FModel + " cannot be used" +
                            (reason.empty() ? "." : ": " + reason));
    }
    FGrabbed = true;
}

int TLibburnDrive::MaxWriteSpeed()
{
    Grab();
    const int speed = burn_drive_get_write_speed(FDrive);
    return speed > 0 ? static_cast<int>(std::lround(speed / CdSpeedUnits)) : 0;
}

TBurnDisc TLibburnDrive::ReadDisc()
{
    Grab();
    TBurnDisc disc;
    const burn_disc_status status = burn_disc_get_status(FDrive);
    if (status == BURN_DISC_EMPTY)
        return disc;
    int profile = 0;
    char name[80] = {};
    burn_disc_get_profile(FDrive, &profile, name);
    const int kind = MediaTypeOfProfile(profile);
    disc.MediaType = std::max(kind, 0);
    // A disc in a real drive that is neither a CD nor a DVD (a Blu-ray) is
    // none this program writes. The file behind a pseudo-drive is a medium
    // of its own: it is shown by libburn's name for it and offered like a
    // blank disc, and libburn itself says what it takes once the job is made
    // (audio it refuses, with its reason).
    const bool pseudo = burn_drive_get_drive_role(FDrive) != 1;
    if (status == BURN_DISC_UNREADY || status == BURN_DISC_UNSUITABLE || (kind < 0 && !pseudo)) {
        disc.DiscState = 2;
        return disc;
    }
    if (kind < 0) {
        disc.MediaType = -1;
        disc.MediaName = Trimmed(name);
    }
    disc.DiscState = 1;
    switch (status) {
    case BURN_DISC_BLANK:
        disc.DiscStatus = 0;
        break;
    case BURN_DISC_APPENDABLE:
        disc.DiscStatus = 1;
        break;
    case BURN_DISC_FULL:
        disc.DiscStatus = 2;
        break;
    default:
        disc.DiscStatus = 3;
        break;
    }
    int start = 0;
    int end = 0;
    if (burn_disc_read_atip(FDrive) > 0 && burn_drive_get_start_end_lba(FDrive, &start, &end, 0) > 0 && end > 0)
        disc.CapacitySectors = end;
    if (disc.DiscStatus == 1) {
        std::unique_ptr<burn_write_opts, TOptsFree> opts(burn_write_opts_new(FDrive));
        int lba = 0;
        int nwa = 0;
        if (opts && burn_disc_track_lba_nwa(FDrive, opts.get(), 0, &lba, &nwa) > 0)
            disc.UsedSectors = nwa;
        if (disc.CapacitySectors == 0)
            disc.CapacitySectors = disc.UsedSectors + burn_disc_available_space(FDrive, opts.get()) / 2048;
    } else if (disc.DiscStatus == 2) {
        disc.UsedSectors = disc.CapacitySectors;
    } else if (disc.CapacitySectors == 0) {
        disc.CapacitySectors = burn_disc_available_space(FDrive, nullptr) / 2048;
    }
    ForgetMessages();
    return disc;
}

bool TLibburnDrive::Follow(const std::function<void()>& Poll, const std::atomic<bool>& Stop)
{
    while (burn_drive_get_status(FDrive, nullptr) == BURN_DRIVE_SPAWNING)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // A cancelled drive stops within seconds; one that does not is given up
    // on, so that a stop never hangs the window that waits for it.
    std::chrono::steady_clock::time_point giveUp{};
    while (burn_drive_get_status(FDrive, nullptr) != BURN_DRIVE_IDLE) {
        if (Stop && giveUp == std::chrono::steady_clock::time_point{}) {
            burn_drive_cancel(FDrive);
            giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        }
        if (giveUp != std::chrono::steady_clock::time_point{} && std::chrono::steady_clock::now() > giveUp)
            return false;
        Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
}

bool TLibburnDrive::Write(const TBurnJob& Job, const TBurnStepFn& Step, const std::atomic<bool>& Stop)
{
    Grab();
    ForgetMessages();
    TBurnStep step;
    step.Operation = ICdWriter::opWrite;
    step.Phase = ICdWriter::wpAnalysing;
    if (!Job.Tracks.empty())
        step.ItemName = fs::path(Job.Tracks.front().FileName).filename().string();
    Step(step);

    // The layout, texts and checks are the image's: the same queue makes the
    // same disc whichever drive writes it.
    TImageWriter planner("plan.cue");
    planner.SetGapSectors(Job.GapSectors);
    const TBurnDisc disc = ReadDisc();
    if (disc.DiscState == 0)
        throw EBurnError(ICdWriter::ecNoDisc, "There is no disc in the drive.");
    if (disc.CapacitySectors > 0)
        planner.SetCapacitySectors(std::max<std::int64_t>(disc.CapacitySectors - disc.UsedSectors, 0));
    const TImageLayout layout = planner.Plan(Job.Tracks);

    auto failure = std::make_shared<std::pair<std::mutex, std::string>>();
    std::unique_ptr<burn_disc, TDiscFree> target(burn_disc_create());
    std::unique_ptr<burn_session, TSessionFree> session(burn_session_create());
    if (!target || !session || burn_disc_add_session(target.get(), session.get(), BURN_POS_END) <= 0)
        throw EACSException("Out of memory.");
    int charCodes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int copyrights[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int languages[8] = {0x09, 0, 0, 0, 0, 0, 0, 0};
    burn_session_set_cdtext_par(session.get(), charCodes, copyrights, languages, 0);
    SetText(session.get(), 0x80, layout.AlbumTitle);
    SetText(session.get(), 0x81, layout.AlbumPerformer);
    for (std::size_t i = 0; i < Job.Tracks.size(); ++i) {
        const TImageTrackPlace& place = layout.Tracks[i];
        std::unique_ptr<burn_track, TTrackFree> track(burn_track_create());
        if (!track)
            throw EACSException("Out of memory.");
        burn_track_define_data(track.get(), 0, 0, 1, BURN_AUDIO);
        std::unique_ptr<burn_source, TSourceFree> feed(MakeFeed(Job.Tracks[i].FileName, place.Sectors, failure));
        if (burn_track_set_source(track.get(), feed.get()) != BURN_SOURCE_OK)
            throw EACSException("Cannot burn \"" + Job.Tracks[i].FileName + "\": libburn does not take it.");
        if (place.Start > place.GapStart)
            burn_track_set_pregap_size(track.get(), static_cast<int>(place.Start - place.GapStart), 0);
        if (!place.Isrc.empty()) {
            char isrc[13];
            std::memcpy(isrc, place.Isrc.c_str(), 13);
            burn_track_set_isrc_string(track.get(), isrc, 0);
        }
        SetText(track.get(), 0x80, place.Title);
        SetText(track.get(), 0x81, place.Performer);
        if (burn_session_add_track(session.get(), track.get(), BURN_POS_END) <= 0)
            throw EACSException("Out of memory.");
    }

    std::unique_ptr<burn_write_opts, TOptsFree> opts(burn_write_opts_new(FDrive));
    if (!opts)
        throw EACSException("Out of memory.");
    burn_write_opts_set_multi(opts.get(), Job.CloseDisc ? 0 : 1);
    burn_write_opts_set_simulate(opts.get(), Job.Simulate ? 1 : 0);
    burn_write_opts_set_underrun_proof(opts.get(), 1);
    char reasons[BURN_REASONS_LEN] = {};
    burn_write_types type = BURN_WRITE_NONE;
    if (Job.Method == 1)
        burn_write_opts_set_write_type(opts.get(), BURN_WRITE_TAO, BURN_BLOCK_MODE1);
    else if (Job.Method == 2)
        burn_write_opts_set_write_type(opts.get(), BURN_WRITE_SAO, BURN_BLOCK_SAO);
    type = burn_write_opts_auto_write_type(opts.get(), target.get(), reasons, Job.Method == 0 ? 2 : 1);
    if (type == BURN_WRITE_NONE)
        throw EBurnError(ICdWriter::ecRefused, "The drive refuses this job: " + Reasons(reasons));
    unsigned char* packs = nullptr;
    int packCount = 0;
    if (type == BURN_WRITE_SAO && burn_cdtext_from_session(session.get(), &packs, &packCount, 0) > 0 && packCount > 0)
        burn_write_opts_set_leadin_text(opts.get(), packs, packCount, 0);
    std::unique_ptr<unsigned char, decltype(&std::free)> packsHeld(packs, &std::free);
    std::memset(reasons, 0, sizeof reasons);
    if (burn_precheck_write(opts.get(), target.get(), reasons, 1) <= 0)
        throw EBurnError(ICdWriter::ecRefused, "The drive refuses this job: " + Reasons(reasons));
    burn_drive_set_speed(FDrive, 0, Job.Speed > 0 ? static_cast<int>(std::ceil(Job.Speed * CdSpeedUnits)) : 0);

    if (Stop)
        return false;
    ForgetMessages();
    burn_disc_write(opts.get(), target.get());
    const std::int64_t total = std::max<std::int64_t>(layout.TotalSectors, 1);
    const bool settled = Follow(
        [&] {
            burn_progress p{};
            const burn_drive_status status = burn_drive_get_status(FDrive, &p);
            TBurnStep now;
            now.Operation = ICdWriter::opWrite;
            now.Phase = ICdWriter::wpWriting;
            const std::size_t track =
                static_cast<std::size_t>(std::clamp(p.track, 0, static_cast<int>(Job.Tracks.size()) - 1));
            now.ItemName = fs::path(Job.Tracks[track].FileName).filename().string();
            now.Percent = p.sectors > 0 ? std::clamp(static_cast<int>(std::int64_t(p.sector) * 100 / p.sectors), 0, 99)
                                        : static_cast<int>(layout.Tracks[track].GapStart * 100 / total);
            if (status == BURN_DRIVE_CLOSING_TRACK) {
                now.Phase = ICdWriter::wpClosing;
            } else if (status == BURN_DRIVE_CLOSING_SESSION || status == BURN_DRIVE_WRITING_LEADOUT) {
                now.Operation = ICdWriter::opFinalise;
                now.Phase = ICdWriter::wpClosing;
                now.ItemName.clear();
                now.Percent = 50;
            }
            Step(now);
        },
        Stop);
    if (!settled) {
        // libburn's writing thread may still read the job: it is left to it.
        (void)target.release();
        (void)session.release();
        (void)opts.release();
        (void)packsHeld.release();
        throw EBurnError(ICdWriter::ecFailed, "The drive did not stop when it was asked to.");
    }
    const bool well = burn_drive_wrote_well(FDrive) > 0;
    const std::string reason = LibburnReason();
    // The drive's state after a write is not the one read before it.
    if (!well) {
        if (Stop)
            return false;
        if (burn_disc_get_status(FDrive) == BURN_DISC_EMPTY)
            throw EBurnError(ICdWriter::ecNoDisc, "The disc was taken out of the drive.");
        std::string text;
        {
            std::lock_guard lock(failure->first);
            text = failure->second;
        }
        if (text.empty())
            text = reason.empty() ? "The drive could not write the disc."
                                  : "The drive could not write the disc: " + reason;
        throw EBurnError(ICdWriter::ecFailed, text);
    }
    return true;
}

bool TLibburnDrive::Erase(bool Quick, const TBurnStepFn& Step, const std::atomic<bool>& Stop)
{
    Grab();
    ForgetMessages();
    if (!burn_disc_erasable(FDrive)) {
        int profile = 0;
        char name[80] = {};
        burn_disc_get_profile(FDrive, &profile, name);
        const std::string medium = MediaTypeOfProfile(profile) < 0 && name[0] ? Trimmed(name) : std::string();
        throw EBurnError(ICdWriter::ecRefused, medium.empty() ? "The disc in the drive cannot be erased."
                                                              : "The drive's " + medium + " cannot be erased.");
    }
    Step({ICdWriter::opErase, 0, 0, ""});
    if (burn_disc_get_status(FDrive) == BURN_DISC_BLANK)
        return true;
    burn_disc_erase(FDrive, Quick ? 1 : 0);
    const bool settled = Follow(
        [&] {
            burn_progress p{};
            burn_drive_get_status(FDrive, &p);
            const int percent =
                p.sectors > 0 ? std::clamp(static_cast<int>(std::int64_t(p.sector) * 100 / p.sectors), 0, 99) : 0;
            Step({ICdWriter::opErase, 0, percent, ""});
        },
        Stop);
    if (!settled)
        throw EBurnError(ICdWriter::ecFailed, "The drive did not stop when it was asked to.");
    if (burn_drive_wrote_well(FDrive) <= 0) {
        if (Stop)
            return false;
        const std::string reason = LibburnReason();
        throw EBurnError(ICdWriter::ecFailed,
                         reason.empty() ? "The disc could not be erased." : "The disc could not be erased: " + reason);
    }
    return true;
}

void TLibburnDrive::Eject()
{
    if (FGrabbed) {
        burn_drive_release(FDrive, 1);
        FGrabbed = false;
        return;
    }
    // libburn opens the tray as it lets go of a drive it holds.
    Grab();
    burn_drive_release(FDrive, 1);
    FGrabbed = false;
}

void TLibburnDrive::LoadTray()
{
    if (FGrabbed)
        burn_drive_release(FDrive, 0);
    FGrabbed = false;
    ForgetMessages();
    if (burn_drive_grab(FDrive, 1) <= 0) {
        const std::string reason = LibburnReason();
        throw EACSException("The drive's tray could not be closed" + (reason.empty() ? "." : ": " + reason));
    }
    FGrabbed = true;
}

} // namespace kestrune
