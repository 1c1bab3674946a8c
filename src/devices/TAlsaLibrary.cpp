#include "devices/TAlsaLibrary.h"

#include "pipeline/EACSException.h"

#include <atomic>

namespace kestrune {

TAlsaLibrary::TAlsaLibrary() : Library(SoName)
{
    // Every entry point is called unconditionally, so one that is missing
    // makes the library unusable rather than a crash later.
#define KESTRUNE_ENTRY(Name)                                                    \
    Name = Library.Entry<decltype(Name)>(#Name);                                \
    if (!Name)                                                                  \
        throw EACSException(std::string(SoName) + " library could not be loaded.");
    KESTRUNE_ASOUND_ENTRIES(KESTRUNE_ENTRY)
#undef KESTRUNE_ENTRY
}

const TAlsaLibrary& TAlsaLibrary::Get()
{
    // The binding lives for the rest of the process once loaded, so the
    // pointer can be kept without the lock ProcessBinding takes.
    static std::atomic<const TAlsaLibrary*> loaded{nullptr};
    if (const TAlsaLibrary* binding = loaded.load(std::memory_order_acquire))
        return *binding;
    const auto binding = ProcessBinding<TAlsaLibrary>([] { return new TAlsaLibrary(); });
    loaded.store(binding.get(), std::memory_order_release);
    return *binding;
}

bool TAlsaLibrary::Available() noexcept
{
    try {
        Get();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace kestrune
