#pragma once

#include "cd/ICdDrive.h"
#include "cd/TCueSheet.h"

#include <memory>
#include <string>

typedef struct _CdIo CdIo_t; // NOLINT(modernize-use-using): the library's own declaration

namespace kestrune {

// A drive on libcdio: a real drive by its device path (/dev/sr0) or a
// BIN/CUE image by its .cue path, which the library reads as if it were a
// drive. Audio is read through libcdio-paranoia.
//
// libcdio is linked directly rather than loaded at run time: it is small,
// needs nothing on line, every CD feature depends on it, and its paranoia
// part has no stable soname list to search.
class TCdioDrive final : public ICdDrive {
public:
    // Opens the drive or image. An image is checked first (TCueSheet) so
    // that the shapes the library misreads are refused with their reason,
    // and the library is handed the image in the one shape it reads right:
    // a private copy of the cue sheet beside a link to the data file.
    // Raises EACSException.
    explicit TCdioDrive(const std::string& Name);
    ~TCdioDrive() override;
    TCdioDrive(const TCdioDrive&) = delete;
    TCdioDrive& operator=(const TCdioDrive&) = delete;

    static bool IsImageName(const std::string& Name);
    // The CD library prints its warnings on standard output, where the
    // command line's results and JSON lines go; from the first call on they
    // are dropped and its errors go to standard error. Called by everything
    // here that uses the library.
    static void QuietLibrary();
    // The paranoia mode of a read mode (ICdDrive::Read): none, overlap
    // checking, every check but giving up on a sector, every check.
    static int ParanoiaMode(int ReadOption);

    TDiscPresence Presence() override;
    TDiscToc Toc() override;
    TCdText CdText() override;
    int MediaType() override;
    std::unique_ptr<ISectorReader> Read(std::int32_t FirstLsn, std::int32_t Sectors, int ReadOption, int Attempts,
                                        TRetry OnRetry) override;
    void Eject() override;
    void LoadTray() override;

private:
    // A disc position as a position in the image's data file, which holds
    // none of the silence that PREGAP and POSTGAP add.
    std::int32_t DiscSectorsBefore(std::int64_t FileSector) const;

    std::string FName;
    bool FImage = false;
    std::string FLibraryFolder; // the private copy handed to the library
    std::vector<TCueGap> FGaps;
    CdIo_t* FCdio = nullptr;
};

} // namespace kestrune
