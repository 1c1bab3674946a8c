// Feeds arbitrary bytes to the APE decompressor: header and seek-table
// parsing, frame reading and the whole decoding path must give an error or
// audio, never a crash, an overrun or undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ape/ApeSdk.h"
#include "ape/TApeMemoryInput.h"

using namespace kestrune::ape;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<TApeDecompressor> d;
    try {
        d = std::make_unique<TApeDecompressor>(std::make_unique<TApeMemoryInput>(data, size));
    } catch (const EAPEException&) {
        return 0;
    }
    const int64_t align = d->GetInfo(apeInfoBlockAlign);
    const int64_t total = d->GetInfo(apeDecompressTotalBlocks);
    (void)d->GetInfo(apeInfoWavTotalBytes);
    (void)d->GetInfo(apeDecompressLengthMs);
    std::vector<uint8_t> buffer(size_t(4096 * align));
    // Decode a bounded amount so a claim of huge frames does not stall the run.
    int64_t decoded = 0;
    for (int calls = 0; calls < 64; ++calls) {
        int64_t got = 0;
        if (d->GetData(buffer.data(), 4096, &got) != 0 || got == 0)
            break;
        decoded += got;
    }
    if (total > 1) {
        d->Seek(total / 2 + 1);
        int64_t got = 0;
        d->GetData(buffer.data(), 4096, &got);
    }
    (void)decoded;
    return 0;
}
