#include "formats/TVorbisOut.h"

#include "codecs/TOggVorbisLibrary.h"
#include "pipeline/ByteOrder.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace kestrune {

// The libvorbis and libogg encoder structures of one run, released in the
// order the library wants whatever point the set-up reached.
class TVorbisEncoderState {
public:
    explicit TVorbisEncoderState(const TOggVorbisLibrary& L) : Lib(L)
    {
        Lib.vorbis_info_init(&Info);
        Lib.vorbis_comment_init(&Comment);
    }
    ~TVorbisEncoderState()
    {
        if (StreamReady)
            Lib.ogg_stream_clear(&Os);
        if (BlockReady)
            Lib.vorbis_block_clear(&Block);
        if (DspReady)
            Lib.vorbis_dsp_clear(&Dsp);
        Lib.vorbis_comment_clear(&Comment);
        Lib.vorbis_info_clear(&Info);
    }
    TVorbisEncoderState(const TVorbisEncoderState&) = delete;
    TVorbisEncoderState& operator=(const TVorbisEncoderState&) = delete;

    const TOggVorbisLibrary& Lib;
    vorbis_info Info{};
    vorbis_comment Comment{};
    vorbis_dsp_state Dsp{};
    vorbis_block Block{};
    ogg_stream_state Os{};
    ogg_page Page{};
    ogg_packet Packet{};
    bool DspReady = false;
    bool BlockReady = false;
    bool StreamReady = false;
};

namespace {

bool SameNameIgnoringCase(const std::string& A, const std::string& B)
{
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
               return std::tolower(static_cast<unsigned char>(X)) == std::tolower(static_cast<unsigned char>(Y));
           });
}

std::string EncoderStatus(int Code)
{
    switch (Code) {
    case OV_EIMPL:
        return "the library does not support this mode";
    case OV_EINVAL:
        return "the library finds the settings invalid";
    case OV_EFAULT:
        return "the library failed inside";
    default:
        return "the library refused it with status " + std::to_string(Code);
    }
}

// Releases an ogg_sync_state on every way out.
class TSyncGuard {
public:
    TSyncGuard(const TOggVorbisLibrary& L, ogg_sync_state& S) : Lib(L), State(S) { Lib.ogg_sync_init(&State); }
    ~TSyncGuard() { Lib.ogg_sync_clear(&State); }
    TSyncGuard(const TSyncGuard&) = delete;
    TSyncGuard& operator=(const TSyncGuard&) = delete;

private:
    const TOggVorbisLibrary& Lib;
    ogg_sync_state& State;
};

} // namespace

TVorbisOut::TVorbisOut() = default;

TVorbisOut::~TVorbisOut()
{
    DestroyWorker();
}

void TVorbisOut::SetDesiredNominalBitrate(TVorbisBitRate Value)
{
    FNominal = Value;
    if (Value < FMinimum)
        FMinimum = Value;
    if (FMaximum < Value)
        FMaximum = Value;
    if (Value == TVorbisBitRate::brAutoSelect)
        FMaximum = TVorbisBitRate::brAutoSelect;
}

void TVorbisOut::SetDesiredMaximumBitrate(TVorbisBitRate Value)
{
    if (FNominal != TVorbisBitRate::brAutoSelect && (Value == TVorbisBitRate::brAutoSelect || Value >= FNominal))
        FMaximum = Value;
}

void TVorbisOut::SetMinimumBitrate(TVorbisBitRate Value)
{
    if (Value <= FNominal)
        FMinimum = Value;
}

void TVorbisOut::OpenOutput()
{
    EndOfStream = false;
    UsedSerials.clear();
    // Bound on the first run, not when the output is made: without the
    // libraries only Ogg Vorbis fails.
    Lib = TOggVorbisLibrary::Load();
    if (!Lib->HasEncoder())
        throw EACSException("The Ogg Vorbis libraries lack functions that the encoder needs.");
    OpenOwnStream();
    TACSInput& in = OpenInputOrRelease();
    try {
        Channels = in.InChannels();
        BitsPerSample = in.InBitsPerSample();
        const int rate = in.InSampleRate();
        if (BitsPerSample != 8 && BitsPerSample != 16 && BitsPerSample != 24)
            throw EACSException("Cannot encode " + std::to_string(BitsPerSample) + " bit sound into Ogg Vorbis.");
        if (Channels < 1 || Channels > 255)
            throw EACSException("Cannot encode " + std::to_string(Channels) + " channel sound into Ogg Vorbis.");
        FSerialWritten = FSerial;
        if (FileMode() == TFileOutputMode::foAppend && Stream->Size() > 0) {
            PrepareAppend(Channels, rate);
            // A new logical stream is chained after the ones in the file.
            Stream->Seek(0, TSeekOrigin::soEnd);
        }
        StartEncoder(Channels, rate);
    } catch (...) {
        Encoder.reset();
        AbandonOpen(in);
        throw;
    }
}

