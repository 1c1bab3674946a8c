#include "formats/TVorbisIn.h"

#include "codecs/TOggVorbisLibrary.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kestrune {

struct TVorbisFileHandle {
    OggVorbis_File Vf{};
    bool Opened = false;
};

// The callbacks handed to libvorbisfile. No exception may cross the C
// library: a failing stream is remembered and raised again after the call.
struct TVorbisInCallbacks {
    static size_t Read(void* Into, size_t Size, size_t Count, void* Source)
    {
        if (Size == 0)
            return 0;
        const std::size_t got = static_cast<TVorbisIn*>(Source)->StreamRead(Into, Size * Count);
        return got / Size;
    }
    static int Seek(void* Source, ogg_int64_t Offset, int Whence)
    {
        return static_cast<TVorbisIn*>(Source)->StreamSeek(Offset, Whence);
    }
    static long Tell(void* Source) { return static_cast<TVorbisIn*>(Source)->StreamTell(); }
};

namespace {

std::string OpenStatus(int Code)
{
    switch (Code) {
    case OV_EREAD:
        return "the file could not be read";
    case OV_ENOTVORBIS:
        return "not an Ogg Vorbis file";
    case OV_EVERSION:
        return "an Ogg Vorbis version that is not supported";
    case OV_EBADHEADER:
        return "damaged Ogg Vorbis headers";
    case OV_EFAULT:
        return "the decoder failed inside";
    default:
        return "libvorbisfile refused it with status " + std::to_string(Code);
    }
}

std::string LayoutText(long Rate, int Channels)
{
    return std::to_string(Rate) + " Hz " +
           (Channels == 1   ? std::string("mono")
            : Channels == 2 ? std::string("stereo")
                            : std::to_string(Channels) + " channels");
}

} // namespace

TVorbisIn::TVorbisIn() = default;

TVorbisIn::~TVorbisIn()
{
    if (OpenCount > 0 || File) {
        try {
            Release();
        } catch (...) {
        }
    }
}

std::size_t TVorbisIn::StreamRead(void* Into, std::size_t Bytes)
{
    try {
        const std::int64_t got = Stream->Read(Into, static_cast<std::int64_t>(Bytes));
        // libvorbisfile takes 0 with errno set as a read error; a clean end
        // must not look like one because of an older errno.
        errno = 0;
        return static_cast<std::size_t>(std::max<std::int64_t>(0, got));
    } catch (...) {
        StreamFailure.Keep();
        errno = EIO;
        return 0;
    }
}

int TVorbisIn::StreamSeek(std::int64_t Offset, int Whence)
{
    // -1 tells libvorbisfile the source cannot seek; it then reads it as a
    // stream from its start.
    if (!FRewindable)
        return -1;
    try {
        Stream->Seek(Offset, SeekOriginOf(Whence));
        return 0;
    } catch (...) {
        StreamFailure.Keep();
        return -1;
    }
}

long TVorbisIn::StreamTell()
{
    try {
        return static_cast<long>(Stream->Position());
    } catch (...) {
        StreamFailure.Keep();
        return -1;
    }
}

void TVorbisIn::OpenFile()
{
    OpenParsed(
        [this] {
            EndOfFile = false;
            CurrentSection = -1;
            FBitsPerSample = 16;
            FChannels = 0;
            FSampleRate = 0;
            FTotalSamples = 0;
            FSize = 0;
        },
        [this] { Open(); }, [this] { Release(); });
}

