#include "cd/TCdioDrive.h"

#include "cd/TCueSheet.h"
#include "common/PathNames.h"
#include "pipeline/EACSException.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <unistd.h>

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

// Reads a stretch of an image's disc that holds silence the data file does
// not (PREGAP, POSTGAP): the silence as zeros, the rest through paranoia
// from where it lies in the data file.
class TGapReader final : public ISectorReader {
public:
    struct TPiece {
        bool Silence = false;
        std::int32_t FileFirst = 0;
        std::int32_t Sectors = 0;
    };

    TGapReader(CdIo_t* Cdio, std::vector<TPiece> Pieces, int ReadOption, int Attempts, ICdDrive::TRetry OnRetry)
        : FCdio(Cdio), FPieces(std::move(Pieces)), FReadOption(ReadOption), FAttempts(Attempts),
          FOnRetry(std::move(OnRetry))
    {
    }

    bool Next(std::uint8_t* Out) override
    {
        while (FPiece < FPieces.size() && FDone >= FPieces[FPiece].Sectors) {
            ++FPiece;
            FDone = 0;
            FData.reset();
        }
        if (FPiece >= FPieces.size())
            return false;
        const TPiece& piece = FPieces[FPiece];
        if (piece.Silence) {
            std::memset(Out, 0, CDIO_CD_FRAMESIZE_RAW);
        } else {
            if (!FData)
                FData = std::make_unique<TParanoiaReader>(FCdio, piece.FileFirst, piece.Sectors, FReadOption, FAttempts,
                                                          FOnRetry);
            if (!FData->Next(Out))
                return false;
        }
        ++FDone;
        return true;
    }

private:
    CdIo_t* FCdio;
    std::vector<TPiece> FPieces;
    int FReadOption;
    int FAttempts;
    ICdDrive::TRetry FOnRetry;
    std::size_t FPiece = 0;
    std::int32_t FDone = 0;
    std::unique_ptr<TParanoiaReader> FData;
};

// The library hands CD-TEXT on as UTF-8 made from Latin-1 (for a cue sheet,
// always): a cue sheet or disc written in UTF-8 would show as "JÃ³ga".
// Text that Latin-1 can hold is taken back to its bytes and read again as
// outside text is; text beyond Latin-1 came from a disc's own character
// set and stays.
std::string FromLibraryText(const std::string& Text)
{
    if (!IsValidUtf8(Text))
        return Utf8FromOutside(Text);
    std::string bytes;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const auto c = static_cast<unsigned char>(Text[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < Text.size()) {
            bytes += static_cast<char>(((c & 0x03U) << 6) | (static_cast<unsigned char>(Text[i + 1]) & 0x3FU));
            ++i;
        } else {
            return Text;
        }
    }
    return Utf8FromOutside(bytes);
}

// The private folders handed to the library are named after the process
// that made them; a process that was killed left its folder behind, and the
// next image opened clears it.
const std::string LibraryFolderPrefix = "kestrune-image-";

void ClearLeftFolders(const std::filesystem::path& Temp)
{
    std::error_code error;
    for (std::filesystem::directory_iterator it(Temp, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(LibraryFolderPrefix, 0) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + LibraryFolderPrefix.size(), nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            std::filesystem::remove_all(it->path(), ignored);
        }
    }
}

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
        namespace fs = std::filesystem;
        const TCueImageFile image = TCueSheet::CheckImage(Name);
        FGaps = image.Gaps;
        // The library finds the data file only as the cue sheet's name with
        // ".bin", and reads only its own form of the sheet: it gets both in
        // a private folder, the data file as a link to where it lies.
        std::error_code error;
        const fs::path data = fs::absolute(image.DataFile, error);
        ClearLeftFolders(fs::temp_directory_path(error));
        std::string folder =
            (fs::temp_directory_path(error) / (LibraryFolderPrefix + std::to_string(::getpid()) + "-XXXXXX")).string();
        if (error || ::mkdtemp(folder.data()) == nullptr)
            throw EACSException("The CD image " + Name + " cannot be read: no private folder for it in " +
                                fs::temp_directory_path(error).string() + ".");
        FLibraryFolder = folder;
        const fs::path cue = fs::path(folder) / "image.cue";
        std::ofstream(cue, std::ios::binary) << TCueSheet::LibraryText(image.Text, "image.bin");
        if (::symlink(data.c_str(), (fs::path(folder) / "image.bin").c_str()) == 0)
            FCdio = cdio_open(cue.c_str(), DRIVER_BINCUE);
        if (FCdio == nullptr) {
            fs::remove_all(FLibraryFolder, error);
            throw EACSException("The CD image " + Name + " cannot be read.");
        }
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
    if (!FLibraryFolder.empty()) {
        std::error_code error;
        std::filesystem::remove_all(FLibraryFolder, error);
    }
}

std::int32_t TCdioDrive::DiscSectorsBefore(std::int64_t FileSector) const
{
    std::int64_t silence = 0;
    for (const TCueGap& gap : FGaps)
        if (gap.At <= FileSector)
            silence += gap.Sectors;
    return static_cast<std::int32_t>(FileSector + silence);
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
    if (!FGaps.empty()) {
        for (TTocTrack& t : toc.Tracks)
            t.StartLsn = DiscSectorsBefore(t.StartLsn);
        toc.LeadOutLsn = DiscSectorsBefore(toc.LeadOutLsn);
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
        return value == nullptr ? std::string() : FromLibraryText(value);
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
    if (FGaps.empty())
        return std::make_unique<TParanoiaReader>(FCdio, FirstLsn, Sectors, ReadOption, Attempts, std::move(OnRetry));
    // The disc as stretches of data and of silence, cut to what is asked.
    std::vector<TGapReader::TPiece> pieces;
    const auto add = [&](bool Silence, std::int64_t DiscFirst, std::int64_t FileFirst, std::int64_t Count) {
        const std::int64_t from = std::max<std::int64_t>(DiscFirst, FirstLsn);
        const std::int64_t to = std::min<std::int64_t>(DiscFirst + Count, std::int64_t{FirstLsn} + Sectors);
        if (from < to)
            pieces.push_back({Silence, static_cast<std::int32_t>(FileFirst + (from - DiscFirst)),
                              static_cast<std::int32_t>(to - from)});
    };
    std::int64_t disc = 0;
    std::int64_t file = 0;
    for (const TCueGap& gap : FGaps) {
        add(false, disc, file, gap.At - file);
        disc += gap.At - file;
        file = gap.At;
        add(true, disc, 0, gap.Sectors);
        disc += gap.Sectors;
    }
    add(false, disc, file, std::int64_t{FirstLsn} + Sectors - disc);
    return std::make_unique<TGapReader>(FCdio, std::move(pieces), ReadOption, Attempts, std::move(OnRetry));
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
