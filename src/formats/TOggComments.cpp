#include "formats/TOggComments.h"

#include "formats/VorbisComments.h"
#include "pipeline/ByteOrder.h"
#include "pipeline/EACSException.h"
#include "pipeline/TStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace kestrune {

namespace {

constexpr int PageHeaderBytes = 27;
constexpr int SerialOffset = 14;
constexpr int SegmentCountOffset = 26;
constexpr int ContinuedFlag = 0x01;
constexpr int VorbisIdentification = 1;
constexpr int VorbisComment = 3;

// The pages of a file's first logical stream, joined into packets.
class TOggPackets {
public:
    explicit TOggPackets(TStream* File) : FFile(File) {}

    // The next complete packet; false at the end of the file or at the first
    // damage (a page that is not one, a packet that outgrows the limit).
    bool Next(std::vector<std::uint8_t>& Packet)
    {
        Packet.clear();
        for (;;) {
            while (FSegment < FLacing.size()) {
                const std::uint8_t bytes = FLacing[FSegment++];
                if (FBody.size() - FBodyAt < bytes)
                    return false;
                if (Packet.size() + bytes > MaxOggCommentBytes)
                    return false;
                Packet.insert(Packet.end(), FBody.begin() + static_cast<std::ptrdiff_t>(FBodyAt),
                              FBody.begin() + static_cast<std::ptrdiff_t>(FBodyAt + bytes));
                FBodyAt += bytes;
                // A segment shorter than 255 bytes ends its packet.
                if (bytes < 255)
                    return true;
            }
            if (!ReadPage(!Packet.empty()))
                return false;
        }
    }

private:
    // Reads the next page of the stream, skipping pages of other streams.
    // Continues tells whether a packet is waiting for the rest of it.
    bool ReadPage(bool Continues)
    {
        for (;;) {
            std::uint8_t header[PageHeaderBytes];
            if (!FFile->ReadExact(header, PageHeaderBytes) || std::memcmp(header, "OggS", 4) != 0 || header[4] != 0)
                return false;
            const std::uint32_t serial = GetLe32(header + SerialOffset);
            const int segments = header[SegmentCountOffset];
            FLacing.resize(static_cast<std::size_t>(segments));
            if (segments > 0 && !FFile->ReadExact(FLacing.data(), segments))
                return false;
            std::size_t bytes = 0;
            for (const std::uint8_t b : FLacing)
                bytes += b;
            FBody.resize(bytes);
            if (bytes > 0 && !FFile->ReadExact(FBody.data(), static_cast<std::int64_t>(bytes)))
                return false;
            if (!FSerial)
                FSerial = serial;
            if (serial != *FSerial)
                continue;
            // A page either carries on the packet before it or starts afresh;
            // a mismatch means a page went missing.
            if (((header[5] & ContinuedFlag) != 0) != Continues)
                return false;
            FSegment = 0;
            FBodyAt = 0;
            return true;
        }
    }

    TStream* FFile;
    std::optional<std::uint32_t> FSerial;
    std::vector<std::uint8_t> FLacing;
    std::vector<std::uint8_t> FBody;
    std::size_t FSegment = 0;
    std::size_t FBodyAt = 0;
};

bool IsVorbisHeader(const std::vector<std::uint8_t>& Packet, int Type)
{
    return Packet.size() >= 7 && Packet[0] == Type && std::memcmp(Packet.data() + 1, "vorbis", 6) == 0;
}

} // namespace

std::vector<std::string> ReadOggVorbisComments(TStream* File)
{
    if (!File)
        return {};
    File->Seek(0, TSeekOrigin::soBeginning);
    TOggPackets packets(File);
    std::vector<std::uint8_t> packet;
    if (!packets.Next(packet) || !IsVorbisHeader(packet, VorbisIdentification))
        return {};
    if (!packets.Next(packet) || !IsVorbisHeader(packet, VorbisComment))
        return {};
    try {
        return ParseVorbisComments(packet.data() + 7, packet.size() - 7).Entries;
    } catch (const EACSException&) {
        return {}; // a damaged list: no tags rather than a guess
    }
}

} // namespace kestrune
