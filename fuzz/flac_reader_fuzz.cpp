// Feeds arbitrary bytes to the FLAC reader: STREAMINFO handling, the frame
// layout into 8/16/24-bit PCM, frames that disagree with STREAMINFO, files
// without a length, seeking. Whatever the file says, the reader must either
// refuse it with EACSException or hand out data, never more than its Size,
// and never read or write outside its buffers.

#include "ReaderFuzz.h"
#include "formats/TFLACIn.h"

#include <cstddef>
#include <cstdint>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    // A slice from the middle: seeking into a frame and the end cut.
    return kestrune::fuzz::FuzzReaderAndSlice<kestrune::TFLACIn>(Data, Size, true, [Size](std::int64_t Total) {
        return std::pair{Total / 3 + static_cast<std::int64_t>(Size % 7),
                         Total / 3 + static_cast<std::int64_t>(Size % 5000)};
    });
}
