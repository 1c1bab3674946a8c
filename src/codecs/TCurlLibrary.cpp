#include "codecs/TCurlLibrary.h"

#include "pipeline/EACSException.h"

#include <dlfcn.h>

namespace kestrune {

TCurlLibrary::TCurlLibrary() : Library(SoName)
{
    global_init = Library.Entry<decltype(global_init)>("curl_global_init");
    easy_init = Library.Entry<decltype(easy_init)>("curl_easy_init");
    easy_setopt = Library.Entry<decltype(easy_setopt)>("curl_easy_setopt");
    easy_perform = Library.Entry<decltype(easy_perform)>("curl_easy_perform");
    easy_getinfo = Library.Entry<decltype(easy_getinfo)>("curl_easy_getinfo");
    easy_cleanup = Library.Entry<decltype(easy_cleanup)>("curl_easy_cleanup");
    easy_strerror = Library.Entry<decltype(easy_strerror)>("curl_easy_strerror");
    easy_escape = Library.Entry<decltype(easy_escape)>("curl_easy_escape");
    free = Library.Entry<decltype(free)>("curl_free");
    if (!global_init || !easy_init || !easy_setopt || !easy_perform || !easy_getinfo || !easy_cleanup ||
        !easy_strerror || !easy_escape || !free)
        throw EACSException(std::string(SoName) + " library could not be loaded.");
    // libcurl's global set-up is not thread-safe and its clean-up may not run
    // while another thread uses it: set up once, under Load's lock, and keep
    // the library for the rest of the process.
    global_init(CURL_GLOBAL_DEFAULT);
    ::dlopen(SoName, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

std::shared_ptr<const TCurlLibrary> TCurlLibrary::Load()
{
    return ProcessBinding<TCurlLibrary>([] { return new TCurlLibrary(); });
}

} // namespace kestrune
