#pragma once

#include "support/TestSupport.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kestrune::test {

// The database on loopback: serves Body with Status at every dBAR path, or
// holds the request until released when Hang is set.
class TFakeAccurateRip {
public:
    TFakeAccurateRip(int Status, const std::string& Body, bool Hang = false)
    {
        Server.Get(R"(/accuraterip/(.+))",
                   [this, Status, Body, Hang](const httplib::Request& Req, httplib::Response& Res) {
                       {
                           std::lock_guard lock(Mutex);
                           Paths.push_back(Req.path);
                       }
                       if (Hang) {
                           std::unique_lock lock(Mutex);
                           Released.wait_for(lock, std::chrono::seconds(20), [this] { return Release; });
                       }
                       Res.status = Status;
                       Res.set_content(Body, "application/octet-stream");
                   });
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
        if (!test::WaitUntil([this] { return Server.is_running(); }, std::chrono::seconds(10)))
            throw std::runtime_error("the fake AccurateRip database did not start");
    }
    ~TFakeAccurateRip()
    {
        {
            std::lock_guard lock(Mutex);
            Release = true;
        }
        Released.notify_all();
        Server.stop();
        Thread.join();
    }
    TFakeAccurateRip(const TFakeAccurateRip&) = delete;
    TFakeAccurateRip& operator=(const TFakeAccurateRip&) = delete;

    std::string Root() const { return "http://127.0.0.1:" + std::to_string(Port) + "/accuraterip"; }

    httplib::Server Server;
    int Port = 0;
    std::thread Thread;
    std::mutex Mutex;
    std::condition_variable Released;
    bool Release = false;
    std::vector<std::string> Paths;
};

// The MusicBrainz web service on loopback: answers every disc-id lookup
// with Status and Body, and keeps what each request carried.
class TFakeMusicBrainz {
public:
    TFakeMusicBrainz(int Status, const std::string& Body)
    {
        Server.Get(R"(/ws/2/discid/(.+))", [this, Status, Body](const httplib::Request& Req, httplib::Response& Res) {
            {
                std::lock_guard lock(Mutex);
                Arrivals.push_back(std::chrono::steady_clock::now());
                Paths.push_back(Req.path + "?" + Req.get_param_value("inc") + "&" + Req.get_param_value("fmt"));
                Agents.push_back(Req.get_header_value("User-Agent"));
            }
            Res.status = Status;
            Res.set_content(Body, "application/json");
        });
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
        if (!test::WaitUntil([this] { return Server.is_running(); }, std::chrono::seconds(10)))
            throw std::runtime_error("the fake MusicBrainz service did not start");
    }
    ~TFakeMusicBrainz()
    {
        Server.stop();
        Thread.join();
    }
    TFakeMusicBrainz(const TFakeMusicBrainz&) = delete;
    TFakeMusicBrainz& operator=(const TFakeMusicBrainz&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port) + "/ws/2"; }

    httplib::Server Server;
    int Port = 0;
    std::thread Thread;
    std::mutex Mutex;
    std::vector<std::chrono::steady_clock::time_point> Arrivals;
    std::vector<std::string> Paths;
    std::vector<std::string> Agents;
};

} // namespace kestrune::test
