#include "formats/TTagMemoryStream.h"

#include "pipeline/EACSException.h"

namespace kestrune {

void TTagMemoryStream::SetSize(std::int64_t Size)
{
    if (Size < 0)
        throw EACSException("Cannot change the size of a stream to a negative size");
    Memory.Bytes().resize(static_cast<std::size_t>(Size));
    // A position past the new end stays where it is; the next write fills the gap.
}

} // namespace kestrune
