// Feeds arbitrary bytes to the FLAC reader: STREAMINFO handling, the frame
// layout into 8/16/24-bit PCM, frames that disagree with STREAMINFO, files
// without a length, seeking. Whatever the file says, the reader must either
// refuse it with EACSException or hand out data, never more than its Size,
// and never read or write outside its buffers.

#include "formats/TFLACIn.h"
#include "pipeline/EACSException.h"
#include "pipeline/TMemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using kestrune::EACSException;

// Reads until the end or Limit bytes; a failed frame ends it with an exception.
void Drain(kestrune::TFLACIn& In, std::int64_t Limit)
{
    std::vector<std::uint8_t> buffer(3001); // odd, so frames straddle reads
    std::int64_t total = 0;
    try {
        for (int n; total < Limit && (n = In.ReadBlock(buffer.data(), static_cast<int>(buffer.size()))) > 0;) {
            total += n;
            // Never more than the input said it would hand out.
            if (In.Size() >= 0 && In.Position() > In.Size())
                std::abort();
        }
    } catch (const EACSException&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    kestrune::TMemoryStream stream(std::vector<std::uint8_t>(Data, Data + Size));
    kestrune::TFLACIn in;
    in.SetStream(&stream);
    try {
        // The format queries open and close the file on their own.
        (void)in.InSampleRate();
        (void)in.TotalTime();
        in.OpenInput();
    } catch (const EACSException&) {
        return 0;
    }
    constexpr std::int64_t Limit = 64LL * 1024 * 1024;
    Drain(in, Limit);
    const std::int64_t total = in.TotalSamples();
    in.CloseInput();

    // A slice from the middle: seeking into a frame and the end cut.
    in.SetStartSample(total / 3 + static_cast<std::int64_t>(Size % 7));
    in.SetEndSample(total / 3 + static_cast<std::int64_t>(Size % 5000));
    try {
        in.OpenInput();
    } catch (const EACSException&) {
        return 0;
    }
    Drain(in, Limit);
    in.CloseInput();
    return 0;
}
