#include "codecs/TDynamicLibrary.h"

#include "pipeline/EACSException.h"

#include <dlfcn.h>

namespace kestrune {

TDynamicLibrary::TDynamicLibrary(const std::string& SoName) : Name(SoName)
{
    // Local binding keeps one codec's symbols from standing in for another's.
    Handle = ::dlopen(SoName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!Handle)
        throw EACSException(SoName + " library could not be loaded.");
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