void TVorbisOut::PrepareAppend(int ChannelCount, int SampleRate)
{
    // Walk the pages already in the file: every serial is taken, and the
    // first logical stream fixes the format the readers expect of the chain.
    ogg_sync_state sync;
    TSyncGuard guard(*Lib, sync);
    ogg_page page;
    bool anyPage = false;
    bool vorbisFirst = false;
    int firstChannels = 0;
    std::uint32_t firstRate = 0;
    Stream->Seek(0, TSeekOrigin::soBeginning);
    constexpr long Chunk = 65536;
    for (;;) {
        char* into = Lib->ogg_sync_buffer(&sync, Chunk);
        if (!into)
            throw EACSException("Cannot append data to this .ogg file.");
        const std::int64_t got = Stream->Read(into, Chunk);
        Lib->ogg_sync_wrote(&sync, static_cast<long>(got));
        for (int r; (r = Lib->ogg_sync_pageout(&sync, &page)) != 0;) {
            if (r < 0)
                continue; // bytes skipped to the next page
            const auto serial = static_cast<std::int32_t>(Lib->ogg_page_serialno(&page));
            if (std::find(UsedSerials.begin(), UsedSerials.end(), serial) == UsedSerials.end())
                UsedSerials.push_back(serial);
            if (!anyPage) {
                anyPage = true;
                const unsigned char* body = page.body;
                if (Lib->ogg_page_bos(&page) && page.body_len >= 16 && body[0] == 1 &&
                    std::memcmp(body + 1, "vorbis", 6) == 0) {
                    vorbisFirst = true;
                    firstChannels = body[11];
                    firstRate = GetLe32(body + 12);
                }
            }
        }
        if (got < Chunk)
            break;
    }
    if (!anyPage || !vorbisFirst)
        throw EACSException("Cannot append data to this .ogg file.");
    if (firstChannels != ChannelCount || firstRate != static_cast<std::uint32_t>(SampleRate))
        throw EACSException("Cannot append data in different audio format.");
    auto serial = static_cast<std::uint32_t>(FSerial);
    while (std::find(UsedSerials.begin(), UsedSerials.end(), static_cast<std::int32_t>(serial)) != UsedSerials.end())
        ++serial;
    FSerialWritten = static_cast<std::int32_t>(serial);
}

void TVorbisOut::StartEncoder(int ChannelCount, int SampleRate)
{
    Encoder = std::make_unique<TVorbisEncoderState>(*Lib);
    TVorbisEncoderState& e = *Encoder;
    int status = 0;
    std::string settings;
    if (FNominal == TVorbisBitRate::brAutoSelect) {
        status = Lib->vorbis_encode_init_vbr(&e.Info, ChannelCount, SampleRate, FCompression);
        char quality[32];
        std::snprintf(quality, sizeof quality, "%.2f", static_cast<double>(FCompression));
        settings = std::string("quality ") + quality;
    } else {
        const long nominal = VorbisBitsPerSecond(FNominal);
        const long maximum = std::max(VorbisBitsPerSecond(FMaximum), nominal);
        const long minimumSet = VorbisBitsPerSecond(FMinimum);
        const long minimum = minimumSet == -1 ? nominal : minimumSet;
        status = Lib->vorbis_encode_init(&e.Info, ChannelCount, SampleRate, maximum, nominal, minimum);
        settings = "nominal " + std::to_string(nominal) + ", maximum " + std::to_string(maximum) + ", minimum " +
                   std::to_string(minimum) + " bit/s";
    }
    if (status != 0)
        throw EACSException("The Ogg Vorbis encoder cannot encode " + std::to_string(ChannelCount) + " channel " +
                            std::to_string(SampleRate) + " Hz sound with " + settings + ": " + EncoderStatus(status) +
                            ".");

    for (const std::string& line : FComments) {
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            continue; // not a comment: a comment needs a name
        const std::string name = line.substr(0, eq);
        // The value is that of the first line with this name.
        std::string value;
        for (const std::string& other : FComments) {
            const auto at = other.find('=');
            if (at != std::string::npos && SameNameIgnoringCase(other.substr(0, at), name)) {
                value = other.substr(at + 1);
                break;
            }
        }
        Lib->vorbis_comment_add_tag(&e.Comment, name.c_str(), value.c_str());
    }

    if (Lib->vorbis_analysis_init(&e.Dsp, &e.Info) != 0)
        throw EACSException("The Ogg Vorbis encoder could not be started.");
    e.DspReady = true;
    if (Lib->vorbis_block_init(&e.Dsp, &e.Block) != 0)
        throw EACSException("The Ogg Vorbis encoder could not be started.");
    e.BlockReady = true;
    if (Lib->ogg_stream_init(&e.Os, FSerialWritten) != 0)
        throw EACSException("The Ogg Vorbis encoder could not be started.");
    e.StreamReady = true;

    ogg_packet header;
    ogg_packet comment;
    ogg_packet codebooks;
    if (Lib->vorbis_analysis_headerout(&e.Dsp, &e.Comment, &header, &comment, &codebooks) != 0)
        throw EACSException("The Ogg Vorbis encoder could not write its headers.");
    Lib->ogg_stream_packetin(&e.Os, &header);
    Lib->ogg_stream_packetin(&e.Os, &comment);
    Lib->ogg_stream_packetin(&e.Os, &codebooks);
    // The headers stand on pages of their own, so audio starts on a fresh page.
    WritePages(true);
}

