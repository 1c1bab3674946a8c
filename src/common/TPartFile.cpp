#include "common/TPartFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

const std::string PartSuffix = ".kestrune-part";
const std::string KeepSuffix = ".kestrune-keep";
static_assert(sizeof(".kestrune-part") == sizeof(".kestrune-keep"));
// Longest file name most Linux file systems take (NAME_MAX).
constexpr std::size_t NameMax = 255;

std::atomic<unsigned> PartCount{0};

std::string Quoted(const fs::path& Path)
{
    return "\"" + Path.string() + "\"";
}

[[noreturn]] void Fail(const std::string& What, int Error)
{
    throw std::runtime_error(What + ". " + std::strerror(Error));
}

// The target's name cut to Bytes, not inside a UTF-8 sequence.
std::string Shortened(const std::string& Name, std::size_t Bytes)
{
    if (Name.size() <= Bytes)
        return Name;
    std::size_t end = Bytes;
    while (end > 0 && (static_cast<unsigned char>(Name[end]) & 0xC0) == 0x80)
        --end;
    return Name.substr(0, end);
}

// The process named in a temporary's name, or 0 when there is none.
pid_t PidOf(const std::string& FileName)
{
    const std::string core = FileName.substr(0, FileName.size() - PartSuffix.size());
    const std::size_t dot = core.rfind('.');
    if (dot == std::string::npos)
        return 0;
    const std::string token = core.substr(dot + 1);
    const std::size_t dash = token.find('-');
    if (dash == 0 || dash == std::string::npos)
        return 0;
    long pid = 0;
    for (std::size_t i = 0; i < dash; ++i) {
        if (token[i] < '0' || token[i] > '9' || pid > 4194304)
            return 0;
        pid = pid * 10 + (token[i] - '0');
    }
    return static_cast<pid_t>(pid);
}

bool EndsWith(const std::string& Text, const std::string& Tail)
{
    return Text.size() >= Tail.size() && Text.compare(Text.size() - Tail.size(), Tail.size(), Tail) == 0;
}

bool ProcessAlive(pid_t Pid)
{
    if (Pid <= 0)
        return false;
    return ::kill(Pid, 0) == 0 || errno == EPERM;
}

// rename without replacing; 0 or -1 with errno, as rename.
int RenameNoReplace(const char* From, const char* To)
{
    if (::renameat2(AT_FDCWD, From, AT_FDCWD, To, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    // A file system without RENAME_NOREPLACE: a hard link fails as well
    // when the name is taken.
    if (::link(From, To) == 0) {
        ::unlink(From);
        return 0;
    }
    if (errno == EEXIST)
        return -1;
    // Nor links (FAT): look first, then rename. The gap between the two is
    // the best such a file system allows.
    struct stat info {};
    if (::lstat(To, &info) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(From, To);
}

} // namespace

TPartFile::TPartFile(const fs::path& Target, bool Replace, bool KeepIfKilled) : FTarget(Target), FReplace(Replace)
{
    const fs::path folder = Target.parent_path();
    const std::string tail = "." + std::to_string(::getpid()) + "-" + std::to_string(PartCount.fetch_add(1)) +
                             (KeepIfKilled ? KeepSuffix : PartSuffix);
    const std::string name = "." + Shortened(Target.filename().string(), NameMax - 1 - tail.size()) + tail;
    const fs::path temp = folder / name;
    // 0666: the umask decides, as for every other file the user makes.
    FFd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (FFd < 0)
        Fail("Cannot create file " + Quoted(temp), errno);
    FTemp = temp;
    // A file system without locks leaves the temporary unmarked; a sweep
    // then never takes it, which is the safe side.
    ::flock(FFd, LOCK_EX | LOCK_NB);
}

TPartFile::~TPartFile()
{
    Discard();
}

void TPartFile::Sync()
{
    if (FFd >= 0 && ::fsync(FFd) != 0)
        Fail("Cannot write file " + Quoted(FTemp), errno);
}

void TPartFile::Commit()
{
    if (FTemp.empty())
        throw std::runtime_error("Cannot name file " + Quoted(FTarget) + ". It was not written.");
    const int result =
        FReplace ? ::rename(FTemp.c_str(), FTarget.c_str()) : RenameNoReplace(FTemp.c_str(), FTarget.c_str());
    if (result != 0) {
        const int error = errno;
        if (error == EEXIST)
            throw std::runtime_error("Cannot name file " + Quoted(FTarget) +
                                     ". A file of that name exists and is not replaced.");
        Fail("Cannot name file " + Quoted(FTarget), error);
    }
    FTemp.clear();
    // The lock goes only now: until the rename the temporary was ours.
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
}

void TPartFile::Discard()
{
    if (!FTemp.empty()) {
        ::unlink(FTemp.c_str());
        FTemp.clear();
    }
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
}

bool TPartFile::IsPartName(const std::string& FileName)
{
    return FileName.size() > PartSuffix.size() + 1 && FileName.front() == '.' &&
           (EndsWith(FileName, PartSuffix) || EndsWith(FileName, KeepSuffix)) && PidOf(FileName) > 0;
}

namespace {

// The name a kept leftover gets: its target's, with " (recovered)" before
// the extension. The target's name is what lies between the leading dot
// and the ".PID-N" of the temporary.
std::string RecoveredName(const std::string& FileName, int Attempt)
{
    const std::string core = FileName.substr(1, FileName.size() - 1 - KeepSuffix.size());
    const fs::path target = core.substr(0, core.rfind('.'));
    const std::string mark = Attempt == 1 ? " (recovered)" : " (recovered " + std::to_string(Attempt) + ")";
    return target.stem().string() + mark + target.extension().string();
}

// Gives a kept leftover its recovered name in DirFd; false when none was free.
bool Recover(int DirFd, const std::string& FileName)
{
    for (int attempt = 1; attempt <= 99; ++attempt) {
        const std::string name = RecoveredName(FileName, attempt);
        if (::renameat2(DirFd, FileName.c_str(), DirFd, name.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

} // namespace

int TPartFile::ClearLeftovers(const fs::path& Folder)
{
    const fs::path folder = Folder.empty() ? fs::path(".") : Folder;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    const int dirFd = ::dirfd(dir);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsPartName(name))
            continue;
        // The writer's process first: a live one may just be between
        // creating its temporary and locking it.
        if (ProcessAlive(PidOf(name)))
            continue;
        const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            (EndsWith(name, KeepSuffix) ? Recover(dirFd, name) : ::unlinkat(dirFd, name.c_str(), 0) == 0))
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

} // namespace kestrune
