#pragma once

#include "codecs/TDynamicLibrary.h"

#include <memory>
#include <mpg123.h>

namespace kestrune {

// The entry points of libmpg123 that the program calls, looked up by name
// from "libmpg123.so.0". Only the library's types and constants come from its
// header; every call goes through these pointers, so the program starts and
// runs without the library and only MPEG audio reports it missing.
//
// An entry point the library lacks is null; users check Has... before use.
// The library is loaded once per process and shared; its decoder handles are
// independent, so any thread may decode with its own handle.
class TMpg123Library {
public:
    static constexpr const char* SoName = "libmpg123.so.0";

    // The shared binding. Raises EACSException "libmpg123.so.0 library could
    // not be loaded." when the library is missing (and tries again next time).
    static std::shared_ptr<const TMpg123Library> Load();

    decltype(&::mpg123_init) init = nullptr;
    decltype(&::mpg123_new) new_ = nullptr;
    decltype(&::mpg123_delete) delete_ = nullptr;
    decltype(&::mpg123_param) param = nullptr;
    decltype(&::mpg123_rates) rates = nullptr;
    decltype(&::mpg123_format_none) format_none = nullptr;
    decltype(&::mpg123_format) format = nullptr;
    decltype(&::mpg123_open_feed) open_feed = nullptr;
    decltype(&::mpg123_feed) feed = nullptr;
    decltype(&::mpg123_read) read = nullptr;
    decltype(&::mpg123_getformat) getformat = nullptr;
    decltype(&::mpg123_plain_strerror) plain_strerror = nullptr;

    // True when every entry point that feed decoding needs was found.
    bool HasFeedDecoder() const;

private:
    TMpg123Library();

    TDynamicLibrary Library;
};

} // namespace kestrune
