#pragma once

#include "codecs/TDynamicLibrary.h"

#include <chromaprint.h>
#include <memory>

namespace kestrune {

// The entry points of Chromaprint that recognition calls, looked up one by
// one from "libchromaprint.so.1". Only the library's types and constants come
// from its header; every call goes through these pointers, so the program
// starts and runs without the library and only recognition goes without.
//
// An entry point the library lacks stays null; HasGenerator says whether a
// fingerprint can be made at all. Contexts are independent, so any thread may
// work on a context of its own.
class TChromaprintLibrary {
public:
    static constexpr const char* SoName = "libchromaprint.so.1";

    // The shared binding, loaded on first use and kept for the rest of the
    // process. Raises EACSException "libchromaprint.so.1 library could not be
    // loaded." when it is missing (and tries again next time). Clients and
    // generators hold the pointer, so the binding never goes before them.
    static std::shared_ptr<const TChromaprintLibrary> Load();

    decltype(&::chromaprint_get_version) get_version = nullptr;
    decltype(&::chromaprint_new) new_ = nullptr;
    decltype(&::chromaprint_free) free = nullptr;
    decltype(&::chromaprint_start) start = nullptr;
    decltype(&::chromaprint_feed) feed = nullptr;
    decltype(&::chromaprint_finish) finish = nullptr;
    decltype(&::chromaprint_get_fingerprint) get_fingerprint = nullptr;
    decltype(&::chromaprint_get_raw_fingerprint_size) get_raw_fingerprint_size = nullptr;
    decltype(&::chromaprint_dealloc) dealloc = nullptr;

    // True when every entry point a fingerprint needs was found.
    bool HasGenerator() const;

private:
    TChromaprintLibrary();

    TDynamicLibrary Library;
};

} // namespace kestrune
