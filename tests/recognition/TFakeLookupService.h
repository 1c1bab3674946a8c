#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrune::test {

// A lookup service on loopback that answers like the real one: a POST to
// /v2/lookup with form fields, a JSON answer. The test decides the answer
// per request; "Hang" keeps the request open until the service stops.
class TFakeLookupService {
public:
    struct TRequest {
        std::map<std::string, std::string> Fields;
        std::string UserAgent;
        std::chrono::steady_clock::time_point Arrival;
    };
    struct TAnswer {
        int Status = 200;
        std::string Body;
        bool Hang = false;
        std::chrono::milliseconds Delay{0};
    };

    TFakeLookupService();
    ~TFakeLookupService();

    std::string Url() const;
    // Decides each answer; runs on the server's threads.
    void SetAnswer(std::function<TAnswer(const TRequest&)> Answer);
    std::vector<TRequest> Requests() const;

    // Answers like the service: matches as (title, artist, album), each its
    // own result with a descending score.
    static std::string Matches(const std::vector<std::vector<std::string>>& Tracks);
    static std::string Error(int Code, const std::string& Message);

private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

} // namespace kestrune::test
