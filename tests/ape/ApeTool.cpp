// Command-line driver of the codec for benchmarks and manual checks:
//   ape_tool cN in.wav out.ape      whole-file compressor, level N000
//   ape_tool bN in.wav out.ape      buffer-fed compressor (no stored header)
//   ape_tool d in.ape out.wav       decompress to WAV
//   ape_tool gen noise|saw CH BITS BLOCKS out.wav   the peer notes' generator
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ApeTestSignals.h"
#include "ape/ApeSdk.h"
#include "ape/TApeWavSource.h"

using namespace kestrune::ape;

namespace {

int Fail(int32_t code)
{
    std::fprintf(stderr, "ape_tool: %s\n", ApeErrorText(code).c_str());
    return 1;
}

int BufferCompress(const char* in, const char* out, int32_t level)
{
    TApeWavSource source;
    if (const int32_t err = source.Open(in))
        return Fail(err);
    TApeCompressor compressor;
    if (const int32_t err = compressor.Start(out, &source.Format(), -1, level, nullptr, -1))
        return Fail(err);
    std::vector<uint8_t> chunk(65536);
    for (int64_t done = 0; done < source.PcmBytes();) {
        const size_t n = size_t(std::min<int64_t>(int64_t(chunk.size()), source.PcmBytes() - done));
        source.Input().ReadAt(source.PcmPos() + done, chunk.data(), n);
        if (const int32_t err = compressor.AddData(chunk.data(), int64_t(n)))
            return Fail(err);
        done += int64_t(n);
    }
    if (const int32_t err = compressor.Finish(nullptr, 0, 0))
        return Fail(err);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (argc == 4 && cmd.size() == 2 && (cmd[0] == 'c' || cmd[0] == 'b') && cmd[1] >= '1' && cmd[1] <= '5') {
        const int32_t level = (cmd[1] - '0') * 1000;
        if (cmd[0] == 'b')
            return BufferCompress(argv[2], argv[3], level);
        const int32_t err = CompressFile(argv[2], argv[3], level);
        return err ? Fail(err) : 0;
    }
    if (argc == 4 && cmd == "d") {
        const int32_t err = DecompressFile(argv[2], argv[3]);
        return err ? Fail(err) : 0;
    }
    if (argc == 7 && cmd == "gen") {
        test::TPcmFormat format;
        format.Channels = std::atoi(argv[3]);
        format.Bits = std::atoi(argv[4]);
        const auto pcm = test::PeerSignal(argv[2], format, uint32_t(std::atol(argv[5])));
        const auto wav = test::MakeWav(format, pcm);
        std::ofstream(argv[6], std::ios::binary)
            .write(reinterpret_cast<const char*>(wav.data()), std::streamsize(wav.size()));
        return 0;
    }
    std::fprintf(
        stderr,
        "usage: ape_tool c1..c5|b1..b5 in.wav out.ape | d in.ape out.wav | gen noise|saw CH BITS BLOCKS out.wav\n");
    return 2;
}
