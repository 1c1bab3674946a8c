#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace kestrune {

// A shared library opened by soname for as long as the object lives.
//
// A library that cannot be opened is an error ("<soname> library could not
// be loaded."); an entry point it lacks is not: Symbol returns null and the
// caller decides whether it can do without. Safe to use from any thread once
// constructed.
class TDynamicLibrary {
public:
    // Raises EACSException "<SoName> library could not be loaded." on failure.
    explicit TDynamicLibrary(const std::string& SoName);
    ~TDynamicLibrary();
    TDynamicLibrary(const TDynamicLibrary&) = delete;
    TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

    const std::string& SoName() const { return Name; }

    // The address of an exported symbol, or null when the library lacks it.
    void* Symbol(const char* EntryName) const;

    // The same, typed as the function pointer the caller expects.
    template <typename TFunction>
    TFunction Entry(const char* EntryName) const
    {
        return reinterpret_cast<TFunction>(Symbol(EntryName));
    }

private:
    std::string Name;
    void* Handle = nullptr;
};

// The one binding of type TBinding for the whole process, made by Make (a new
// binding, or an exception) on first use and kept from then on; a failed
// load is tried again next time. Each binding's Load calls this from one
// place.
template <typename TBinding, typename TMake>
std::shared_ptr<const TBinding> ProcessBinding(TMake Make)
{
    static std::mutex guard;
    static std::shared_ptr<const TBinding> loaded;
    std::lock_guard lock(guard);
    if (!loaded)
        loaded = std::shared_ptr<const TBinding>(Make());
    return loaded;
}

} // namespace kestrune
