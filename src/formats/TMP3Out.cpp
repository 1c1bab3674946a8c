#include "formats/TMP3Out.h"

#include "pipeline/EACSException.h"
#include "pipeline/TAudioFormat.h"

#include <bit>

namespace kestrune {

static_assert(std::endian::native == std::endian::little, "16-bit PCM is handed to the encoder in place");

namespace {

// ID3v1 holds ISO-8859-1; UTF-8 characters outside it (and broken sequences)
// become "?", as players would otherwise show them garbled.
std::string Latin1(const std::string& Utf8)
{
    std::string out;
    out.reserve(Utf8.size());
    for (std::size_t i = 0; i < Utf8.size();) {
        const auto c = static_cast<unsigned char>(Utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        int length = 0;
        std::uint32_t code = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            code = c & 0x07;
        }
        bool whole = length > 0 && i + static_cast<std::size_t>(length) <= Utf8.size();
        for (int k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(Utf8[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                whole = false;
            else
                code = (code << 6) | (next & 0x3F);
        }
        if (!whole) {
            out.push_back('?');
            ++i;
            continue;
        }
        out.push_back(code >= 0x80 && code <= 0xFF && length == 2 ? static_cast<char>(code) : '?');
        i += static_cast<std::size_t>(length);
    }
    return out;
}

} // namespace

void TMP3Out::TEncoderCloser::operator()(lame_global_struct* Handle) const
{
    if (Library && Handle)
        Library->close(Handle);
}

TMP3Out::TMP3Out() = default;

TMP3Out::~TMP3Out()
{
    DestroyWorker();
}

void TMP3Out::SetBitRate(TMP3BitRate Value)
{
    if (MP3BitRateKbps(Value) == 0)
        return;
    FBitRate = Value;
}

std::string TMP3Out::Tag(TTagField Field) const
{
    std::lock_guard lock(TagMutex);
    return Tags[Field];
}

void TMP3Out::SetTag(TTagField Field, const std::string& Value)
{
    std::lock_guard lock(TagMutex);
    Tags[Field] = Value;
}

std::string TMP3Out::Id3TagTitle() const
{
    return Tag(tfTitle);
}
std::string TMP3Out::Id3TagArtist() const
{
    return Tag(tfArtist);
}
std::string TMP3Out::Id3TagAlbum() const
{
    return Tag(tfAlbum);
}
std::string TMP3Out::Id3TagYear() const
{
    return Tag(tfYear);
}
std::string TMP3Out::Id3TagTrack() const
{
    return Tag(tfTrack);
}
std::string TMP3Out::Id3TagComment() const
{
    return Tag(tfComment);
}
void TMP3Out::SetId3TagTitle(const std::string& Value)
{
    SetTag(tfTitle, Value);
}
void TMP3Out::SetId3TagArtist(const std::string& Value)
{
    SetTag(tfArtist, Value);
}
void TMP3Out::SetId3TagAlbum(const std::string& Value)
{
    SetTag(tfAlbum, Value);
}
void TMP3Out::SetId3TagYear(const std::string& Value)
{
    SetTag(tfYear, Value);
}
void TMP3Out::SetId3TagTrack(const std::string& Value)
{
    SetTag(tfTrack, Value);
}
void TMP3Out::SetId3TagComment(const std::string& Value)
{
    SetTag(tfComment, Value);
}

void TMP3Out::OpenOutput()
{
    // Bound on the first run, not when the output is made: a recorder or a
    // conversion that never writes MP3 works without LAME.
    Lame = TLameLibrary::Load();
    if (!Lame->HasEncoder())
        throw EACSException(std::string(TLameLibrary::SoName) + " lacks the entry points for encoding.");
    OpenOwnStream();
    TACSInput& in = OpenInputOrRelease();
    try {
        StreamStart = Stream->Position();
        Bits = in.InBitsPerSample();
        Channels = in.InChannels();
        const int rate = in.InSampleRate();
        if (!IsPipelineDepth(Bits))
            throw EACSException("Cannot encode " + std::to_string(Bits) + " bit sound into MP3.");
        if (Channels != 1 && Channels != 2)
            throw EACSException("Cannot encode " + std::to_string(Channels) + " channel sound into MP3.");
        FrameBytes = Channels * Bits / 8;

        Encoder = std::unique_ptr<lame_global_struct, TEncoderCloser>(Lame->init(), TEncoderCloser{Lame});
        if (!Encoder)
            throw EACSException("The MP3 encoder could not be created.");
        lame_global_struct* h = Encoder.get();
        const std::int64_t size = in.Size();
        if (size >= 1 && Lame->set_num_samples)
            Lame->set_num_samples(h, static_cast<unsigned long>(size / FrameBytes));
        Lame->set_in_samplerate(h, rate);
        // Always two channels: a mono input is encoded as two equal ones.
        Lame->set_num_channels(h, 2);
        Lame->set_brate(h, MP3BitRateKbps(BitRate()));
        // Without a way to fill in the info frame at the end, none is
        // reserved: an empty one would play as a frame of silence.
        if (!Lame->get_lametag_frame && Lame->set_bWriteVbrTag)
            Lame->set_bWriteVbrTag(h, 0);
        if (Lame->init_params(h) < 0)
            throw EACSException("The MP3 encoder cannot encode " + std::to_string(rate) + " Hz sound at " +
                                std::to_string(MP3BitRateKbps(BitRate())) + " kbit/s.");

        // One step hands the encoder at most 16384 bytes of 16-bit samples.
        StepFrames = TransferBytes / (2 * Channels);
        InBuffer.assign(static_cast<std::size_t>(StepFrames) * static_cast<std::size_t>(FrameBytes), 0);
        Samples.assign(Bits == 16 ? 0 : static_cast<std::size_t>(StepFrames) * static_cast<std::size_t>(Channels), 0);
        MP3Buffer.assign(MP3BufferBytes, 0);
    } catch (...) {
        Encoder.reset();
        AbandonOpen(in);
        throw;
    }
}

bool TMP3Out::WriteStep(bool Abort)
{
    if (!CanOutput.load())
        return true;
    UpdateProgress();
    if (Abort)
        return false;
    const TFrames got = ReadFrames(InBuffer.data(), StepFrames * FrameBytes, FrameBytes, false);
    if (got.Count > 0)
        Encode(got.Count);
    return !got.Ended;
}

void TMP3Out::Encode(int Frames)
{
    const int count = Frames * Channels;
    short* pcm = nullptr;
    if (Bits == 16) {
        pcm = reinterpret_cast<short*>(InBuffer.data());
    } else if (Bits == 8) {
        // Unsigned 8-bit centred on 128, widened to the 16-bit scale.
        const std::uint8_t* src = InBuffer.data();
        for (int i = 0; i < count; ++i)
            Samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>((src[i] - 128) * 256);
        pcm = Samples.data();
    } else {
        // 24-bit keeps its upper 16 bits; MP3 cannot carry more anyway.
        const std::uint8_t* src = InBuffer.data();
        for (int i = 0; i < count; ++i)
            Samples[static_cast<std::size_t>(i)] =
                static_cast<std::int16_t>(static_cast<std::uint16_t>(src[3 * i + 1] | (src[3 * i + 2] << 8)));
        pcm = Samples.data();
    }
    const int produced =
        Channels == 2 ? Lame->encode_buffer_interleaved(Encoder.get(), pcm, Frames, MP3Buffer.data(), MP3BufferBytes)
                      : Lame->encode_buffer(Encoder.get(), pcm, pcm, Frames, MP3Buffer.data(), MP3BufferBytes);
    if (produced < 0)
        throw EACSException("The MP3 encoder failed (error " + std::to_string(produced) + ").");
    if (produced > 0)
        Stream->Write(MP3Buffer.data(), produced);
}

void TMP3Out::WriteTags()
{
    if (!Lame->id3tag_init)
        return;
    lame_global_struct* h = Encoder.get();
    Lame->id3tag_init(h);
    std::string texts[tfCount];
    {
        std::lock_guard lock(TagMutex);
        for (int i = 0; i < tfCount; ++i)
            texts[i] = Latin1(Tags[i]);
    }
    // The library adds an ID3v1 tag at the flush when any of these is set.
    if (Lame->id3tag_set_title)
        Lame->id3tag_set_title(h, texts[tfTitle].c_str());
    if (Lame->id3tag_set_artist)
        Lame->id3tag_set_artist(h, texts[tfArtist].c_str());
    if (Lame->id3tag_set_album)
        Lame->id3tag_set_album(h, texts[tfAlbum].c_str());
    if (Lame->id3tag_set_year)
        Lame->id3tag_set_year(h, texts[tfYear].c_str());
    if (Lame->id3tag_set_track)
        Lame->id3tag_set_track(h, texts[tfTrack].c_str());
    if (Lame->id3tag_set_comment)
        Lame->id3tag_set_comment(h, texts[tfComment].c_str());
}

void TMP3Out::WriteInfoFrame()
{
    if (!Lame->get_lametag_frame)
        return;
    const std::size_t length = Lame->get_lametag_frame(Encoder.get(), MP3Buffer.data(), MP3Buffer.size());
    // 0: the encoder reserved no frame; more than the buffer cannot happen
    // for a frame the encoder wrote itself, but is not trusted.
    if (length == 0 || length > MP3Buffer.size())
        return;
    const std::int64_t end = Stream->Position();
    Stream->Seek(StreamStart, TSeekOrigin::soBeginning);
    Stream->Write(MP3Buffer.data(), static_cast<std::int64_t>(length));
    Stream->Seek(end, TSeekOrigin::soBeginning);
}

void TMP3Out::CloseOutput()
{
    std::exception_ptr failure;
    if (Encoder && Stream) {
        try {
            WriteTags();
            const int produced = Lame->encode_flush(Encoder.get(), MP3Buffer.data(), MP3BufferBytes);
            if (produced < 0)
                throw EACSException("The MP3 encoder failed (error " + std::to_string(produced) + ").");
            if (produced > 0)
                Stream->Write(MP3Buffer.data(), produced);
            WriteInfoFrame();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    Encoder.reset();
    // The buffers go with the run; an idle output holds nothing.
    std::vector<std::uint8_t>().swap(MP3Buffer);
    std::vector<std::uint8_t>().swap(InBuffer);
    std::vector<std::int16_t>().swap(Samples);
    FinishClose(failure);
}

} // namespace kestrune
