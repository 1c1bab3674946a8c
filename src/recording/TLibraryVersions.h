#pragma once

#include <string>
#include <vector>

namespace kestrune {

// One library the program loads at run time, as the about window shows it.
struct TLibraryVersion {
    std::string Name;   // "LAME", "libFLAC", ...
    std::string SoName; // the file name it is loaded by
    bool Installed = false;
    std::string Version; // what the loaded library reports; "" when not installed
};

// The versions of the libraries the program binds at run time, read from the
// libraries themselves (not from the headers it was built with), so the about
// window tells what this machine really runs. A library that cannot be loaded
// is "not installed"; that is no error here.
class TLibraryVersions {
public:
    static constexpr const char* NotInstalled = "not installed";

    // LAME, mpg123, libFLAC, libvorbis, Chromaprint, libcurl, libasound and
    // libpulse, in that order. Loads each library for the call only.
    static std::vector<TLibraryVersion> Read();

    // The version for display: the version, or "not installed".
    static std::string Shown(const TLibraryVersion& Library);

    // The version number inside a library's own banner ("Xiph.Org libVorbis
    // 1.3.7" gives "1.3.7", "libcurl/7.88.1 OpenSSL/3.0" gives "7.88.1"): the
    // first run of digits and dots that starts with a digit; the trimmed
    // banner itself when it holds no digit.
    static std::string VersionNumber(const std::string& Banner);
};

} // namespace kestrune
