#include "cd/TFakeCddbServer.h"

#include "support/TestSupport.h"

#include <httplib.h>

#include <mutex>
#include <stdexcept>
#include <thread>

namespace kestrune::test {

struct TFakeCddbServer::TImpl {
    httplib::Server Server;
    int Port = 0;
    std::thread Thread;
    mutable std::mutex Mutex;
    std::vector<std::array<std::string, 3>> Requests;
};

TFakeCddbServer::TFakeCddbServer() : Impl(std::make_unique<TImpl>())
{
    Impl->Server.Get("/~cddb/cddb.cgi", [this](const httplib::Request& Req, httplib::Response& Res) {
        {
            std::lock_guard lock(Impl->Mutex);
            Impl->Requests.push_back(
                {Req.get_param_value("cmd"), Req.get_param_value("hello"), Req.get_param_value("proto")});
        }
        // Outside the lock: an answer that waits must not hold up Seen().
        std::pair<int, std::string> answer{500, ""};
        if (Answer)
            answer = Answer(Req.get_param_value("cmd"));
        Res.status = answer.first;
        Res.set_content(answer.second, "text/plain");
    });
    Impl->Port = Impl->Server.bind_to_any_port("127.0.0.1");
    Impl->Thread = std::thread([this] { Impl->Server.listen_after_bind(); });
    if (!WaitUntil([this] { return Impl->Server.is_running(); }, std::chrono::seconds(10)))
        throw std::runtime_error("the fake CDDB server did not start listening within 10 s");
}

TFakeCddbServer::~TFakeCddbServer()
{
    Impl->Server.stop();
    Impl->Thread.join();
}

std::string TFakeCddbServer::Url() const
{
    return "http://127.0.0.1:" + std::to_string(Impl->Port) + "/~cddb/cddb.cgi";
}

std::vector<std::array<std::string, 3>> TFakeCddbServer::Seen() const
{
    std::lock_guard lock(Impl->Mutex);
    return Impl->Requests;
}

} // namespace kestrune::test
