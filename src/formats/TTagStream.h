#pragma once

#include "pipeline/TStream.h"

#include <cstdint>

namespace kestrune {

// The file a tag is written into: a byte stream that can also be cut short,
// which replacing a RIFF INFO list at the end of a file needs.
class TTagStream : public TStream {
public:
    // Cuts the stream to Size bytes (or extends it with zeros). Raises
    // EACSException on failure.
    virtual void SetSize(std::int64_t Size) = 0;
};

} // namespace kestrune