void TVorbisIn::Open()
{
    // The libraries are bound on the first file read, so a machine without
    // them can still construct the input (and use every other format).
    Lib = TOggVorbisLibrary::Load();
    if (!Lib->HasDecoder()) {
        Invalidate("the Ogg Vorbis libraries lack functions that the decoder needs");
        return;
    }
    StreamFailure.Clear();
    const ov_callbacks callbacks{&TVorbisInCallbacks::Read, &TVorbisInCallbacks::Seek, nullptr,
                                 &TVorbisInCallbacks::Tell};
    File = std::make_unique<TVorbisFileHandle>();
    const int status = Lib->ov_open_callbacks(this, &File->Vf, nullptr, 0, callbacks);
    if (StreamFailure) {
        std::string reason = "the file could not be read";
        try {
            StreamFailure.Rethrow();
        } catch (const std::exception& e) {
            reason = AsReason(e.what());
        }
        if (status == 0)
            File->Opened = true;
        Invalidate(reason);
        return;
    }
    if (status != 0) {
        // libvorbisfile has released its state already.
        Invalidate(OpenStatus(status));
        return;
    }
    File->Opened = true;
    OggVorbis_File* vf = &File->Vf;
    const vorbis_info* first = Lib->ov_info(vf, 0);
    if (!first)
        first = Lib->ov_info(vf, -1);
    if (!first || first->channels < 1 || first->rate < 1 || first->rate > 0x7FFFFFFF) {
        Invalidate("damaged Ogg Vorbis headers");
        return;
    }
    FChannels = first->channels;
    FSampleRate = static_cast<int>(first->rate);
    FBitsPerSample = 16;
    if (Lib->ov_pcm_total(vf, -1) < 0) {
        // A source that cannot seek has no known length.
        FTotalSamples = 0;
        FSize = -1;
        return;
    }
    // One stream of one layout comes out of a reader: a link of another
    // rate or channel count cannot follow the first, and leaving it out
    // would lose its audio without a word.
    std::int64_t total = 0;
    const long links = Lib->ov_streams(vf);
    for (long i = 0; i < links; ++i) {
        const vorbis_info* info = Lib->ov_info(vf, static_cast<int>(i));
        if (!info) {
            Invalidate("damaged Ogg Vorbis headers in link " + std::to_string(i + 1));
            return;
        }
        if (info->channels != FChannels || info->rate != first->rate) {
            Invalidate("it is a chain of streams in different formats: link " + std::to_string(i + 1) + " is " +
                       LayoutText(info->rate, info->channels) + ", the first " +
                       LayoutText(first->rate, first->channels));
            return;
        }
        const ogg_int64_t frames = Lib->ov_pcm_total(vf, static_cast<int>(i));
        if (frames > 0)
            total += frames;
    }
    FTotalSamples = total;
    FSize = total * 2 * FChannels;
    if (links > 1) {
        // After opening a chain whose first link is short, libvorbisfile
        // (1.3.7) starts decoding at the second link; going back to the
        // first frame explicitly reads every link.
        Lib->ov_pcm_seek(vf, 0);
        StreamFailure.Rethrow();
    }
}

void TVorbisIn::Release()
{
    if (File) {
        if (File->Opened)
            Lib->ov_clear(&File->Vf);
        File.reset();
    }
    StreamFailure.Clear();
    ReleaseStream();
}

void TVorbisIn::CloseFile()
{
    CountClose([this] { Release(); });
}

bool TVorbisIn::SeekSample(std::int64_t Sample)
{
    if (!FRewindable)
        return false;
    const int before = OpenCount;
    OpenFile();
    if (OpenCount == before)
        return true; // the file could not be opened; OpenInput reports it
    if (FValid && File && File->Opened) {
        const std::int64_t frame = std::clamp<std::int64_t>(Sample, 0, FTotalSamples);
        const int status = Lib->ov_pcm_seek(&File->Vf, frame);
        try {
            StreamFailure.Rethrow();
        } catch (...) {
            CloseFile();
            throw;
        }
        if (status != 0 && frame != 0 && frame >= FTotalSamples)
            EndOfFile = true;
        else
            EndOfFile = false;
        BufStart = 1;
        BufEnd = 0;
    }
    CloseFile();
    return true;
}

