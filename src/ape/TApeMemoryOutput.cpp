#include "ape/TApeMemoryOutput.h"

#include <cstring>

namespace kestrune::ape {

bool TApeMemoryOutput::Write(const void* data, size_t bytes)
{
    auto p = static_cast<const uint8_t*>(data);
    FBytes->insert(FBytes->end(), p, p + bytes);
    return true;
}

bool TApeMemoryOutput::WriteAt(int64_t offset, const void* data, size_t bytes)
{
    if (offset < 0)
        return false;
    if (FBytes->size() < size_t(offset) + bytes)
        FBytes->resize(size_t(offset) + bytes);
    std::memcpy(FBytes->data() + offset, data, bytes);
    return true;
}

} // namespace kestrune::ape
