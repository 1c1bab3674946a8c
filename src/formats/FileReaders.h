#pragma once

#include "pipeline/TACSFileIn.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrune {

// The audio file types the program reads and writes, in the order of the
// conversion window's format table (its fi* numbers are these values).
enum class TAudioFileType { aftWav = 0, aftMp3 = 1, aftOgg = 2, aftApe = 3, aftFlac = 4 };

// The type of a file by its extension, in any letter case; FileName may also
// be a bare extension, with or without its dot. Empty when the program does
// not read such files.
std::optional<TAudioFileType> AudioFileTypeOf(const std::string& FileName);

// "WAV, MP3, Ogg Vorbis, FLAC and APE": the types above, for messages.
const char* ReadableTypesText();

// A new reader for files of Type that streams the file as it is read: WAV
// (PCM, ADPCM and MPEG audio inside), MP3 through the streaming decoder,
// Ogg Vorbis, APE and FLAC. Its file name is not set. An MP3 reader raises
// EACSException when it is opened and the decoder library is missing.
std::unique_ptr<TACSFileIn> NewFileReader(TAudioFileType Type);

} // namespace kestrune
