#pragma once

#include <string>

namespace kestrune {

// Title, artist and album of a file as TagTrackFile writes them: the RIFF
// INFO list of a ".wav" file ("INAM", "IART", "IPRD"), the ID3v1 tag of any
// other. Texts are UTF-8; a field the file does not carry is empty.
struct TTrackTags {
    std::string Title;
    std::string Artist;
    std::string Album;

    // Reads FileName's tags. A file without tags, or one that cannot be read,
    // gives empty fields: tags are a courtesy, never a reason to fail.
    static TTrackTags Read(const std::string& FileName);
};

} // namespace kestrune
