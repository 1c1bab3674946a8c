#include "ApeTestSignals.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kestrune::ape::test {

namespace {

void Store(std::vector<uint8_t>& out, int bits, int32_t v)
{
    switch (bits) {
    case 8:
        out.push_back(uint8_t(v + 128));
        break;
    case 16:
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
        break;
    default:
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
        out.push_back(uint8_t(v >> 16));
        break;
    }
}

void Put16(std::vector<uint8_t>& w, uint16_t v)
{
    w.push_back(uint8_t(v));
    w.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& w, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        w.push_back(uint8_t(v >> (8 * i)));
}

void PutId(std::vector<uint8_t>& w, const char* id)
{
    for (int i = 0; i < 4; ++i)
        w.push_back(uint8_t(id[i]));
}

struct TLcg {
    uint32_t S;
    int32_t Next()
    {
        S = S * 1664525u + 1013904223u;
        return int32_t(S);
    }
};

} // namespace

std::vector<uint8_t> PeerSignal(const std::string& kind, const TPcmFormat& format, uint32_t blocks)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(blocks) * format.BlockAlign());
    TLcg lcg{0x12345678u};
    for (uint32_t i = 0; i < blocks; ++i) {
        for (int c = 0; c < format.Channels; ++c) {
            const int32_t q = lcg.Next();
            int32_t v;
            if (kind == "noise") {
                v = q >> (32 - format.Bits);
            } else {
                const int32_t w = int32_t((uint64_t(i) * uint64_t(97 + 31 * c)) % 16384) - 8192;
                if (format.Bits == 16)
                    v = w + (q >> 20);
                else if (format.Bits == 24)
                    v = w * 256 + (q >> 12);
                else
                    v = (w >> 8) + (q >> 28);
            }
            Store(out, format.Bits, v);
        }
    }
    return out;
}

const char* SignalName(TSignal signal)
{
    switch (signal) {
    case TSignal::sgSilence:
        return "silence";
    case TSignal::sgPseudoStereo:
        return "pseudostereo";
    case TSignal::sgFirstSilent:
        return "firstsilent";
    case TSignal::sgSecondSilent:
        return "secondsilent";
    case TSignal::sgNoise:
        return "noise";
    case TSignal::sgSquare:
        return "square";
    case TSignal::sgNegativeDc:
        return "negativedc";
    case TSignal::sgMusic:
        return "music";
    }
    return "?";
}

std::vector<uint8_t> MakeSignal(TSignal signal, const TPcmFormat& format, uint32_t blocks, uint32_t seed)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(blocks) * format.BlockAlign());
    const int32_t maxV = (1 << (format.Bits - 1)) - 1;
    const int32_t minV = -maxV - 1;
    TLcg lcg{seed * 2654435761u + 1};
    for (uint32_t i = 0; i < blocks; ++i) {
        const int32_t noise = lcg.Next();
        const double t = double(i) / format.SampleRate;
        const double music = 0.45 * std::sin(2 * M_PI * 220.0 * t) + 0.25 * std::sin(2 * M_PI * 331.0 * t + 0.3) +
                             0.12 * std::sin(2 * M_PI * 1870.0 * t) * std::sin(2 * M_PI * 0.7 * t);
        for (int c = 0; c < format.Channels; ++c) {
            const int32_t own = c == 0 ? noise : lcg.Next();
            int32_t v = 0;
            switch (signal) {
            case TSignal::sgSilence:
                v = 0;
                break;
            case TSignal::sgPseudoStereo:
                v = int32_t(music * maxV) + (noise >> (36 - format.Bits));
                break;
            case TSignal::sgFirstSilent:
                v = c == 0 ? 0 : own >> (32 - format.Bits);
                break;
            case TSignal::sgSecondSilent:
                v = c == 1 ? 0 : own >> (32 - format.Bits);
                break;
            case TSignal::sgNoise:
                v = own >> (32 - format.Bits);
                break;
            case TSignal::sgSquare:
                v = ((i / 3 + uint32_t(c)) & 1) ? maxV : minV;
                break;
            case TSignal::sgNegativeDc:
                v = -(maxV / 3) + (own >> (36 - format.Bits));
                break;
            case TSignal::sgMusic: {
                const double pan = c == 0 ? 1.0 : 0.8;
                const double other = c == 0 ? 0.0 : 0.15 * std::sin(2 * M_PI * 523.0 * t);
                v = int32_t((music * pan + other) * maxV) + (own >> (38 - format.Bits));
                break;
            }
            }
            Store(out, format.Bits, std::clamp(v, minV, maxV));
        }
    }
    return out;
}

std::vector<uint8_t> MixedFrames(const TPcmFormat& format, uint32_t frameBlocks, uint32_t lastBlocks)
{
    std::vector<uint8_t> pcm;
    uint32_t seed = 7;
    for (TSignal signal :
         {TSignal::sgNoise, TSignal::sgSilence, TSignal::sgPseudoStereo, TSignal::sgSecondSilent, TSignal::sgSquare}) {
        const auto part = MakeSignal(signal, format, frameBlocks, seed++);
        pcm.insert(pcm.end(), part.begin(), part.end());
    }
    const auto last = MakeSignal(TSignal::sgMusic, format, lastBlocks, seed);
    pcm.insert(pcm.end(), last.begin(), last.end());
    return pcm;
}

std::vector<uint8_t> MakeWav(const TPcmFormat& format, const std::vector<uint8_t>& pcm, bool extraChunks)
{
    static const char kList[] = "LIST\x0b\0\0\0INFOabcdefg"; // odd-sized chunk: header length not a multiple of 4
    static const char kTail[] = "junk\x06\0\0\0tail!!";
    std::vector<uint8_t> w;
    const size_t listBytes = extraChunks ? 8 + 11 + 1 : 0;
    const size_t tailBytes = extraChunks ? 14 : 0;
    const size_t pad = extraChunks ? pcm.size() & 1 : 0;
    w.reserve(44 + listBytes + pcm.size() + pad + tailBytes);
    PutId(w, "RIFF");
    Put32(w, uint32_t(36 + listBytes + pcm.size() + pad + tailBytes));
    PutId(w, "WAVE");
    PutId(w, "fmt ");
    Put32(w, 16);
    Put16(w, 1);
    Put16(w, uint16_t(format.Channels));
    Put32(w, format.SampleRate);
    Put32(w, format.SampleRate * uint32_t(format.BlockAlign()));
    Put16(w, uint16_t(format.BlockAlign()));
    Put16(w, uint16_t(format.Bits));
    if (extraChunks) {
        w.insert(w.end(), kList, kList + 19);
        w.push_back(0); // pad byte of the odd chunk
    }
    PutId(w, "data");
    Put32(w, uint32_t(pcm.size()));
    w.insert(w.end(), pcm.begin(), pcm.end());
    if (extraChunks) {
        if (pad)
            w.push_back(0);
        w.insert(w.end(), kTail, kTail + 14);
    }
    return w;
}

} // namespace kestrune::ape::test
