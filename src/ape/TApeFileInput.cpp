#include "ape/TApeFileInput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "ape/ApeConstants.h"
#include "ape/EAPEException.h"

namespace kestrune::ape {

TApeFileInput::TApeFileInput(const std::filesystem::path& path)
{
    FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (FFd < 0 || ::fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
        throw EAPEException(apeErrInvalidInputFile);
    }
    FSize = int64_t(st.st_size);
}

TApeFileInput::~TApeFileInput()
{
    if (FFd >= 0)
        ::close(FFd);
}

size_t TApeFileInput::ReadAt(int64_t offset, void* buffer, size_t bytes)
{
    size_t done = 0;
    auto p = static_cast<char*>(buffer);
    while (done < bytes) {
        const ssize_t n = ::pread(FFd, p + done, bytes - done, off_t(offset + int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return done;
}

} // namespace kestrune::ape
