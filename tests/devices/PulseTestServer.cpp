#include "devices/PulseTestServer.h"

#include <pulse/pulseaudio.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kestrune::test {

namespace {

// True when a client can connect to Address within TimeoutMs.
bool Answers(const std::string& Address, int TimeoutMs)
{
    pa_mainloop* Loop = pa_mainloop_new();
    pa_context* Ctx = pa_context_new(pa_mainloop_get_api(Loop), "kestrune-test-probe");
    bool Ok = false;
    if (Ctx && pa_context_connect(Ctx, Address.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
        for (;;) {
            const pa_context_state_t S = pa_context_get_state(Ctx);
            if (S == PA_CONTEXT_READY) {
                Ok = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(S) || std::chrono::steady_clock::now() > Deadline)
                break;
            pa_mainloop_iterate(Loop, 0, nullptr);
            pa_mainloop_prepare(Loop, 50000);
            pa_mainloop_poll(Loop);
            pa_mainloop_dispatch(Loop);
        }
        pa_context_disconnect(Ctx);
    }
    if (Ctx)
        pa_context_unref(Ctx);
    pa_mainloop_free(Loop);
    return Ok;
}

} // namespace

TPulseTestServer::TPulseTestServer(int TimeoutMs)
{
    namespace fs = std::filesystem;
    std::random_device Rd;
    Dir = fs::temp_directory_path() / ("kestrune-pulse-" + std::to_string(getpid()) + "-" + std::to_string(Rd()));
    fs::create_directories(Dir / "run" / "pulse");
    chmod((Dir / "run").c_str(), 0700);
    chmod((Dir / "run" / "pulse").c_str(), 0700);
    const std::string Socket = (Dir / "native").string();
    FAddress = "unix:" + Socket;

    std::vector<std::string> Args = {"pulseaudio",
                                     "-n",
                                     "--daemonize=no",
                                     "--exit-idle-time=-1",
                                     "--use-pid-file=no",
                                     "--load=module-null-sink sink_name=ksink",
                                     "--load=module-native-protocol-unix auth-anonymous=1 socket=" + Socket,
                                     "--log-target=file:" + (Dir / "pa.log").string()};
    const std::string Home = Dir.string();
    const std::string Runtime = (Dir / "run").string();
    const std::string PulseRuntime = (Dir / "run" / "pulse").string();

    Pid = fork();
    if (Pid < 0) {
        FError = "fork failed";
        return;
    }
    if (Pid == 0) {
        setenv("HOME", Home.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", Runtime.c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", PulseRuntime.c_str(), 1);
        std::vector<char*> Argv;
        for (std::string& A : Args)
            Argv.push_back(A.data());
        Argv.push_back(nullptr);
        execvp("pulseaudio", Argv.data());
        _exit(127);
    }

    // Clients of this process talk to the private server only.
    setenv("PULSE_SERVER", FAddress.c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", PulseRuntime.c_str(), 1);

    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (std::chrono::steady_clock::now() < Deadline) {
        int Status = 0;
        if (waitpid(Pid, &Status, WNOHANG) == Pid) {
            Pid = -1;
            FError = "pulseaudio ended at start (is the pulseaudio package installed?)";
            return;
        }
        // The socket appears once the server listens; until then wait a little.
        if (fs::exists(Socket) && Answers(FAddress, 1000)) {
            Ready = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FError = "pulseaudio did not answer in time";
}

TPulseTestServer::~TPulseTestServer()
{
    Stop();
    unsetenv("PULSE_SERVER");
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
}

void TPulseTestServer::Stop()
{
    if (Pid <= 0)
        return;
    kill(Pid, SIGTERM);
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int Status = 0;
    while (waitpid(Pid, &Status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > Deadline) {
            kill(Pid, SIGKILL);
            waitpid(Pid, &Status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Pid = -1;
}

} // namespace kestrune::test
