#pragma once

#include <cstdint>
#include <cstdio>

namespace kestrune {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// The origin a C library's seek callback names with SEEK_SET, SEEK_CUR or
// SEEK_END.
inline TSeekOrigin SeekOriginOf(int Whence)
{
    return Whence == SEEK_SET   ? TSeekOrigin::soBeginning
           : Whence == SEEK_CUR ? TSeekOrigin::soCurrent
                                : TSeekOrigin::soEnd;
}

// A byte stream that inputs read and outputs write. Positions and sizes are
// 64-bit byte counts. Errors are raised as EACSException with the system's
// reason, never returned as short counts.
class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to Count bytes; fewer only at the end of the stream.
    virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
    // Writes all Count bytes or raises (a full disk is an error, not a short write).
    virtual void Write(const void* Buffer, std::int64_t Count) = 0;
    // Returns the new position.
    virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
    virtual std::int64_t Size() = 0;
    // Cuts the stream to Size bytes or extends it with zeros (replacing a tag
    // at the end of a file needs it). Streams that cannot raise EACSException.
    virtual void SetSize(std::int64_t Size);
    // Writes out whatever the stream still holds back; failures raise here.
    virtual void Flush() {}

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    // Reads exactly Count bytes; false when the stream ended first.
    bool ReadExact(void* Buffer, std::int64_t Count) { return Read(Buffer, Count) == Count; }
};

} // namespace kestrune
