#pragma once

#include <string>

namespace kestrune {

// Makes text from outside (an album name, a CD entry, a song title from a
// lookup) safe as one file or folder name: path separators and NUL become
// "_", and a name that is empty, "." or ".." gets a "_" in front, so the
// result never leaves the folder it is put in.
std::string CleanPathComponent(const std::string& Text);

} // namespace kestrune
