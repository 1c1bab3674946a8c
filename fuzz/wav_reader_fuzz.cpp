// Feeds arbitrary bytes to the WAV reader: the header walk, PCM, both ADPCM
// decoders and the MPEG Layer-3 path. Whatever the file says, the reader must
// either refuse it with EACSException or hand out data, and never read or
// write outside its buffers.

#include "ReaderFuzz.h"
#include "formats/TWaveIn.h"

#include <cstddef>
#include <cstdint>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    // A slice from the middle: seeking inside blocks and the end cut.
    return kestrune::fuzz::FuzzReaderAndSlice<kestrune::TWaveIn>(Data, Size, false, [Size](std::int64_t Total) {
        return std::pair{Total / 3, Total / 3 + static_cast<std::int64_t>(Size % 5000)};
    });
}
