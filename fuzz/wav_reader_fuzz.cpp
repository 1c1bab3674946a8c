// Feeds arbitrary bytes to the WAV reader: the header walk, PCM, both ADPCM
// decoders and the MPEG Layer-3 path. Whatever the file says, the reader must
// either refuse it with EACSException or hand out data, and never read or
// write outside its buffers.

#include "formats/TWaveIn.h"
#include "pipeline/EACSException.h"
#include "pipeline/TMemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using kestrune::EACSException;

// Reads until the end or Limit bytes; damaged blocks end it with an exception.
void Drain(kestrune::TWaveIn& In, std::int64_t Limit)
{
    std::vector<std::uint8_t> buffer(3001); // odd, so blocks straddle reads
    std::int64_t total = 0;
    try {
        for (int n; total < Limit && (n = In.ReadBlock(buffer.data(), static_cast<int>(buffer.size()))) > 0;)
            total += n;
    } catch (const EACSException&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    kestrune::TMemoryStream stream(std::vector<std::uint8_t>(Data, Data + Size));
    kestrune::TWaveIn in;
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

    // A slice from the middle: seeking inside blocks and the end cut.
    in.SetStartSample(total / 3);
    in.SetEndSample(total / 3 + (Size % 5000));
    try {
        in.OpenInput();
    } catch (const EACSException&) {
        return 0;
    }
    Drain(in, Limit);
    in.CloseInput();
    return 0;
}
