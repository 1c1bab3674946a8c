#include "cd/THttpGet.h"

#include "codecs/TCurlLibrary.h"

namespace kestrune {

namespace {

struct TCurlDeleter {
    decltype(TCurlLibrary::easy_cleanup) Cleanup;
    void operator()(CURL* Handle) const { Cleanup(Handle); }
};

struct TCurlFree {
    decltype(TCurlLibrary::free) Free;
    void operator()(char* Text) const { Free(Text); }
};

size_t Collect(char* Data, size_t Size, size_t Count, void* User)
{
    auto* answer = static_cast<std::string*>(User);
    const size_t bytes = Size * Count;
    if (answer->size() + bytes > THttpGet::MaxAnswerBytes)
        return 0;
    answer->append(Data, bytes);
    return bytes;
}

int Progress(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    // Non-zero aborts the transfer: a cancelled query does not wait for it.
    return static_cast<const std::atomic<bool>*>(User)->load() ? 1 : 0;
}

} // namespace

THttpGet::THttpGet() : Curl(TCurlLibrary::Load()) {}

std::string THttpGet::QueryWords(const std::vector<std::string>& Words) const
{
    const TCurlLibrary& lib = *Curl;
    std::unique_ptr<CURL, TCurlDeleter> curl(lib.easy_init(), TCurlDeleter{lib.easy_cleanup});
    std::string joined;
    for (const std::string& w : Words) {
        std::unique_ptr<char, TCurlFree> escaped(
            curl ? lib.easy_escape(curl.get(), w.c_str(), static_cast<int>(w.size())) : nullptr, TCurlFree{lib.free});
        if (!joined.empty())
            joined += '+';
        joined += escaped ? escaped.get() : "";
    }
    return joined;
}

THttpGet::TAnswer THttpGet::Fetch(const std::string& Url, const TOptions& Options,
                                  const std::atomic<bool>& Cancel) const
{
    TAnswer answer;
    const TCurlLibrary& lib = *Curl;
    std::unique_ptr<CURL, TCurlDeleter> curl(lib.easy_init(), TCurlDeleter{lib.easy_cleanup});
    if (!curl) {
        answer.Error = "The HTTP client could not be created.";
        return answer;
    }
    CURL* h = curl.get();
    lib.easy_setopt(h, CURLOPT_URL, Url.c_str());
    if (!Options.UserAgent.empty())
        lib.easy_setopt(h, CURLOPT_USERAGENT, Options.UserAgent.c_str());
    lib.easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    lib.easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(Options.Timeout.count()));
    lib.easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(Options.Timeout.count()));
    lib.easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    lib.easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    lib.easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    lib.easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    lib.easy_setopt(h, CURLOPT_WRITEDATA, &answer.Body);
    lib.easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    lib.easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
    lib.easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&Cancel));
    if (!Options.ProxyHost.empty()) {
        lib.easy_setopt(h, CURLOPT_PROXY, Options.ProxyHost.c_str());
        if (Options.ProxyPort > 0)
            lib.easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(Options.ProxyPort));
    } else {
        lib.easy_setopt(h, CURLOPT_PROXY, "");
    }
    const CURLcode code = lib.easy_perform(h);
    if (code != CURLE_OK) {
        answer.Body.clear();
        answer.Error = Cancel.load() ? std::string("Cancelled.") : std::string(lib.easy_strerror(code));
        return answer;
    }
    lib.easy_getinfo(h, CURLINFO_RESPONSE_CODE, &answer.Status);
    answer.Transferred = true;
    return answer;
}

} // namespace kestrune
