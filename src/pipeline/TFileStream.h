#pragma once

#include "pipeline/TStream.h"

#include <string>

namespace kestrune {

enum class TFileOpenMode {
    fmOpenRead,      // existing file, read only
    fmOpenReadWrite, // existing file, read and write
    fmCreate,        // new or emptied file, read and write
    fmOpenExclusive, // existing file, read and write, refused while another holds it so
};

// A file on disk, unbuffered: callers read and write in blocks.
class TFileStream final : public TStream {
public:
    TFileStream(const std::string& FileName, TFileOpenMode Mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    void Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t Size() override;
    void SetSize(std::int64_t Size) override;

    const std::string& FileName() const { return Name; }

private:
    [[noreturn]] void Fail(const char* What) const;

    std::string Name;
    int Fd = -1;
};

} // namespace kestrune
