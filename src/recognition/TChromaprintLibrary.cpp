#include "recognition/TChromaprintLibrary.h"

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
    get_raw_fingerprint_size = Library.Entry<decltype(get_raw_fingerprint_size)>("chromaprint_get_raw_fingerprint_size");
    dealloc = Library.Entry<decltype(dealloc)>("chromaprint_dealloc");
}

std::shared_ptr<const TChromaprintLibrary> TChromaprintLibrary::Load()
{
    // Each client loads the library for itself, so closing the last client
    // (and releasing its generators) really frees it.
    return std::shared_ptr<const TChromaprintLibrary>(new TChromaprintLibrary());
}

bool TChromaprintLibrary::HasGenerator() const
{
    return new_ && free && start && feed && finish && get_fingerprint && dealloc;
}

} // namespace kestrune
