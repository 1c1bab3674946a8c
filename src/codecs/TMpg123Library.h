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
    // Decoding from a reader of the caller's (the MP3 decoder): 64-bit
    // offsets, the names without suffix on this platform.
    decltype(&::mpg123_replace_reader_handle) replace_reader_handle = nullptr;
    decltype(&::mpg123_open_handle) open_handle = nullptr;
    decltype(&::mpg123_close) close = nullptr;
    decltype(&::mpg123_decode_frame) decode_frame = nullptr;
    decltype(&::mpg123_info) info = nullptr;
    decltype(&::mpg123_strerror) strerror = nullptr;
    // Streaming a file with a known length and seeking in it (the MP3
    // reader): a scan for the exact length, sample positions, and whether a
    // length came from the stream's own header.
    decltype(&::mpg123_scan) scan = nullptr;
    decltype(&::mpg123_length) length = nullptr;
    decltype(&::mpg123_seek) seek = nullptr;
    decltype(&::mpg123_getstate2) getstate = nullptr;

    // True when every entry point that feed decoding needs was found.
    bool HasFeedDecoder() const;
    // True when every entry point that decoding through a reader needs was
    // found.
    bool HasReaderDecoder() const;
    // True when every entry point that reading a file as a stream, with its
    // length and seeking, needs was found (getstate is optional).
    bool HasStreamDecoder() const;

    // Frees a decoder handle through the binding that made it.
    struct THandleDeleter {
        std::shared_ptr<const TMpg123Library> Library;
        void operator()(mpg123_handle* Handle) const;
    };
    using THandle = std::unique_ptr<mpg123_handle, THandleDeleter>;

    // A new decoder that prints nothing and puts out 16-bit signed samples,
    // mono or stereo, at every rate the library knows. Raises EACSException
    // "The MPEG audio decoder could not be created." when the library refuses.
    static THandle NewDecoder16(const std::shared_ptr<const TMpg123Library>& Library);

private:
    TMpg123Library();

    TDynamicLibrary Library;
};

} // namespace kestrune
