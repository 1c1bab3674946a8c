#include "ape/TApeMemoryInput.h"

#include <algorithm>
#include <cstring>

namespace kestrune::ape {

size_t TApeMemoryInput::ReadAt(int64_t offset, void* buffer, size_t bytes)
{
    if (bytes == 0 || offset < 0 || offset >= int64_t(FBytes.size()))
        return 0;
    const size_t n = std::min(bytes, FBytes.size() - size_t(offset));
    std::memcpy(buffer, FBytes.data() + offset, n);
    return n;
}

} // namespace kestrune::ape
