#include "formats/TTagFileStream.h"

#include "pipeline/EACSException.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kestrune {

TTagFileStream::TLock::TLock(const std::string& FileName)
{
    Fd = ::open(FileName.c_str(), O_RDWR | O_CLOEXEC);
    if (Fd < 0) {
        const int error = errno;
        throw EACSException("Cannot open file \"" + FileName + "\". " + std::strerror(error));
    }
    if (::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(Fd);
        Fd = -1;
        throw EACSException("Cannot open file \"" + FileName + "\". " +
                            (error == EWOULDBLOCK ? std::string("The file is in use.") : std::strerror(error)));
    }
}

TTagFileStream::TLock::~TLock()
{
    if (Fd >= 0)
        ::close(Fd); // closing releases the lock
}

TTagFileStream::TTagFileStream(const std::string& FileName)
    : Name(FileName), Lock(FileName), File(FileName, TFileOpenMode::fmOpenReadWrite)
{
}

TTagFileStream::~TTagFileStream() = default;

void TTagFileStream::SetSize(std::int64_t Size)
{
    if (Size < 0 || ::ftruncate(Lock.Fd, static_cast<off_t>(Size)) != 0) {
        const int error = Size < 0 ? EINVAL : errno;
        throw EACSException("Cannot change the size of file \"" + Name + "\". " + std::strerror(error));
    }
}

} // namespace kestrune
