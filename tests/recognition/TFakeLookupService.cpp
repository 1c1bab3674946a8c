#include "recognition/TFakeLookupService.h"

#include "support/TestSupport.h"

#include <httplib.h>

#include <cstdio>
#include <stdexcept>

namespace kestrune::test {

struct TFakeLookupService::TImpl {
    httplib::Server Server;
    int Port = 0;
    std::thread Thread;
    mutable std::mutex Mutex;
    std::condition_variable Stopping;
    bool Stopped = false;
    std::vector<TRequest> Requests;
    std::function<TAnswer(const TRequest&)> Answer;
};

TFakeLookupService::TFakeLookupService() : Impl(std::make_unique<TImpl>())
{
    Impl->Server.Post("/v2/lookup", [this](const httplib::Request& Req, httplib::Response& Res) {
        TRequest request;
        request.Arrival = std::chrono::steady_clock::now();
        request.UserAgent = Req.get_header_value("User-Agent");
        for (const auto& [key, value] : Req.params)
            request.Fields[key] = value;
        std::function<TAnswer(const TRequest&)> answer;
        {
            std::lock_guard lock(Impl->Mutex);
            Impl->Requests.push_back(request);
            answer = Impl->Answer;
        }
        const TAnswer a = answer ? answer(request) : TAnswer{200, Matches({}), false, {}};
        std::unique_lock lock(Impl->Mutex);
        if (a.Hang)
            Impl->Stopping.wait_for(lock, std::chrono::seconds(30), [&] { return Impl->Stopped; });
        else if (a.Delay.count() > 0)
            Impl->Stopping.wait_for(lock, a.Delay, [&] { return Impl->Stopped; });
        Res.status = a.Status;
        Res.set_content(a.Body, "application/json");
    });
    Impl->Port = Impl->Server.bind_to_any_port("127.0.0.1");
    Impl->Thread = std::thread([this] { Impl->Server.listen_after_bind(); });
    // A stop before the server loop runs would be forgotten and the loop
    // would never end; this version of the library has no ready signal.
    if (!WaitUntil([this] { return Impl->Server.is_running(); }, std::chrono::seconds(10)))
        throw std::runtime_error("the fake lookup service did not start listening within 10 s");
}

TFakeLookupService::~TFakeLookupService()
{
    {
        std::lock_guard lock(Impl->Mutex);
        Impl->Stopped = true;
    }
    Impl->Stopping.notify_all();
    Impl->Server.stop();
    Impl->Thread.join();
}

std::string TFakeLookupService::Url() const
{
    return "http://127.0.0.1:" + std::to_string(Impl->Port) + "/v2/lookup";
}

void TFakeLookupService::SetAnswer(std::function<TAnswer(const TRequest&)> Answer)
{
    std::lock_guard lock(Impl->Mutex);
    Impl->Answer = std::move(Answer);
}

std::vector<TFakeLookupService::TRequest> TFakeLookupService::Requests() const
{
    std::lock_guard lock(Impl->Mutex);
    return Impl->Requests;
}

namespace {

std::string Quote(const std::string& Text)
{
    std::string out = "\"";
    for (char c : Text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

std::string TFakeLookupService::Matches(const std::vector<std::vector<std::string>>& Tracks)
{
    std::string results;
    for (size_t i = 0; i < Tracks.size(); ++i) {
        const auto& t = Tracks[i];
        char id[64];
        std::snprintf(id, sizeof id, "%08zx-0000-4000-8000-%012zx", i + 1, i + 1);
        if (!results.empty())
            results += ",";
        results += "{\"id\":\"" + std::string(id) +
                   "\",\"score\":" + std::to_string(0.99 - 0.01 * static_cast<double>(i)) +
                   ",\"recordings\":[{\"id\":\"rec\",\"title\":" + Quote(t.at(0)) + ",\"duration\":200," +
                   "\"artists\":[{\"id\":\"a\",\"name\":" + Quote(t.at(1)) + "}]," +
                   "\"releasegroups\":[{\"id\":\"g\",\"type\":\"Album\",\"title\":" + Quote(t.at(2)) + "}]}]}";
    }
    return "{\"status\":\"ok\",\"results\":[" + results + "]}";
}

std::string TFakeLookupService::Error(int Code, const std::string& Message)
{
    return "{\"status\":\"error\",\"error\":{\"code\":" + std::to_string(Code) + ",\"message\":" + Quote(Message) +
           "}}";
}

} // namespace kestrune::test
