// Cue sheets come from the user's disk: the reader must take any bytes and
// hand on only what it could read.
#include "cd/TCueSheet.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string_view text(reinterpret_cast<const char*>(Data), Size);
    const kestrune::TCueSheet sheet = kestrune::TCueSheet::Parse(text);
    for (const kestrune::TCueSheet::TTrack& t : sheet.Tracks)
        if (t.Index01 < -1 || t.Index01 > (999LL * 60 + 59) * 75 + 74 || t.Number > 999)
            std::abort();
    (void)kestrune::TCueSheet::ParseTime(text.substr(0, 16));
    // What the CD library is handed names only the private data file.
    const std::string library = kestrune::TCueSheet::LibraryText(text, "image.bin");
    for (std::size_t at = library.find("FILE "); at != std::string::npos; at = library.find("FILE ", at + 1))
        if ((at == 0 || library[at - 1] == '\n') && library.compare(at, 17, "FILE \"image.bin\" ") != 0)
            std::abort();
    return 0;
}
