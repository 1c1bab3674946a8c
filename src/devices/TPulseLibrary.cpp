#include "devices/TPulseLibrary.h"

#include "pipeline/EACSException.h"

namespace kestrune {

TPulseLibrary::TPulseLibrary() : Library(SoName)
{
    // Every entry point is called unconditionally, so one that is missing
    // makes the library unusable rather than a crash later.
#define KESTRUNE_ENTRY(Name)                                                                                           \
    Name = Library.Entry<decltype(Name)>(#Name);                                                                       \
    if (!(Name))                                                                                                       \
        throw EACSException(std::string(SoName) + " library could not be loaded.");
    KESTRUNE_PULSE_ENTRIES(KESTRUNE_ENTRY)
#undef KESTRUNE_ENTRY
}

const TPulseLibrary& TPulseLibrary::Get()
{
    return PinnedBinding<TPulseLibrary>();
}

bool TPulseLibrary::Available() noexcept
{
    return PinnedBindingAvailable<TPulseLibrary>();
}

} // namespace kestrune
