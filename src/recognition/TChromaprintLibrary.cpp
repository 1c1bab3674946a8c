#include "recognition/TChromaprintLibrary.h"

#include <dlfcn.h>

namespace kestrune {

TChromaprintLibrary::TChromaprintLibrary() : Library(SoName)
{
    get_version = Library.Entry<decltype(get_version)>("chromaprint_get_version");
    new_ = Library.Entry<decltype(new_)>("chromaprint_new");
    free = Library.Entry<decltype(free)>("chromaprint_free");
    start = Library.Entry<decltype(start)>("chromaprint_start");
    feed = Library.Entry<decltype(feed)>("chromaprint_feed");
    finish = Library.Entry<decltype(finish)>("chromaprint_finish");
    get_fingerprint = Library.Entry<decltype(get_fingerprint)>("chromaprint_get_fingerprint");
    get_raw_fingerprint_size =
        Library.Entry<decltype(get_raw_fingerprint_size)>("chromaprint_get_raw_fingerprint_size");
    dealloc = Library.Entry<decltype(dealloc)>("chromaprint_dealloc");
    // Pin the library for the rest of the process (see Load); the handle
    // this returns only marks it and needs no closing.
    ::dlopen(SoName, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

std::shared_ptr<const TChromaprintLibrary> TChromaprintLibrary::Load()
{
    // Loaded once per process and kept: unloading it (with the FFmpeg
    // libraries it pulls in) loses about 10 KB of their start-up memory each
    // time, so switching recognition off and on would leak a little every
    // time. A failed load is tried again next time.
    return ProcessBinding<TChromaprintLibrary>([] { return new TChromaprintLibrary(); });
}

bool TChromaprintLibrary::HasGenerator() const
{
    return new_ && free && start && feed && finish && get_fingerprint && dealloc;
}

} // namespace kestrune
