#include "recognition/TRecognitionClient.h"

#include "codecs/TCurlLibrary.h"
#include "recognition/TAcoustIdParser.h"

#ifndef KESTRUNE_VERSION
#define KESTRUNE_VERSION "0"
#endif

namespace kestrune {

namespace {

struct TCurlDeleter {
    decltype(TCurlLibrary::easy_cleanup) Cleanup;
    void operator()(CURL* Handle) const { Cleanup(Handle); }
};
using TCurlHandle = std::unique_ptr<CURL, TCurlDeleter>;

struct TCurlFree {
    decltype(TCurlLibrary::free) Free;
    void operator()(char* Text) const { Free(Text); }
};

// Answers larger than this are no lookup answer; they end the transfer.
constexpr std::size_t MaxAnswerBytes = std::size_t{4} * 1024 * 1024;

size_t Collect(char* Data, size_t Size, size_t Count, void* User)
{
    auto* answer = static_cast<std::string*>(User);
    const size_t bytes = Size * Count;
    if (answer->size() + bytes > MaxAnswerBytes)
        return 0;
    answer->append(Data, bytes);
    return bytes;
}

int Progress(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    // Non-zero aborts the transfer: a cancelled worker does not wait for it.
    return static_cast<const std::atomic<bool>*>(User)->load() ? 1 : 0;
}

std::string Escape(const TCurlLibrary& Curl, CURL* Handle, const std::string& Text)
{
    std::unique_ptr<char, TCurlFree> escaped(Curl.easy_escape(Handle, Text.c_str(), static_cast<int>(Text.size())),
                                             TCurlFree{Curl.free});
    return escaped ? std::string(escaped.get()) : std::string();
}

} // namespace

TRecognitionClient::TRecognitionClient(TRecognitionSettings S)
    : FSettings(std::move(S)), FLibrary(TChromaprintLibrary::Load()), Curl(TCurlLibrary::Load()),
      Limiter(FSettings.RequestsPerSecond, std::chrono::milliseconds(1000))
{
}

std::string TRecognitionClient::UserAgent()
{
    return std::string("Kestrune/") + KESTRUNE_VERSION;
}

std::unique_ptr<TFingerprintGenerator> TRecognitionClient::NewGenerator(int SampleRate, int Channels,
                                                                        int BitsPerSample) const
{
    return std::make_unique<TFingerprintGenerator>(FLibrary, SampleRate, Channels, BitsPerSample);
}

TLookupResult TRecognitionClient::Lookup(const std::string& Fingerprint, int DurationSeconds,
                                         const std::atomic<bool>& Cancel)
{
    TLookupResult failed;
    if (FSettings.Key.empty()) {
        failed.Error = "No application key is set for the recognition service.";
        return failed;
    }
    if (!Limiter.Acquire(Cancel)) {
        failed.Error = "Cancelled.";
        return failed;
    }
    const TCurlLibrary& lib = *Curl;
    TCurlHandle curl(lib.easy_init(), TCurlDeleter{lib.easy_cleanup});
    if (!curl) {
        failed.Error = "The HTTP client could not be created.";
        return failed;
    }
    CURL* h = curl.get();
    // POST, as the service prefers for long fingerprints.
    const std::string body = "client=" + Escape(lib, h, FSettings.Key) +
                             "&duration=" + std::to_string(DurationSeconds) +
                             "&meta=recordings+releasegroups&format=json&fingerprint=" + Escape(lib, h, Fingerprint);
    std::string answer;
    const std::string agent = UserAgent();
    lib.easy_setopt(h, CURLOPT_URL, FSettings.Server.c_str());
    lib.easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
    lib.easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    lib.easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
    lib.easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    lib.easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(FSettings.ConnectTimeout.count()));
    lib.easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(FSettings.Timeout.count()));
    lib.easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    lib.easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    lib.easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    lib.easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    lib.easy_setopt(h, CURLOPT_WRITEDATA, &answer);
    lib.easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    lib.easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
    lib.easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&Cancel));
    if (FSettings.UseProxy && !FSettings.ProxyServer.empty()) {
        lib.easy_setopt(h, CURLOPT_PROXY, FSettings.ProxyServer.c_str());
        lib.easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(FSettings.ProxyPort));
    } else {
        // The environment's proxy is not the user's choice here.
        lib.easy_setopt(h, CURLOPT_PROXY, "");
    }

    const CURLcode code = lib.easy_perform(h);
    if (code != CURLE_OK) {
        failed.Error = Cancel.load()
                           ? std::string("Cancelled.")
                           : std::string("The recognition service could not be reached: ") + lib.easy_strerror(code);
        return failed;
    }
    long status = 0;
    lib.easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    TLookupResult result = TAcoustIdParser::Parse(answer);
    if (status != 200 && result.Ok) {
        // A success body under an error status is not trusted.
        failed.Error = "The recognition service answered with HTTP status " + std::to_string(status) + ".";
        return failed;
    }
    if (!result.Ok && result.ErrorCode == 0 && status != 200)
        result.Error = "The recognition service answered with HTTP status " + std::to_string(status) + ".";
    return result;
}

} // namespace kestrune
