// Feeds arbitrary bytes to the Ogg Vorbis reader as a supplied stream: it
// must open or refuse cleanly, and never hand out more than it announced.

#include "ReaderFuzz.h"
#include "formats/TVorbisIn.h"
#include "pipeline/EACSException.h"
#include "pipeline/TMemoryStream.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    using namespace kestrune;
    TMemoryStream stream(std::vector<std::uint8_t>(Data, Data + Size));
    TVorbisIn in;
    in.SetStream(&stream);
    try {
        in.OpenInput();
    } catch (const EACSException&) {
        return 0;
    }
    // A bound on the work per input: a tiny file may announce hours.
    const std::int64_t total = fuzz::Drain(in, 16 << 20, 6000, false);
    if (in.Size() >= 0 && total > in.Size())
        std::abort();
    in.CloseInput();
    return 0;
}
