#pragma once

#include "formats/TTagStream.h"
#include "pipeline/TFileStream.h"

#include <string>

namespace kestrune {

// An existing file opened for reading and writing with sharing denied: a
// second tagger (or anything else that asks for the lock) is refused until
// this object goes.
class TTagFileStream final : public TTagStream {
public:
    // Raises EACSException when the file cannot be opened or is in use.
    explicit TTagFileStream(const std::string& FileName);
    ~TTagFileStream() override;
    TTagFileStream(const TTagFileStream&) = delete;
    TTagFileStream& operator=(const TTagFileStream&) = delete;

    std::int64_t Read(void* Buffer, std::int64_t Count) override { return File.Read(Buffer, Count); }
    void Write(const void* Buffer, std::int64_t Count) override { File.Write(Buffer, Count); }
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override { return File.Seek(Offset, Origin); }
    std::int64_t Size() override { return File.Size(); }
    void SetSize(std::int64_t Size) override;

private:
    // Opened first, so the lock is held before any byte is read.
    struct TLock {
        TLock(const std::string& FileName);
        ~TLock();
        TLock(const TLock&) = delete;
        TLock& operator=(const TLock&) = delete;
        int Fd = -1;
    };

    std::string Name;
    TLock Lock;
    TFileStream File;
};

} // namespace kestrune
