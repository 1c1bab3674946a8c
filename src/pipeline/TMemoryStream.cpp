#include "pipeline/TMemoryStream.h"

#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

std::int64_t TMemoryStream::Read(void* Buffer, std::int64_t Count)
{
    const std::int64_t size = Size();
    if (Count <= 0 || Pos >= size)
        return 0;
    const std::int64_t n = std::min(Count, size - Pos);
    std::memcpy(Buffer, Data.data() + Pos, static_cast<size_t>(n));
    Pos += n;
    return n;
}

void TMemoryStream::Write(const void* Buffer, std::int64_t Count)
{
    if (Count <= 0)
        return;
    const auto end = static_cast<size_t>(Pos + Count);
    if (end > Data.size())
        Data.resize(end);
    std::memcpy(Data.data() + Pos, Buffer, static_cast<size_t>(Count));
    Pos += Count;
}

void TMemoryStream::SetSize(std::int64_t NewSize)
{
    if (NewSize < 0)
        throw EACSException("Cannot give a memory stream a negative size");
    // A position past the new end stays where it is, as in a file; the next
    // write fills the gap with zeros.
    Data.resize(static_cast<size_t>(NewSize));
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
    std::int64_t base = 0;
    if (Origin == TSeekOrigin::soCurrent)
        base = Pos;
    else if (Origin == TSeekOrigin::soEnd)
        base = Size();
    const std::int64_t at = base + Offset;
    if (at < 0)
        throw EACSException("Cannot seek before the start of a memory stream");
    Pos = at;
    return Pos;
}

} // namespace kestrune
