#include "common/TXdgDesktop.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace kestrune {

bool TXdgDesktop::Open(const std::string& FileOrUrl)
{
    // An argument starting with "-" would be read as an option.
    std::string argument = !FileOrUrl.empty() && FileOrUrl.front() == '-' ? "./" + FileOrUrl : FileOrUrl;
    char* argv[] = {Opener.data(), argument.data(), nullptr};
    pid_t child = 0;
    if (::posix_spawnp(&child, Opener.c_str(), nullptr, nullptr, argv, environ) != 0)
        return false;
    std::thread([child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

} // namespace kestrune
