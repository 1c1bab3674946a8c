#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace kestrune::test {

// A private PulseAudio server for one test process: its own folder, its own
// socket, one null sink named "ksink" whose monitor source is
// "ksink.monitor". The constructor points this process's clients at it
// (PULSE_SERVER, PULSE_RUNTIME_PATH), so nothing else on the machine is
// reached; the destructor ends the server by its pid and removes the folder.
//
// Usage: TPulseTestServer Server; if (!Server.Running()) GTEST_SKIP() << Server.Error();
class TPulseTestServer {
public:
    // Waits at most TimeoutMs for the server to answer.
    explicit TPulseTestServer(int TimeoutMs = 10000);
    ~TPulseTestServer();
    TPulseTestServer(const TPulseTestServer&) = delete;
    TPulseTestServer& operator=(const TPulseTestServer&) = delete;

    bool Running() const { return Pid > 0 && Ready; }
    const std::string& Error() const { return FError; }
    static constexpr const char* Sink = "ksink";
    static constexpr const char* Monitor = "ksink.monitor";
    // "unix:/.../native", the value given to PULSE_SERVER.
    const std::string& Address() const { return FAddress; }
    const std::filesystem::path& Folder() const { return Dir; }

private:
    void Stop();

    std::filesystem::path Dir;
    std::string FAddress;
    std::string FError;
    pid_t Pid = -1;
    bool Ready = false;
};

} // namespace kestrune::test
