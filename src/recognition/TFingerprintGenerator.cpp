#include "recognition/TFingerprintGenerator.h"

#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

TFingerprintGenerator::TFingerprintGenerator(std::shared_ptr<const TChromaprintLibrary> L, int SampleRate, int C,
                                             int BitsPerSample)
    : Library(std::move(L)), Rate(SampleRate), Channels(C), Bits(BitsPerSample),
      EnoughFrames(static_cast<std::int64_t>(EnoughSeconds) * SampleRate)
{
    if (!Library || !Library->HasGenerator())
        throw EACSException("The fingerprint library lacks the entry points it needs.");
    if (Rate <= 0 || Channels < 1 || Channels > 2 || (Bits != 8 && Bits != 16 && Bits != 24))
        throw EACSException("The fingerprint cannot be made of this audio format.");
    Context = Library->new_(CHROMAPRINT_ALGORITHM_DEFAULT);
    if (!Context)
        throw EACSException("The fingerprint generator could not be created.");
    if (!Library->start(Context, Rate, Channels)) {
        Library->free(Context);
        throw EACSException("The fingerprint generator could not be started.");
    }
}

TFingerprintGenerator::~TFingerprintGenerator()
{
    if (Context)
        Library->free(Context);
}

double TFingerprintGenerator::SecondsFed() const
{
    return static_cast<double>(FramesFed) / Rate;
}

bool TFingerprintGenerator::Feed(const void* Data, int Bytes)
{
    if (Finished || Enough() || Bytes <= 0 || !Data)
        return Enough();
    const int sampleBytes = Bits / 8;
    const int frameBytes = sampleBytes * Channels;
    // Blocks may end inside a frame; the remainder waits for the next block.
    const auto* bytes = static_cast<const std::uint8_t*>(Data);
    std::vector<std::uint8_t> joined;
    std::size_t length = static_cast<std::size_t>(Bytes);
    if (!Partial.empty()) {
        joined = std::move(Partial);
        joined.insert(joined.end(), bytes, bytes + Bytes);
        bytes = joined.data();
        length = joined.size();
    }
    std::int64_t frames = static_cast<std::int64_t>(length / static_cast<std::size_t>(frameBytes));
    const std::size_t used = static_cast<std::size_t>(frames) * static_cast<std::size_t>(frameBytes);
    Partial.assign(bytes + used, bytes + length);
    frames = std::min(frames, EnoughFrames - FramesFed);
    const std::size_t samples = static_cast<std::size_t>(frames) * static_cast<std::size_t>(Channels);
    if (samples == 0)
        return Enough();

    Widened.resize(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        const std::uint8_t* s = bytes + i * static_cast<std::size_t>(sampleBytes);
        std::int16_t v = 0;
        if (Bits == 8)
            v = static_cast<std::int16_t>((static_cast<int>(s[0]) - 128) * 256);
        else if (Bits == 16)
            v = static_cast<std::int16_t>(static_cast<std::uint16_t>(s[0] | (s[1] << 8)));
        else
            v = static_cast<std::int16_t>(static_cast<std::uint16_t>(s[1] | (s[2] << 8)));
        Widened[i] = v;
        AnySound = AnySound || v != 0;
    }
    Library->feed(Context, Widened.data(), static_cast<int>(samples));
    FramesFed += frames;
    if (Enough())
        Partial.clear();
    return Enough();
}

TFingerprint TFingerprintGenerator::Finish()
{
    TFingerprint result;
    if (Finished)
        return result;
    Finished = true;
    result.Silent = !AnySound;
    if (FramesFed == 0 || !Library->finish(Context))
        return result;
    char* text = nullptr;
    if (Library->get_fingerprint(Context, &text) && text) {
        result.Compressed = text;
        Library->dealloc(text);
    }
    int items = 0;
    if (Library->get_raw_fingerprint_size && Library->get_raw_fingerprint_size(Context, &items))
        result.Items = items;
    // Below about three seconds the library yields no items: nothing to look up.
    if (Library->get_raw_fingerprint_size && result.Items == 0)
        result.Compressed.clear();
    return result;
}

} // namespace kestrune
