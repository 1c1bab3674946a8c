#include "cd/TCdioDrive.h"

#include "cd/TCueSheet.h"
#include "pipeline/EACSException.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace kestrune {

namespace {

struct TCdioText {
    void operator()(char* Text) const { cdio_free(Text); }
};

std::string Owned(char* Text)
{
    const std::unique_ptr<char, TCdioText> owner(Text);
    return owner ? std::string(owner.get()) : std::string();
}

TTrackType TypeOf(CdIo_t* Cdio, track_t Track)
{
    switch (cdio_get_track_format(Cdio, Track)) {
    case TRACK_FORMAT_AUDIO:
        return TTrackType::ttAudio;
    case TRACK_FORMAT_DATA:
        return TTrackType::ttMode1;
    case TRACK_FORMAT_XA:
    case TRACK_FORMAT_CDI:
    case TRACK_FORMAT_PSX:
        return cdio_get_track_green(Cdio, Track) == true ? TTrackType::ttMode2Form2 : TTrackType::ttMode2;
    default:
        return TTrackType::ttUnknown;
    }
}

// paranoia's callback carries no pointer of ours; the reading thread's
// current reader is kept here while it reads.
thread_local class TParanoiaReader* CurrentReader = nullptr;

class TParanoiaReader final : public ISectorReader {
public:
    TParanoiaReader(CdIo_t* Cdio, std::int32_t First, std::int32_t Sectors, int ReadOption, int Attempts,
                    ICdDrive::TRetry OnRetry)
        : FNext(First), FEnd(First + Sectors), FAttempts(Attempts < 1 ? 1 : Attempts), FOnRetry(std::move(OnRetry))
    {
        FDrive = cdio_cddap_identify_cdio(Cdio, CDDA_MESSAGE_FORGETIT, nullptr);
        if (FDrive == nullptr || cdio_cddap_open(FDrive) != 0) {
            Close();
            throw EACSException("The drive cannot read audio sectors.");
        }
        FParanoia = cdio_paranoia_init(FDrive);
        if (FParanoia == nullptr) {
            Close();
            throw EACSException("The secure reader could not be set up.");
        }
        FMode = TCdioDrive::ParanoiaMode(ReadOption);
        cdio_paranoia_modeset(FParanoia, FMode);
        cdio_paranoia_seek(FParanoia, First, SEEK_SET);
    }

    ~TParanoiaReader() override { Close(); }
    TParanoiaReader(const TParanoiaReader&) = delete;
    TParanoiaReader& operator=(const TParanoiaReader&) = delete;

    bool Next(std::uint8_t* Out) override
    {
        if (FNext >= FEnd)
            return false;
        FRetries = 0;
        FSkipped = false;
        CurrentReader = this;
        const std::int16_t* block = cdio_paranoia_read_limited(FParanoia, &Callback, FAttempts);
        CurrentReader = nullptr;
        // A mode the callback relaxed for this sector holds again for the next.
        if (FRelaxed) {
            cdio_paranoia_modeset(FParanoia, FMode);
            FRelaxed = false;
        }
        ++FNext;
        if (block == nullptr) {
            // Nothing was handed out, so the reader's place is set past the
            // sector for a grab that goes on behind it.
            cdio_paranoia_seek(FParanoia, FNext, SEEK_SET);
            return false;
        }
        if (FSkipped)
            return false;
        std::memcpy(Out, block, CDIO_CD_FRAMESIZE_RAW);
        return true;
    }

private:
    static void Callback(long /*Position*/, paranoia_cb_mode_t Mode)
    {
        TParanoiaReader* self = CurrentReader;
        if (self == nullptr)
            return;
        if (Mode == PARANOIA_CB_READERR) {
            ++self->FRetries;
            // Told to stop trying, the mode that never skips may skip this
            // sector: paranoia reads its mode at every round of retries.
            if (self->FOnRetry && !self->FOnRetry(self->FRetries, self->FNext) &&
                (self->FMode & PARANOIA_MODE_NEVERSKIP) != 0 && !self->FRelaxed) {
                self->FRelaxed = true;
                cdio_paranoia_modeset(self->FParanoia, self->FMode & ~PARANOIA_MODE_NEVERSKIP);
            }
        } else if (Mode == PARANOIA_CB_SKIP) {
            self->FSkipped = true;
        }
    }