int TVorbisIn::Fill()
{
    const bool ended = EndOfFile;
    int filled = 0;
    int holes = 0;
    while (filled < BufferSize && !EndOfFile) {
        int section = -1;
        const long got = Lib->ov_read(&File->Vf, reinterpret_cast<char*>(Buffer.data()) + filled, BufferSize - filled,
                                      0, 2, 1, &section);
        StreamFailure.Rethrow();
        if (got == OV_HOLE) {
            // A gap in the data: go on after it, as oggdec does. Every gap
            // consumes data, but a refill is bounded all the same.
            if (++holes > 1000)
                EndOfFile = true;
            continue;
        }
        if (got <= 0) {
            EndOfFile = true;
            break;
        }
        if (section != CurrentSection) {
            const vorbis_info* info = Lib->ov_info(&File->Vf, -1);
            if (!info || info->channels != FChannels || info->rate != FSampleRate) {
                // A link of another layout cannot follow in this stream (a
                // source that cannot seek shows its links only as they come).
                throw EACSException("Error reading Ogg Vorbis file: it is a chain of streams in different formats: " +
                                    (info ? LayoutText(info->rate, info->channels) : std::string("a damaged link")) +
                                    " after " + LayoutText(FSampleRate, FChannels) + ".");
            }
            CurrentSection = section;
        }
        filled += static_cast<int>(got);
        const std::int64_t size = Size();
        if (size >= 0) {
            const std::int64_t left = size - Position();
            if (filled >= left) {
                filled = static_cast<int>(std::max<std::int64_t>(0, left));
                EndOfFile = true;
                break;
            }
        }
    }
    // A read to the end of the whole file looks at how the file ends.
    if (!ended && EndOfFile && EndSample() == -1)
        FailIfCut(filled);
    return filled;
}

void TVorbisIn::FailIfCut(int Pending)
{
    // The largest Ogg page: a 27-byte header, 255 lacing values, 255 × 255
    // bytes of body.
    constexpr std::int64_t MaxPage = 27 + 255 + 255 * 255;
    const std::int64_t length = Stream->Size();
    const std::int64_t from = std::max<std::int64_t>(0, length - MaxPage);
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(length - from));
    const std::int64_t was = Stream->Position();
    Stream->Seek(from, TSeekOrigin::soBeginning);
    const std::int64_t got = Stream->Read(tail.data(), static_cast<std::int64_t>(tail.size()));
    Stream->Seek(was, TSeekOrigin::soBeginning);
    tail.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, got)));
    // Walk the pages that start in the tail; the last one must end by the
    // end of the file.
    bool cut = false;
    for (std::size_t at = 0; at + 4 <= tail.size(); ++at) {
        if (std::memcmp(tail.data() + at, "OggS", 4) != 0 || (at + 5 < tail.size() && tail[at + 4] != 0))
            continue;
        if (at + 27 > tail.size()) {
            cut = true;
            break;
        }
        const int segments = tail[at + 26];
        if (at + 27 + static_cast<std::size_t>(segments) > tail.size()) {
            cut = true;
            break;
        }
        std::size_t body = 0;
        for (int k = 0; k < segments; ++k)
            body += tail[at + 27 + static_cast<std::size_t>(k)];
        const std::size_t end = at + 27 + static_cast<std::size_t>(segments) + body;
        cut = end > tail.size();
        if (cut)
            break;
        at = end - 1;
    }
    if (!cut)
        return;
    char read[32];
    std::snprintf(read, sizeof read, "%.2f s",
                  static_cast<double>(Position() + Pending) / (2.0 * FChannels) / std::max(1, FSampleRate));
    throw EACSException(std::string("Error reading Ogg Vorbis file: the file ends inside its audio: ") + read +
                        " read.");
}

void TVorbisIn::RewindIfStillOpen()
{
    if (!EndOfFile)
        return;
    // The file stayed open (another open is outstanding): go back to the
    // first frame by seeking.
    EndOfFile = false;
    if (File && File->Opened)
        Lib->ov_pcm_seek(&File->Vf, StartSample());
    StreamFailure.Rethrow();
}

int TVorbisIn::ReadBlock(void* Out, int Count)
{
    return ServeFromBuffer(
        Buffer.data(), Out, Count, [this] { return Fill(); }, [this] { RewindIfStillOpen(); });
}

} // namespace kestrune
