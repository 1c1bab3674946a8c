#include "pipeline/TFileStream.h"

#include "pipeline/EACSException.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace {

std::string Reason(int Error)
{
    return std::strerror(Error);
}

} // namespace

TFileStream::TFileStream(const std::string& FileName, TFileOpenMode Mode) : Name(FileName)
{
    int flags = O_CLOEXEC;
    switch (Mode) {
    case TFileOpenMode::fmOpenRead:
        flags |= O_RDONLY;
        break;
    case TFileOpenMode::fmOpenReadWrite:
    case TFileOpenMode::fmOpenExclusive:
        flags |= O_RDWR;
        break;
    case TFileOpenMode::fmCreate:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    }
    Fd = ::open(FileName.c_str(), flags, 0666);
    if (Fd < 0) {
        const int error = errno;
        throw EACSException((Mode == TFileOpenMode::fmCreate ? "Cannot create file \"" : "Cannot open file \"") +
                            FileName + "\". " + Reason(error));
    }
    // Sharing denied, as far as Linux has it: an advisory lock that every
    // other tagger of ours asks for too.
    if (Mode == TFileOpenMode::fmOpenExclusive && ::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(Fd);
        Fd = -1;
        throw EACSException("Cannot open file \"" + FileName + "\". " +
                            (error == EWOULDBLOCK ? std::string("The file is in use.") : Reason(error)));
    }
    struct stat info {};
    if (::fstat(Fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(Fd);
        Fd = -1;
        throw EACSException("Cannot open file \"" + FileName + "\". " + Reason(EISDIR));
    }
}

TFileStream::~TFileStream()
{
    try {
        Flush();
    } catch (...) {
        // Owners that care flush before they let go (TStreamHolder does);
        // here nobody is left to tell.
    }
    if (Fd >= 0)
        ::close(Fd);
}

void TFileStream::SetWriteBuffer(std::size_t Bytes)
{
    Flush();
    Pending.clear();
    Pending.reserve(Bytes);
    BufferBytes = Bytes;
}

void TFileStream::Flush()
{
    if (Pending.empty())
        return;
    // Cleared first: a failed write is reported once, not again on every call.
    std::vector<char> data;
    data.swap(Pending);
    Pending.reserve(BufferBytes);
    WriteNow(data.data(), static_cast<std::int64_t>(data.size()));
}

void TFileStream::Fail(const char* What) const
{
    const int error = errno;
    throw EACSException(std::string(What) + " \"" + Name + "\". " + Reason(error));
}

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count)
{
    Flush();
    auto* out = static_cast<char*>(Buffer);
    std::int64_t done = 0;
    while (done < Count) {
        const ssize_t n = ::read(Fd, out + done, static_cast<size_t>(Count - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("Cannot read from file");
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

void TFileStream::Write(const void* Buffer, std::int64_t Count)
{
    if (BufferBytes == 0 || Count <= 0) {
        WriteNow(Buffer, Count);
        return;
    }
    if (Pending.size() + static_cast<std::size_t>(Count) > BufferBytes)
        Flush();
    if (static_cast<std::size_t>(Count) >= BufferBytes) {
        WriteNow(Buffer, Count);
        return;
    }
    const auto* bytes = static_cast<const char*>(Buffer);
    Pending.insert(Pending.end(), bytes, bytes + Count);
}

void TFileStream::WriteNow(const void* Buffer, std::int64_t Count)
{
    const auto* in = static_cast<const char*>(Buffer);
    std::int64_t done = 0;
    while (done < Count) {
        const ssize_t n = ::write(Fd, in + done, static_cast<size_t>(Count - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("Cannot write to file");
        }
        if (n == 0) {
            errno = ENOSPC;
            Fail("Cannot write to file");
        }
        done += n;
    }
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
    Flush();
    int whence = SEEK_SET;
    if (Origin == TSeekOrigin::soCurrent)
        whence = SEEK_CUR;
    else if (Origin == TSeekOrigin::soEnd)
        whence = SEEK_END;
    const off_t at = ::lseek(Fd, static_cast<off_t>(Offset), whence);
    if (at < 0)
        Fail("Cannot seek in file");
    return at;
}

void TFileStream::SetSize(std::int64_t NewSize)
{
    if (NewSize < 0) {
        errno = EINVAL;
        Fail("Cannot change the size of file");
    }
    Flush();
    if (::ftruncate(Fd, static_cast<off_t>(NewSize)) != 0)
        Fail("Cannot change the size of file");
}

std::int64_t TFileStream::Size()
{
    Flush();
    struct stat info {};
    if (::fstat(Fd, &info) != 0)
        Fail("Cannot read the size of file");
    return info.st_size;
}

} // namespace kestrune
