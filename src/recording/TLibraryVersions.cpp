#include "recording/TLibraryVersions.h"

#include "codecs/TCurlLibrary.h"
#include "codecs/TDynamicLibrary.h"
#include "codecs/TFLACLibrary.h"
#include "codecs/TLameLibrary.h"
#include "codecs/TMpg123Library.h"
#include "codecs/TOggVorbisLibrary.h"
#include "devices/TAlsaLibrary.h"
#include "devices/TPulseLibrary.h"
#include "recognition/TChromaprintLibrary.h"

#include <dlfcn.h>

#include <cctype>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>

namespace kestrune {

namespace {

using TBannerFunction = const char* (*)();

// The banner a function of the library returns, or "" when it lacks it.
std::string CallBanner(const TDynamicLibrary& Library, const char* Entry)
{
    const auto function = Library.Entry<TBannerFunction>(Entry);
    if (!function)
        return {};
    const char* text = function();
    return text ? text : "";
}

// The real file behind a loaded library ("libmpg123.so.0.47.0"), found
// from one of its symbols; "" when none resolves.
std::string LoadedFileName(const TDynamicLibrary& Library, const char* Entry)
{
    Dl_info info{};
    void* symbol = Library.Symbol(Entry);
    if (!symbol || dladdr(symbol, &info) == 0 || !info.dli_fname)
        return {};
    std::error_code error;
    const auto real = std::filesystem::canonical(info.dli_fname, error);
    return error ? std::string(info.dli_fname) : real.filename().string();
}

std::string LameVersion(const TDynamicLibrary& Library)
{
    return CallBanner(Library, "get_lame_version");
}

// mpg123 tells its release only from 1.32 on; an older one is named by the
// file it was loaded from, which carries its interface revision.
std::string Mpg123Version(const TDynamicLibrary& Library)
{
    using TDistVersion = const char* (*)(unsigned*, unsigned*, unsigned*);
    if (const auto distversion = Library.Entry<TDistVersion>("mpg123_distversion")) {
        unsigned major = 0, minor = 0, patch = 0;
        if (const char* text = distversion(&major, &minor, &patch))
            return text;
    }
    const std::string file = LoadedFileName(Library, "mpg123_init");
    return file.empty() ? std::string() : "release not reported (" + file + ")";
}

// libFLAC exports its version as a variable, not a function.
std::string FlacVersion(const TDynamicLibrary& Library)
{
    const auto* variable = static_cast<const char* const*>(Library.Symbol("FLAC__VERSION_STRING"));
    return variable && *variable ? *variable : "";
}

std::string VorbisVersion(const TDynamicLibrary& Library)
{
    return CallBanner(Library, "vorbis_version_string");
}

std::string ChromaprintVersion(const TDynamicLibrary& Library)
{
    return CallBanner(Library, "chromaprint_get_version");
}

std::string CurlVersion(const TDynamicLibrary& Library)
{
    return CallBanner(Library, "curl_version");
}

std::string AlsaVersion(const TDynamicLibrary& Library)
{
    return CallBanner(Library, "snd_asoundlib_version");
}

std::string PulseVersion(const TDynamicLibrary& Library)
{
    return CallBanner(Library, "pa_get_library_version");
}

struct TKnownLibrary {
    const char* Name;
    const char* SoName;
    std::string (*Banner)(const TDynamicLibrary&);
    bool Numeric; // the banner holds a version number to pick out
};

const TKnownLibrary KnownLibraries[] = {
    {"LAME", TLameLibrary::SoName, LameVersion, true},
    {"mpg123", TMpg123Library::SoName, Mpg123Version, false},
    {"libFLAC", TFLACLibrary::SoName, FlacVersion, true},
    {"libvorbis", TOggVorbisLibrary::VorbisSoName, VorbisVersion, true},
    {"Chromaprint", TChromaprintLibrary::SoName, ChromaprintVersion, true},
    {"libcurl", TCurlLibrary::SoName, CurlVersion, true},
    {"libasound", TAlsaLibrary::SoName, AlsaVersion, true},
    {"libpulse", TPulseLibrary::SoName, PulseVersion, true},
};

// A library once opened here stays open for the process. Several
// (libcurl with its TLS library, Chromaprint with its FFT) allocate when
// loaded and leave that behind when unloaded; the program uses them anyway.
// A replaced soname (TDynamicLibrary::ReplaceSoName) is opened anew.
const TDynamicLibrary& Opened(const char* SoName)
{
    static std::mutex lock;
    // Never destroyed: the libraries stay loaded until the process ends.
    static auto& open = *new std::map<std::pair<std::string, unsigned>, std::unique_ptr<const TDynamicLibrary>>;
    const std::lock_guard guard(lock);
    auto& library = open[{SoName, TDynamicLibrary::Generation()}];
    if (!library)
        library = std::make_unique<const TDynamicLibrary>(SoName);
    return *library;
}

} // namespace

std::vector<TLibraryVersion> TLibraryVersions::Read()
{
    std::vector<TLibraryVersion> result;
    for (const TKnownLibrary& known : KnownLibraries) {
        TLibraryVersion entry{known.Name, known.SoName, false, {}};
        try {
            const TDynamicLibrary& library = Opened(known.SoName);
            entry.Installed = true;
            const std::string banner = known.Banner(library);
            if (banner.empty())
                entry.Version = "version not reported";
            else
                entry.Version = known.Numeric ? VersionNumber(banner) : banner;
        } catch (const std::exception&) {
            // Missing: the entry stays "not installed".
        }
        result.push_back(std::move(entry));
    }
    return result;
}

std::string TLibraryVersions::Shown(const TLibraryVersion& Library)
{
    return Library.Installed ? Library.Version : NotInstalled;
}

std::string TLibraryVersions::VersionNumber(const std::string& Banner)
{
    const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    for (std::size_t i = 0; i < Banner.size(); ++i) {
        if (!isDigit(Banner[i]))
            continue;
        std::size_t end = i;
        while (end < Banner.size() && (isDigit(Banner[end]) || Banner[end] == '.'))
            ++end;
        while (end > i && Banner[end - 1] == '.')
            --end;
        return Banner.substr(i, end - i);
    }
    const auto first = Banner.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = Banner.find_last_not_of(" \t\r\n");
    return Banner.substr(first, last - first + 1);
}

} // namespace kestrune
