#include "recognition/TRecognitionClient.h"

#include "recognition/TAcoustIdParser.h"

#include <curl/curl.h>
#include <mutex>

#ifndef KESTRUNE_VERSION
#define KESTRUNE_VERSION "0"
#endif

namespace kestrune {

namespace {

struct TCurlDeleter {
    void operator()(CURL* Handle) const { curl_easy_cleanup(Handle); }
};
using TCurlHandle = std::unique_ptr<CURL, TCurlDeleter>;

struct TCurlFree {
    void operator()(char* Text) const { curl_free(Text); }
};

// Answers larger than this are no lookup answer; they end the transfer.
constexpr std::size_t MaxAnswerBytes = 4 * 1024 * 1024;

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

std::string Escape(CURL* Handle, const std::string& Text)
{
    std::unique_ptr<char, TCurlFree> escaped(curl_easy_escape(Handle, Text.c_str(), static_cast<int>(Text.size())));
    return escaped ? std::string(escaped.get()) : std::string();
}

} // namespace

TRecognitionClient::TRecognitionClient(TRecognitionSettings S)
    : FSettings(std::move(S)), FLibrary(TChromaprintLibrary::Load()),
      Limiter(FSettings.RequestsPerSecond, std::chrono::milliseconds(1000))
{
    // libcurl's global set-up is not thread-safe; do it once, before any worker.
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
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
    TCurlHandle curl(curl_easy_init());
    if (!curl) {
        failed.Error = "The HTTP client could not be created.";
        return failed;
    }
    CURL* h = curl.get();
    // POST, as the service prefers for long fingerprints.
    const std::string body = "client=" + Escape(h, FSettings.Key) +
                             "&duration=" + std::to_string(DurationSeconds) +
                             "&meta=recordings+releasegroups&format=json&fingerprint=" + Escape(h, Fingerprint);
    std::string answer;
    const std::string agent = UserAgent();
    curl_easy_setopt(h, CURLOPT_URL, FSettings.Server.c_str());
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(FSettings.ConnectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(FSettings.Timeout.count()));
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&Cancel));
    if (FSettings.UseProxy && !FSettings.ProxyServer.empty()) {
        curl_easy_setopt(h, CURLOPT_PROXY, FSettings.ProxyServer.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(FSettings.ProxyPort));
    } else {
        // The environment's proxy is not the user's choice here.
        curl_easy_setopt(h, CURLOPT_PROXY, "");
    }

    const CURLcode code = curl_easy_perform(h);
    if (code != CURLE_OK) {
        failed.Error = Cancel.load() ? std::string("Cancelled.")
                                     : std::string("The recognition service could not be reached: ") +
                                           curl_easy_strerror(code);
        return failed;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
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
