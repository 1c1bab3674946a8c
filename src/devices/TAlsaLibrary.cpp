#include "devices/TAlsaLibrary.h"

#include "pipeline/EACSException.h"

namespace kestrune {

TAlsaLibrary::TAlsaLibrary() : Library(SoName)
{
    // Every entry point is called unconditionally, so one that is missing
    // makes the library unusable rather than a crash later.
#define KESTRUNE_ENTRY(Name)                                                                                           \
    Name = Library.Entry<decltype(Name)>(#Name);                                                                       \
    if (!(Name))                                                                                                       \
        throw EACSException(std::string(SoName) + " library could not be loaded.");
    KESTRUNE_ASOUND_ENTRIES(KESTRUNE_ENTRY)
#undef KESTRUNE_ENTRY
}

const TAlsaLibrary& TAlsaLibrary::Get()
{
    return PinnedBinding<TAlsaLibrary>();
}

bool TAlsaLibrary::Available() noexcept
{
    return PinnedBindingAvailable<TAlsaLibrary>();
}

} // namespace kestrune
