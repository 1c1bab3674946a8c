#pragma once

#include <string>
#include <vector>

namespace kestrune {

// Sets the Vorbis comments of a FLAC file ("TITLE=...", one entry a line,
// UTF-8): the file's comment block is replaced, keeping its vendor string,
// or one is added after the stream information. The audio frames are copied
// unchanged. The new file is written beside the old one and takes its name
// only when complete, so a failure leaves the file as it was. Raises
// EACSException when the file is not FLAC or cannot be read or written.
void WriteFlacComments(const std::string& FileName, const std::vector<std::string>& Comments);

// The comments of a FLAC file, in order; raises as above.
std::vector<std::string> ReadFlacComments(const std::string& FileName);

} // namespace kestrune