    void Close()
    {
        if (FParanoia != nullptr)
            cdio_paranoia_free(FParanoia);
        FParanoia = nullptr;
        if (FDrive != nullptr)
            cdio_cddap_close_no_free_cdio(FDrive);
        FDrive = nullptr;
    }

    cdrom_drive_t* FDrive = nullptr;
    cdrom_paranoia_t* FParanoia = nullptr;
    std::int32_t FNext;
    std::int32_t FEnd;
    int FAttempts;
    ICdDrive::TRetry FOnRetry;
    int FRetries = 0;
    bool FSkipped = false;
    int FMode = PARANOIA_MODE_DISABLE;
    bool FRelaxed = false;
};

} // namespace

namespace {

cdio_log_handler_t LibraryHandler = nullptr;

void LogToStandardError(cdio_log_level_t Level, const char Message[])
{
    // A failed assertion is the library's own to handle (it aborts).
    if (Level == CDIO_LOG_ASSERT && LibraryHandler != nullptr)
        LibraryHandler(Level, Message);
    else if (Level >= CDIO_LOG_ERROR)
        std::fprintf(stderr, "%s\n", Message);
}

} // namespace

void TCdioDrive::QuietLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { LibraryHandler = cdio_log_set_handler(&LogToStandardError); });
}

bool TCdioDrive::IsImageName(const std::string& Name)
{
    std::string ext = std::filesystem::path(Name).extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".cue";
}

TCdioDrive::TCdioDrive(const std::string& Name) : FName(Name), FImage(IsImageName(Name))
{
    QuietLibrary();
    if (FImage) {
        (void)TCueSheet::CheckImage(Name);
        FCdio = cdio_open(Name.c_str(), DRIVER_BINCUE);
        if (FCdio == nullptr)
            throw EACSException("The CD image " + Name + " cannot be read.");
    } else {
        FCdio = cdio_open(Name.c_str(), DRIVER_DEVICE);
        if (FCdio == nullptr)
            throw EACSException("The drive " + Name + " cannot be opened.");
    }
}

TCdioDrive::~TCdioDrive()
{
    if (FCdio != nullptr)
        cdio_destroy(FCdio);
}

TDiscPresence TCdioDrive::Presence()
{
    if (FCdio == nullptr)
        return TDiscPresence::dpNone;
    const track_t count = cdio_get_num_tracks(FCdio);
    if (count == CDIO_INVALID_TRACK || count == 0) {
        const discmode_t mode = cdio_get_discmode(FCdio);
        return mode == CDIO_DISC_MODE_NO_INFO || mode == CDIO_DISC_MODE_ERROR ? TDiscPresence::dpNone
                                                                              : TDiscPresence::dpUnrecognised;
    }
    return TDiscPresence::dpUsable;
}

TDiscToc TCdioDrive::Toc()
{
    if (Presence() != TDiscPresence::dpUsable)
        throw EACSException("There is no readable disc in " + FName + ".");
    TDiscToc toc;
    const track_t first = cdio_get_first_track_num(FCdio);
    const track_t count = cdio_get_num_tracks(FCdio);
    toc.LeadOutLsn = cdio_get_track_lsn(FCdio, CDIO_CDROM_LEADOUT_TRACK);
    for (track_t n = first; n < first + count; ++n) {
        TTocTrack t;
        t.Number = n;
        t.StartLsn = cdio_get_track_lsn(FCdio, n);
        t.Type = TypeOf(FCdio, n);
        t.PreEmphasis = cdio_get_track_preemphasis(FCdio, n) == CDIO_TRACK_FLAG_TRUE;
        if (t.IsAudio())
            t.Isrc = Owned(cdio_get_track_isrc(FCdio, n));
        toc.Tracks.push_back(t);
    }
    for (std::size_t i = 0; i < toc.Tracks.size(); ++i) {
        const std::int32_t end = i + 1 < toc.Tracks.size() ? toc.Tracks[i + 1].StartLsn : toc.LeadOutLsn;
        toc.Tracks[i].Sectors = end - toc.Tracks[i].StartLsn;
    }
    toc.Mcn = Owned(cdio_get_mcn(FCdio));
    toc.Validate();
    return toc;
}

