// Feeds arbitrary files to the FLAC comment reader and writer. A file the
// writer refuses stays byte for byte; a file it takes keeps everything after
// its metadata, reads back the comments written, and gives the same bytes
// when written again.

#include "FuzzCheck.h"
#include "formats/FlacComments.h"
#include "pipeline/EACSException.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

using kestrune::fuzz::Check;

namespace {

using TBytes = std::vector<std::uint8_t>;

void Put(const std::string& File, const TBytes& Bytes)
{
    std::ofstream(File, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

TBytes Get(const std::string& File)
{
    std::ifstream in(File, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Where the frames begin, walked independently of the code under test: the
// marker, then blocks until the one flagged last.
std::size_t FramesAt(const TBytes& B)
{
    std::size_t at = 4;
    for (;;) {
        const bool last = (B[at] & 0x80) != 0;
        at += 4 + (std::size_t(B[at + 1]) << 16 | std::size_t(B[at + 2]) << 8 | B[at + 3]);
        if (last)
            return at;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    using namespace kestrune;
    const TBytes in(Data, Data + Size);
    static const std::string file =
        (std::filesystem::temp_directory_path() / ("kestrune-flac-comments-" + std::to_string(::getpid()))).string();
    Put(file, in);
    try {
        (void)ReadFlacComments(file);
    } catch (const EACSException&) {
    }
    const std::vector<std::string> comments{"TITLE=" + std::string(in.begin(), in.begin() + long(std::min<std::size_t>(Size, 30))),
                                            "ARTIST=x"};
    try {
        WriteFlacComments(file, comments);
    } catch (const EACSException&) {
        Check(Get(file) == in);
        return 0;
    }
    const TBytes out = Get(file);
    Check(ReadFlacComments(file) == comments);
    const std::size_t inFrames = FramesAt(in);
    const std::size_t outFrames = FramesAt(out);
    Check(out.size() - outFrames == in.size() - inFrames);
    Check(std::equal(in.begin() + long(inFrames), in.end(), out.begin() + long(outFrames)));
    WriteFlacComments(file, comments);
    Check(Get(file) == out);
    std::filesystem::remove(file);
    return 0;
}
