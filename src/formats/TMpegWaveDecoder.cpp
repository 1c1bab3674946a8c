#include "formats/TMpegWaveDecoder.h"

#include "codecs/TMpg123Library.h"
#include "pipeline/EACSException.h"

#include <memory>

namespace kestrune {

TDecodedPcm TMpegWaveDecoder::Decode(const std::uint8_t* Data, std::size_t Size)
{
    const std::shared_ptr<const TMpg123Library> lib = TMpg123Library::Load();
    if (!lib->HasFeedDecoder())
        throw EACSException(std::string(TMpg123Library::SoName) + " lacks the entry points for decoding.");

    // Quiet, 16-bit signed, mono or stereo, at every rate the library knows.
    const TMpg123Library::THandle handle = TMpg123Library::NewDecoder16(lib);

    if (lib->open_feed(handle.get()) != MPG123_OK)
        throw EACSException("The MPEG audio decoder could not be opened.");
    if (Size > 0 && lib->feed(handle.get(), Data, Size) != MPG123_OK)
        throw EACSException("The MPEG audio data could not be handed to the decoder.");

    TDecodedPcm out;
    std::vector<unsigned char> chunk(std::size_t{64} * 1024);
    bool haveFormat = false;
    int idle = 0; // calls in a row that produced nothing
    for (;;) {
        std::size_t done = 0;
        const int result = lib->read(handle.get(), chunk.data(), chunk.size(), &done);
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            lib->getformat(handle.get(), &rate, &channels, &encoding);
            if (haveFormat && (rate != out.SampleRate || channels != out.Channels))
                break; // one file, one format: keep what came before the change
            if (encoding != MPG123_ENC_SIGNED_16 || channels < 1 || channels > 2 || rate <= 0)
                break;
            out.SampleRate = static_cast<int>(rate);
            out.Channels = channels;
            haveFormat = true;
        }
        if (done > 0 && haveFormat) {
            if (out.Bytes.size() + done > OutputLimit)
                throw EACSException("The MPEG audio data is too long to be decoded in memory.");
            out.Bytes.insert(out.Bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(done));
        }
        idle = done > 0 ? 0 : idle + 1;
        if ((result == MPG123_OK || result == MPG123_NEW_FORMAT) && idle < 64)
            continue;
        // MPG123_NEED_MORE: everything fed has been decoded; MPG123_DONE and
        // errors end it too, keeping what was decoded.
        break;
    }
    const int frameBytes = 2 * out.Channels;
    if (frameBytes > 0)
        out.Bytes.resize(out.Bytes.size() - out.Bytes.size() % static_cast<std::size_t>(frameBytes));
    return out;
}

} // namespace kestrune
