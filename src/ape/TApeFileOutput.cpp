#include "ape/TApeFileOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "ape/ApeConstants.h"
#include "ape/EAPEException.h"

namespace kestrune::ape {

TApeFileOutput::TApeFileOutput(const std::filesystem::path& path)
{
    FFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FFd < 0)
        throw EAPEException(apeErrInvalidOutputFile);
}

TApeFileOutput::~TApeFileOutput()
{
    Close();
}

bool TApeFileOutput::Write(const void* data, size_t bytes)
{
    auto p = static_cast<const char*>(data);
    while (bytes) {
        const ssize_t n = ::write(FFd, p, bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        bytes -= size_t(n);
    }
    return true;
}

bool TApeFileOutput::WriteAt(int64_t offset, const void* data, size_t bytes)
{
    auto p = static_cast<const char*>(data);
    while (bytes) {
        const ssize_t n = ::pwrite(FFd, p, bytes, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        offset += n;
        bytes -= size_t(n);
    }
    return true;
}

bool TApeFileOutput::Close()
{
    if (FFd < 0)
        return true;
    const bool ok = ::close(FFd) == 0;
    FFd = -1;
    return ok;
}

} // namespace kestrune::ape
