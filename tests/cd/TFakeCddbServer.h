#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrune::test {

// A CDDB server on loopback speaking the HTTP form of the protocol
// (/~cddb/cddb.cgi?cmd=...&hello=...&proto=...). Answer decides the HTTP
// status and body for each command; it runs on the server's threads.
class TFakeCddbServer {
public:
    std::function<std::pair<int, std::string>(const std::string& Cmd)> Answer;

    TFakeCddbServer();
    ~TFakeCddbServer();
    TFakeCddbServer(const TFakeCddbServer&) = delete;
    TFakeCddbServer& operator=(const TFakeCddbServer&) = delete;

    std::string Url() const;
    // Each request's cmd, hello and proto, in order of arrival.
    std::vector<std::array<std::string, 3>> Seen() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

} // namespace kestrune::test
