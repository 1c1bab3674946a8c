#pragma once

#include "codecs/TDynamicLibrary.h"

#include <memory>
#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>
// The header's ready-made callbacks call stdio directly; this program reads
// through its own streams only.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

namespace kestrune {

// The entry points of libogg, libvorbis, libvorbisfile and libvorbisenc that
// the Ogg Vorbis reader and writer call, looked up by name from
// "libogg.so.0", "libvorbis.so.0", "libvorbisfile.so.3" and
// "libvorbisenc.so.2". Only types and constants come from the headers;
// every call goes through these pointers, so the program runs without the
// libraries and only Ogg Vorbis reports them missing.
//
// Both components need all four libraries. They are loaded in that order and
// the first one missing raises "<soname> library could not be loaded.". An
// entry point a library lacks is null; Has... says whether a component's set
// is complete.
//
// Loaded once per process and shared; the encoder and decoder states are the
// callers' own, so any thread may use its own state.
class TOggVorbisLibrary {
public:
    static constexpr const char* OggSoName = "libogg.so.0";
    static constexpr const char* VorbisSoName = "libvorbis.so.0";
    static constexpr const char* VorbisFileSoName = "libvorbisfile.so.3";
    static constexpr const char* VorbisEncSoName = "libvorbisenc.so.2";

    // The shared binding; raises EACSException when a library is missing
    // (and tries again next time).
    static std::shared_ptr<const TOggVorbisLibrary> Load();

    // libogg
    decltype(&::ogg_stream_init) ogg_stream_init = nullptr;
    decltype(&::ogg_stream_packetin) ogg_stream_packetin = nullptr;
    decltype(&::ogg_stream_flush) ogg_stream_flush = nullptr;
    decltype(&::ogg_stream_pageout) ogg_stream_pageout = nullptr;
    decltype(&::ogg_stream_clear) ogg_stream_clear = nullptr;
    decltype(&::ogg_page_eos) ogg_page_eos = nullptr;
    decltype(&::ogg_page_bos) ogg_page_bos = nullptr;
    decltype(&::ogg_page_serialno) ogg_page_serialno = nullptr;
    decltype(&::ogg_sync_init) ogg_sync_init = nullptr;
    decltype(&::ogg_sync_buffer) ogg_sync_buffer = nullptr;
    decltype(&::ogg_sync_wrote) ogg_sync_wrote = nullptr;
    decltype(&::ogg_sync_pageout) ogg_sync_pageout = nullptr;
    decltype(&::ogg_sync_clear) ogg_sync_clear = nullptr;

    // libvorbis
    decltype(&::vorbis_info_init) vorbis_info_init = nullptr;
    decltype(&::vorbis_info_clear) vorbis_info_clear = nullptr;
    decltype(&::vorbis_comment_init) vorbis_comment_init = nullptr;
    decltype(&::vorbis_comment_add_tag) vorbis_comment_add_tag = nullptr;
    decltype(&::vorbis_comment_clear) vorbis_comment_clear = nullptr;
    decltype(&::vorbis_analysis_init) vorbis_analysis_init = nullptr;
    decltype(&::vorbis_block_init) vorbis_block_init = nullptr;
    decltype(&::vorbis_analysis_headerout) vorbis_analysis_headerout = nullptr;
    decltype(&::vorbis_analysis_buffer) vorbis_analysis_buffer = nullptr;
    decltype(&::vorbis_analysis_wrote) vorbis_analysis_wrote = nullptr;
    decltype(&::vorbis_analysis_blockout) vorbis_analysis_blockout = nullptr;
    decltype(&::vorbis_analysis) vorbis_analysis = nullptr;
    decltype(&::vorbis_bitrate_addblock) vorbis_bitrate_addblock = nullptr;
    decltype(&::vorbis_bitrate_flushpacket) vorbis_bitrate_flushpacket = nullptr;
    decltype(&::vorbis_block_clear) vorbis_block_clear = nullptr;
    decltype(&::vorbis_dsp_clear) vorbis_dsp_clear = nullptr;

    // libvorbisenc
    decltype(&::vorbis_encode_init) vorbis_encode_init = nullptr;
    decltype(&::vorbis_encode_init_vbr) vorbis_encode_init_vbr = nullptr;

    // libvorbisfile
    decltype(&::ov_open_callbacks) ov_open_callbacks = nullptr;
    decltype(&::ov_clear) ov_clear = nullptr;
    decltype(&::ov_info) ov_info = nullptr;
    decltype(&::ov_comment) ov_comment = nullptr;
    decltype(&::ov_streams) ov_streams = nullptr;
    decltype(&::ov_serialnumber) ov_serialnumber = nullptr;
    decltype(&::ov_pcm_total) ov_pcm_total = nullptr;
    decltype(&::ov_read) ov_read = nullptr;
    decltype(&::ov_pcm_seek) ov_pcm_seek = nullptr;

    // Every entry point the writer calls (the existing-file scan included).
    bool HasEncoder() const;
    // Every entry point the reader calls.
    bool HasDecoder() const;

private:
    TOggVorbisLibrary();

    // Declared in load order: ogg, vorbis, vorbisfile, vorbisenc.
    TDynamicLibrary Ogg;
    TDynamicLibrary Vorbis;
    TDynamicLibrary VorbisFile;
    TDynamicLibrary VorbisEnc;
};

} // namespace kestrune
