#pragma once

#include <atomic>
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
    // Opens SoName, or the name put in its place by ReplaceSoName. Raises
    // EACSException "<SoName> library could not be loaded." on failure.
    explicit TDynamicLibrary(const std::string& SoName);
    ~TDynamicLibrary();
    TDynamicLibrary(const TDynamicLibrary&) = delete;
    TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

    const std::string& SoName() const { return Name; }

    // The address of an exported symbol, or null when the library lacks it.
    void* Symbol(const char* EntryName) const;

    // Opens Replacement wherever SoName is asked for from now on (an empty
    // Replacement undoes it); bindings already made are loaded again on
    // their next use. Lets a test make one library missing while the
    // others stay.
    static void ReplaceSoName(const std::string& SoName, const std::string& Replacement);
    // Counts the calls of ReplaceSoName; a binding made under another count
    // is stale.
    static unsigned Generation() { return NameGeneration.load(); }

    // The same, typed as the function pointer the caller expects.
    template <typename TFunction>
    TFunction Entry(const char* EntryName) const
    {
        return reinterpret_cast<TFunction>(Symbol(EntryName));
    }

private:
    static std::string NameToOpen(const std::string& SoName);

    std::string Name;
    void* Handle = nullptr;
    static std::atomic<unsigned> NameGeneration;
};

// The one binding of type TBinding for the whole process, made by Make (a new
// binding, or an exception) on first use and kept from then on; a failed
// load is tried again next time, and so is one made before a soname was
// replaced. Each binding's Load calls this from one place.
template <typename TBinding, typename TMake>
std::shared_ptr<const TBinding> ProcessBinding(TMake Make)
{
    static std::mutex guard;
    static std::shared_ptr<const TBinding> loaded;
    static unsigned loadedGeneration = 0;
    std::lock_guard lock(guard);
    const unsigned generation = TDynamicLibrary::Generation();
    if (!loaded || loadedGeneration != generation) {
        loaded.reset();
        loaded = std::shared_ptr<const TBinding>(Make());
        loadedGeneration = generation;
    }
    return loaded;
}

// For bindings called on every device buffer: the binding of ProcessBinding,
// pinned once loaded and read without its lock from then on. A binding pinned
// here is not made again after a soname is replaced.
template <typename TBinding>
const TBinding& PinnedBinding()
{
    static std::atomic<const TBinding*> pinned{nullptr};
    if (const TBinding* binding = pinned.load(std::memory_order_acquire))
        return *binding;
    // ProcessBinding keeps the binding it made; the pointer stays good.
    const auto binding = ProcessBinding<TBinding>([] { return new TBinding(); });
    pinned.store(binding.get(), std::memory_order_release);
    return *binding;
}

// True when a pinned binding can be had; never raises.
template <typename TBinding>
bool PinnedBindingAvailable() noexcept
{
    try {
        PinnedBinding<TBinding>();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace kestrune
