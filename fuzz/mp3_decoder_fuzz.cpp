// Feeds arbitrary bytes to the MP3 decoder, from a stream in memory into a
// stream in memory, through the whole component: the decoding thread, the
// reader callbacks, the first-frame header and the final header. Whatever the
// bytes are, decoding must end with OnDone (or, for a failure, with
// OnThreadException), and the WAV written must be whole: its sizes those of
// what follows the header, its data whole frames of the announced layout.

#include "formats/TMP3ToWav.h"
#include "pipeline/ByteOrder.h"
#include "pipeline/TMemoryStream.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& B, std::size_t At)
{
    return kestrune::GetLe32(B.data() + At);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    kestrune::TMemoryStream input(std::vector<std::uint8_t>(Data, Data + Size));
    kestrune::TMemoryStream output;
    std::atomic<int> events{0};
    std::atomic<bool> success{false};
    {
        kestrune::TMP3ToWav decoder;
        decoder.SetInputStream(&input);
        decoder.SetOutputStream(&output);
        decoder.OnDone = [&](kestrune::TComponent*, bool Success) {
            success = Success;
            ++events;
        };
        decoder.OnThreadException = [&](kestrune::TComponent*, const std::exception&) { ++events; };
        decoder.Run();
        if (!decoder.WaitForIdle(std::chrono::seconds(60)))
            std::abort();
    }
    if (events.load() != 1)
        std::abort();
    const std::vector<std::uint8_t>& wav = output.Bytes();
    if (!success.load()) {
        if (!wav.empty())
            std::abort();
        return 0;
    }
    if (wav.size() < 44 || Le32(wav, 4) != wav.size() - 8 || Le32(wav, 40) != wav.size() - 44)
        std::abort();
    const std::uint32_t channels = wav[22] | (wav[23] << 8);
    if ((channels != 1 && channels != 2) || (wav.size() - 44) % (2 * std::size_t{channels}) != 0)
        std::abort();
    return 0;
}
