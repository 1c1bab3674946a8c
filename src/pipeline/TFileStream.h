#pragma once

#include "pipeline/TStream.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kestrune {

enum class TFileOpenMode {
    fmOpenRead,      // existing file, read only
    fmOpenReadWrite, // existing file, read and write
    fmCreate,        // new or emptied file, read and write
    fmOpenExclusive, // existing file, read and write, refused while another holds it so
};

// A file on disk. Reads go straight to the file; writes too, unless a write
// buffer is set, which gathers small writes (an output that writes a block
// per step) into large ones. Every other call writes the buffer out first.
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
    // Writes what the write buffer holds; a failure raises here.
    void Flush() override;
    // Gathers writes smaller than Bytes; 0 writes at once.
    void SetWriteBuffer(std::size_t Bytes);

    const std::string& FileName() const { return Name; }

private:
    [[noreturn]] void Fail(const char* What) const;
    void WriteNow(const void* Buffer, std::int64_t Count);

    std::string Name;
    int Fd = -1;
    std::size_t BufferBytes = 0;
    std::vector<char> Pending;
};

} // namespace kestrune