void TVorbisOut::WritePages(bool Flush)
{
    TVorbisEncoderState& e = *Encoder;
    while (!EndOfStream) {
        const int r = Flush ? Lib->ogg_stream_flush(&e.Os, &e.Page) : Lib->ogg_stream_pageout(&e.Os, &e.Page);
        if (r == 0)
            break;
        Stream->Write(e.Page.header, e.Page.header_len);
        Stream->Write(e.Page.body, e.Page.body_len);
        if (Lib->ogg_page_eos(&e.Page))
            EndOfStream = true;
    }
}

void TVorbisOut::Drain()
{
    TVorbisEncoderState& e = *Encoder;
    while (Lib->vorbis_analysis_blockout(&e.Dsp, &e.Block) == 1) {
        if (Lib->vorbis_analysis(&e.Block, nullptr) != 0)
            throw EACSException("The Ogg Vorbis encoder failed on a block of audio.");
        Lib->vorbis_bitrate_addblock(&e.Block);
        while (Lib->vorbis_bitrate_flushpacket(&e.Dsp, &e.Packet) == 1)
            Lib->ogg_stream_packetin(&e.Os, &e.Packet);
        WritePages(false);
    }
}

void TVorbisOut::Encode(const std::uint8_t* Pcm, int Frames)
{
    if (Frames <= 0)
        return;
    float** into = Lib->vorbis_analysis_buffer(&Encoder->Dsp, Frames);
    const std::ptrdiff_t ch = Channels;
    switch (BitsPerSample) {
    case 8:
        // Unsigned 8-bit, widened: (v - 128) * 256 / 32768.
        for (std::ptrdiff_t c = 0; c < ch; ++c) {
            float* out = into[c];
            const std::uint8_t* p = Pcm + c;
            for (int i = 0; i < Frames; ++i, p += ch)
                out[i] = static_cast<float>(static_cast<int>(*p) - 128) / 128.0F;
        }
        break;
    case 16:
        for (std::ptrdiff_t c = 0; c < ch; ++c) {
            float* out = into[c];
            const std::uint8_t* p = Pcm + 2 * c;
            for (int i = 0; i < Frames; ++i, p += 2 * ch)
                out[i] = static_cast<float>(GetLe16s(p)) / 32768.0F;
        }
        break;
    default:
        for (std::ptrdiff_t c = 0; c < ch; ++c) {
            float* out = into[c];
            const std::uint8_t* p = Pcm + 3 * c;
            for (int i = 0; i < Frames; ++i, p += 3 * ch) {
                const std::int32_t v = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                                                 static_cast<std::uint32_t>(p[1]) << 16 |
                                                                 static_cast<std::uint32_t>(p[2]) << 24) >>
                                       8;
                out[i] = static_cast<float>(v) / 8388608.0F;
            }
        }
        break;
    }
    Lib->vorbis_analysis_wrote(&Encoder->Dsp, Frames);
    Drain();
}

void TVorbisOut::FinishStream()
{
    if (EndOfStream || !Encoder)
        return;
    // Zero frames mark the end of the audio; the last packets and the page
    // with the end-of-stream mark follow.
    Lib->vorbis_analysis_wrote(&Encoder->Dsp, 0);
    Drain();
    WritePages(true);
}

bool TVorbisOut::WriteStep(bool Abort)
{
    if (!CanOutput.load())
        return true;
    UpdateProgress();
    if (EndOfStream)
        return false;
    if (Abort) {
        // A stopped run still ends its logical stream, so what was encoded
        // plays to the end.
        FinishStream();
        return false;
    }
    const TFrames got = ReadFrames(Buffer.data(), BufferSize, Channels * (BitsPerSample / 8), false);
    if (got.Count > 0)
        Encode(Buffer.data(), got.Count);
    if (got.Ended)
        FinishStream(); // the next step sees the end of the stream
    return true;
}

void TVorbisOut::CloseOutput()
{
    FComments.clear();
    Encoder.reset();
    FinishClose(nullptr);
}

} // namespace kestrune
