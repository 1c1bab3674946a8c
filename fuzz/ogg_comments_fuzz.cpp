// Feeds arbitrary files to the Ogg Vorbis comment reader. It must never fail
// nor read outside the file, and every comment it returns is a piece of the
// file: their lengths together stay below its size.

#include "FuzzCheck.h"
#include "formats/TOggComments.h"
#include "formats/VorbisComments.h"
#include "pipeline/TMemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

using kestrune::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    using namespace kestrune;
    const std::vector<std::uint8_t> in(Data, Data + Size);
    TMemoryStream file(in);
    const std::vector<std::string> comments = ReadOggVorbisComments(&file);
    Check(file.Bytes() == in);
    std::size_t total = 0;
    for (const std::string& c : comments)
        total += c.size() + 4;
    Check(total <= Size);
    (void)TagsOfVorbisComments(comments);
    // The list parser on its own, over the bytes as they come.
    try {
        (void)ParseVorbisComments(Data, Size);
    } catch (const std::exception&) {
    }
    return 0;
}