TCdText TCdioDrive::CdText()
{
    TCdText text;
    if (FCdio == nullptr)
        return text;
    cdtext_t* cdtext = cdio_get_cdtext(FCdio);
    const track_t first = cdio_get_first_track_num(FCdio);
    const track_t count = cdio_get_num_tracks(FCdio);
    const auto field = [cdtext](cdtext_field_t Field, track_t Track) {
        const char* value = cdtext == nullptr ? nullptr : cdtext_get_const(cdtext, Field, Track);
        return value == nullptr ? std::string() : std::string(value);
    };
    text.AlbumTitle = field(CDTEXT_FIELD_TITLE, 0);
    text.AlbumPerformer = field(CDTEXT_FIELD_PERFORMER, 0);
    if (count != CDIO_INVALID_TRACK) {
        for (track_t n = first; n < first + count; ++n) {
            text.TrackTitles.push_back(field(CDTEXT_FIELD_TITLE, n));
            text.TrackPerformers.push_back(field(CDTEXT_FIELD_PERFORMER, n));
        }
    }
    return text;
}

int TCdioDrive::MediaType()
{
    if (FCdio == nullptr)
        return -1;
    switch (cdio_get_discmode(FCdio)) {
    case CDIO_DISC_MODE_CD_DA:
    case CDIO_DISC_MODE_CD_DATA:
    case CDIO_DISC_MODE_CD_XA:
    case CDIO_DISC_MODE_CD_MIXED:
    case CDIO_DISC_MODE_CD_I:
        return 0;
    case CDIO_DISC_MODE_DVD_ROM:
        return 3;
    case CDIO_DISC_MODE_DVD_PR:
    case CDIO_DISC_MODE_DVD_PR_DL:
        return 4;
    case CDIO_DISC_MODE_DVD_PRW:
    case CDIO_DISC_MODE_DVD_PRW_DL:
        return 5;
    case CDIO_DISC_MODE_DVD_R:
        return 6;
    case CDIO_DISC_MODE_DVD_RW:
        return 7;
    case CDIO_DISC_MODE_DVD_RAM:
        return 8;
    default:
        return -1;
    }
}

int TCdioDrive::ParanoiaMode(int ReadOption)
{
    switch (ReadOption) {
    case 0:
        return PARANOIA_MODE_DISABLE;
    case 1:
        return PARANOIA_MODE_OVERLAP;
    case 3:
        return PARANOIA_MODE_FULL;
    default:
        return PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP;
    }
}

std::unique_ptr<ISectorReader> TCdioDrive::Read(std::int32_t FirstLsn, std::int32_t Sectors, int ReadOption,
                                                int Attempts, TRetry OnRetry)
{
    if (FCdio == nullptr)
        throw EACSException("There is no disc in " + FName + ".");
    return std::make_unique<TParanoiaReader>(FCdio, FirstLsn, Sectors, ReadOption, Attempts, std::move(OnRetry));
}

void TCdioDrive::Eject()
{
    if (FImage)
        return; // an image has no tray
    // The library closes the handle it ejects through.
    if (cdio_eject_media(&FCdio) != DRIVER_OP_SUCCESS)
        throw EACSException("The drive " + FName + " could not open its tray.");
}

void TCdioDrive::LoadTray()
{
    if (FImage)
        return;
    driver_id_t driver = DRIVER_DEVICE;
    if (cdio_close_tray(FName.c_str(), &driver) != DRIVER_OP_SUCCESS)
        throw EACSException("The drive " + FName + " could not close its tray.");
    if (FCdio == nullptr)
        FCdio = cdio_open(FName.c_str(), DRIVER_DEVICE);
}

} // namespace kestrune
