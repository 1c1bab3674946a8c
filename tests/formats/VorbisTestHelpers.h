#pragma once

// Helpers of the Ogg Vorbis tests: encoding fixtures through TVorbisOut and
// reading what a file declares straight through libvorbisfile.

#include "codecs/TOggVorbisLibrary.h"
#include "formats/TVorbisOut.h"
#include "formats/WavTestHelpers.h"
#include "support/TestSupport.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace kestrune::test {

// Encodes Pcm of format F into File; Setup adjusts the output first. True
// when the run ended normally; the failure text goes to Failure.
inline bool EncodeOgg(const std::string& File, TAudioFormat F, const std::vector<std::uint8_t>& Pcm,
                      const std::function<void(TVorbisOut&)>& Setup = {}, std::string* Failure = nullptr)
{
    TFakeInput in(F, Pcm, static_cast<std::int64_t>(Pcm.size()));
    in.ChunkBytes = 1 << 20;
    TVorbisOut out;
    out.SetFileName(File);
    if (Setup)
        Setup(out);
    out.SetInput(&in);
    return RunToEnd(out, Failure);
}

// What a file declares, per logical stream, as libvorbisfile reads it.
struct TOggLink {
    int Channels = 0;
    long Rate = 0;
    long Upper = 0, Nominal = 0, Lower = 0;
    long Serial = 0;
    std::int64_t Frames = 0;
    std::vector<std::string> Comments;
};

inline std::vector<TOggLink> OggLinks(const std::string& File)
{
    const auto lib = TOggVorbisLibrary::Load();
    std::vector<TOggLink> links;
    FILE* f = std::fopen(File.c_str(), "rb");
    if (!f)
        return links;
    ov_callbacks cb{};
    cb.read_func = [](void* P, size_t S, size_t N, void* D) { return std::fread(P, S, N, static_cast<FILE*>(D)); };
    cb.seek_func = [](void* D, ogg_int64_t O, int W) {
        return std::fseek(static_cast<FILE*>(D), static_cast<long>(O), W);
    };
    cb.tell_func = [](void* D) { return std::ftell(static_cast<FILE*>(D)); };
    OggVorbis_File vf;
    if (lib->ov_open_callbacks(f, &vf, nullptr, 0, cb) != 0) {
        std::fclose(f);
        return links;
    }
    for (long i = 0; i < lib->ov_streams(&vf); ++i) {
        TOggLink l;
        const vorbis_info* vi = lib->ov_info(&vf, static_cast<int>(i));
        l.Channels = vi->channels;
        l.Rate = vi->rate;
        l.Upper = vi->bitrate_upper;
        l.Nominal = vi->bitrate_nominal;
        l.Lower = vi->bitrate_lower;
        l.Serial = lib->ov_serialnumber(&vf, static_cast<int>(i));
        l.Frames = lib->ov_pcm_total(&vf, static_cast<int>(i));
        const vorbis_comment* vc = lib->ov_comment(&vf, static_cast<int>(i));
        for (int c = 0; vc && c < vc->comments; ++c)
            l.Comments.emplace_back(vc->user_comments[c], static_cast<size_t>(vc->comment_lengths[c]));
        links.push_back(l);
    }
    lib->ov_clear(&vf);
    std::fclose(f);
    return links;
}

// Signal-to-noise ratio in dB of Decoded against Reference (16-bit samples).
inline double SnrDb(const std::vector<std::int16_t>& Reference, const std::vector<std::int16_t>& Decoded)
{
    double signal = 0, noise = 0;
    const size_t n = std::min(Reference.size(), Decoded.size());
    for (size_t i = 0; i < n; ++i) {
        signal += double(Reference[i]) * Reference[i];
        const double d = double(Reference[i]) - Decoded[i];
        noise += d * d;
    }
    return noise == 0 ? 200.0 : 10.0 * std::log10(signal / noise);
}

} // namespace kestrune::test
