// Feeds arbitrary bytes to the streaming MP3 reader: the signature check, the
// length scan on a decoder of its own, the reader callbacks over the stream,
// seeking to a sample, the end cut and the check for a file cut short.
// Whatever the bytes are, the reader must either refuse them with
// EACSException or hand out data, never more than its Size.

#include "ReaderFuzz.h"
#include "formats/TMP3In.h"

#include <cstddef>
#include <cstdint>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    // A slice from the middle: seeking into a frame and the end cut.
    return kestrune::fuzz::FuzzReaderAndSlice<kestrune::TMP3In>(Data, Size, true, [Size](std::int64_t Total) {
        return std::pair{Total / 3 + static_cast<std::int64_t>(Size % 7),
                         Total / 3 + static_cast<std::int64_t>(Size % 5000)};
    });
}
