#include "pipeline/TStream.h"

#include "pipeline/EACSException.h"

namespace kestrune {

void TStream::SetSize(std::int64_t)
{
    throw EACSException("This stream cannot change its size");
}

} // namespace kestrune
