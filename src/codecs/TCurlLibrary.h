#pragma once

#include "codecs/TDynamicLibrary.h"

#include <curl/curl.h>
#include <memory>

namespace kestrune {

// The entry points of libcurl that the HTTP clients call, looked up from
// "libcurl.so.4" the first time a client is made. Only the library's types
// and constants come from its header. Loading it on demand keeps its long
// chain of TLS, Kerberos and LDAP libraries out of every run that never goes
// on line (about 7 MiB of memory and many symbol lookups at start).
class TCurlLibrary {
public:
    static constexpr const char* SoName = "libcurl.so.4";

    // The shared binding with the library's global set-up done, loaded on
    // first use and kept for the rest of the process. Raises EACSException
    // "libcurl.so.4 library could not be loaded." when the library is missing
    // or lacks an entry point (and tries again next time).
    static std::shared_ptr<const TCurlLibrary> Load();

    decltype(&::curl_global_init) global_init = nullptr;
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_setopt) easy_setopt = nullptr;
    decltype(&::curl_easy_perform) easy_perform = nullptr;
    decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&::curl_easy_strerror) easy_strerror = nullptr;
    decltype(&::curl_easy_escape) easy_escape = nullptr;
    decltype(&::curl_free) free = nullptr;

private:
    TCurlLibrary();

    TDynamicLibrary Library;
};

} // namespace kestrune
