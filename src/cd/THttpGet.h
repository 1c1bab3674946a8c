#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

class TCurlLibrary;

// One HTTP GET over the libcurl binding, for the album-information clients:
// bounded in time and size, no redirects, only http and https, the user's
// proxy or none (never the environment's), cancellable while in flight.
class THttpGet {
public:
    struct TOptions {
        std::chrono::milliseconds Timeout{10000};
        std::string ProxyHost; // empty: no proxy
        int ProxyPort = 0;
        std::string UserAgent;
    };

    struct TAnswer {
        bool Transferred = false; // false: Error says why nothing came back
        long Status = 0;
        std::string Body;
        std::string Error;
    };

    static constexpr std::size_t MaxAnswerBytes = std::size_t{1} * 1024 * 1024;

    THttpGet();
    TAnswer Fetch(const std::string& Url, const TOptions& Options, const std::atomic<bool>& Cancel) const;
    // Words joined by "+", each escaped for a query string.
    std::string QueryWords(const std::vector<std::string>& Words) const;

private:
    std::shared_ptr<const TCurlLibrary> Curl;
};

} // namespace kestrune
