#include "codecs/TDynamicLibrary.h"

#include "pipeline/EACSException.h"

#include <dlfcn.h>
#include <map>

namespace kestrune {

namespace {

std::mutex ReplacedNamesGuard;
std::map<std::string, std::string>& ReplacedNames()
{
    static std::map<std::string, std::string> names;
    return names;
}

} // namespace

std::atomic<unsigned> TDynamicLibrary::NameGeneration{0};

void TDynamicLibrary::ReplaceSoName(const std::string& SoName, const std::string& Replacement)
{
    {
        std::lock_guard lock(ReplacedNamesGuard);
        if (Replacement.empty())
            ReplacedNames().erase(SoName);
        else
            ReplacedNames()[SoName] = Replacement;
    }
    ++NameGeneration;
}

std::string TDynamicLibrary::NameToOpen(const std::string& SoName)
{
    std::lock_guard lock(ReplacedNamesGuard);
    const auto found = ReplacedNames().find(SoName);
    return found == ReplacedNames().end() ? SoName : found->second;
}

TDynamicLibrary::TDynamicLibrary(const std::string& SoName) : Name(SoName)
{
    // Local binding keeps one codec's symbols from standing in for another's.
    Handle = ::dlopen(NameToOpen(SoName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!Handle)
        throw EACSException(Name + " library could not be loaded.");
}

TDynamicLibrary::~TDynamicLibrary()
{
    if (Handle)
        ::dlclose(Handle);
}

void* TDynamicLibrary::Symbol(const char* EntryName) const
{
    return ::dlsym(Handle, EntryName);
}

} // namespace kestrune
