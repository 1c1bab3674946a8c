#pragma once

#include "codecs/TDynamicLibrary.h"

#include <lame/lame.h>
#include <memory>

namespace kestrune {

// The entry points of LAME that the MP3 writer calls, looked up by name from
// "libmp3lame.so.0". Only the library's types and constants come from its
// header; every call goes through these pointers, so the program starts and
// runs without the library and only MP3 encoding reports it missing.
//
// An entry point the library lacks is null; HasEncoder says whether all that
// a constant-bit-rate encoding needs is there. The library is loaded once per
// process and shared; each encoder handle belongs to one thread at a time.
class TLameLibrary {
public:
    static constexpr const char* SoName = "libmp3lame.so.0";

    // The shared binding. Raises EACSException "libmp3lame.so.0 library could
    // not be loaded." when the library is missing (and tries again next time).
    static std::shared_ptr<const TLameLibrary> Load();

    decltype(&::lame_init) init = nullptr;
    decltype(&::lame_close) close = nullptr;
    decltype(&::lame_set_num_samples) set_num_samples = nullptr;
    decltype(&::lame_set_in_samplerate) set_in_samplerate = nullptr;
    decltype(&::lame_set_num_channels) set_num_channels = nullptr;
    decltype(&::lame_set_brate) set_brate = nullptr;
    decltype(&::lame_set_bWriteVbrTag) set_bWriteVbrTag = nullptr;
    decltype(&::lame_init_params) init_params = nullptr;
    decltype(&::lame_encode_buffer) encode_buffer = nullptr;
    decltype(&::lame_encode_buffer_interleaved) encode_buffer_interleaved = nullptr;
    decltype(&::lame_encode_flush) encode_flush = nullptr;
    decltype(&::lame_get_lametag_frame) get_lametag_frame = nullptr;
    decltype(&::id3tag_init) id3tag_init = nullptr;
    decltype(&::id3tag_set_title) id3tag_set_title = nullptr;
    decltype(&::id3tag_set_artist) id3tag_set_artist = nullptr;
    decltype(&::id3tag_set_album) id3tag_set_album = nullptr;
    decltype(&::id3tag_set_year) id3tag_set_year = nullptr;
    decltype(&::id3tag_set_track) id3tag_set_track = nullptr;
    decltype(&::id3tag_set_comment) id3tag_set_comment = nullptr;

    // True when every entry point that encoding and finishing a file needs
    // was found (the tag setters and the info frame are optional).
    bool HasEncoder() const;

private:
    TLameLibrary();

    TDynamicLibrary Library;
};

} // namespace kestrune
