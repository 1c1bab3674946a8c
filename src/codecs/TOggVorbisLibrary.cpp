#include "codecs/TOggVorbisLibrary.h"

namespace kestrune {

#define KESTRUNE_ENTRY(Lib, Name) Name = (Lib).Entry<decltype(Name)>(#Name)

TOggVorbisLibrary::TOggVorbisLibrary()
    : Ogg(OggSoName), Vorbis(VorbisSoName), VorbisFile(VorbisFileSoName), VorbisEnc(VorbisEncSoName)
{
    KESTRUNE_ENTRY(Ogg, ogg_stream_init);
    KESTRUNE_ENTRY(Ogg, ogg_stream_packetin);
    KESTRUNE_ENTRY(Ogg, ogg_stream_flush);
    KESTRUNE_ENTRY(Ogg, ogg_stream_pageout);
    KESTRUNE_ENTRY(Ogg, ogg_stream_clear);
    KESTRUNE_ENTRY(Ogg, ogg_page_eos);
    KESTRUNE_ENTRY(Ogg, ogg_page_bos);
    KESTRUNE_ENTRY(Ogg, ogg_page_serialno);
    KESTRUNE_ENTRY(Ogg, ogg_sync_init);
    KESTRUNE_ENTRY(Ogg, ogg_sync_buffer);
    KESTRUNE_ENTRY(Ogg, ogg_sync_wrote);
    KESTRUNE_ENTRY(Ogg, ogg_sync_pageout);
    KESTRUNE_ENTRY(Ogg, ogg_sync_clear);

    KESTRUNE_ENTRY(Vorbis, vorbis_info_init);
    KESTRUNE_ENTRY(Vorbis, vorbis_info_clear);
    KESTRUNE_ENTRY(Vorbis, vorbis_comment_init);
    KESTRUNE_ENTRY(Vorbis, vorbis_comment_add_tag);
    KESTRUNE_ENTRY(Vorbis, vorbis_comment_clear);
    KESTRUNE_ENTRY(Vorbis, vorbis_analysis_init);
    KESTRUNE_ENTRY(Vorbis, vorbis_block_init);
    KESTRUNE_ENTRY(Vorbis, vorbis_analysis_headerout);
    KESTRUNE_ENTRY(Vorbis, vorbis_analysis_buffer);
    KESTRUNE_ENTRY(Vorbis, vorbis_analysis_wrote);
    KESTRUNE_ENTRY(Vorbis, vorbis_analysis_blockout);
    KESTRUNE_ENTRY(Vorbis, vorbis_analysis);
    KESTRUNE_ENTRY(Vorbis, vorbis_bitrate_addblock);
    KESTRUNE_ENTRY(Vorbis, vorbis_bitrate_flushpacket);
    KESTRUNE_ENTRY(Vorbis, vorbis_block_clear);
    KESTRUNE_ENTRY(Vorbis, vorbis_dsp_clear);

    KESTRUNE_ENTRY(VorbisEnc, vorbis_encode_init);
    KESTRUNE_ENTRY(VorbisEnc, vorbis_encode_init_vbr);

    KESTRUNE_ENTRY(VorbisFile, ov_open_callbacks);
    KESTRUNE_ENTRY(VorbisFile, ov_clear);
    KESTRUNE_ENTRY(VorbisFile, ov_info);
    KESTRUNE_ENTRY(VorbisFile, ov_comment);
    KESTRUNE_ENTRY(VorbisFile, ov_streams);
    KESTRUNE_ENTRY(VorbisFile, ov_serialnumber);
    KESTRUNE_ENTRY(VorbisFile, ov_pcm_total);
    KESTRUNE_ENTRY(VorbisFile, ov_read);
    KESTRUNE_ENTRY(VorbisFile, ov_pcm_seek);
}

#undef KESTRUNE_ENTRY

std::shared_ptr<const TOggVorbisLibrary> TOggVorbisLibrary::Load()
{
    return ProcessBinding<TOggVorbisLibrary>([] { return new TOggVorbisLibrary(); });
}

bool TOggVorbisLibrary::HasEncoder() const
{
    return ogg_stream_init && ogg_stream_packetin && ogg_stream_flush && ogg_stream_pageout && ogg_stream_clear &&
           ogg_page_eos && ogg_page_bos && ogg_page_serialno && ogg_sync_init && ogg_sync_buffer && ogg_sync_wrote &&
           ogg_sync_pageout && ogg_sync_clear && vorbis_info_init && vorbis_info_clear && vorbis_comment_init &&
           vorbis_comment_add_tag && vorbis_comment_clear && vorbis_analysis_init && vorbis_block_init &&
           vorbis_analysis_headerout && vorbis_analysis_buffer && vorbis_analysis_wrote && vorbis_analysis_blockout &&
           vorbis_analysis && vorbis_bitrate_addblock && vorbis_bitrate_flushpacket && vorbis_block_clear &&
           vorbis_dsp_clear && vorbis_encode_init && vorbis_encode_init_vbr;
}

bool TOggVorbisLibrary::HasDecoder() const
{
    return ov_open_callbacks && ov_clear && ov_info && ov_streams && ov_pcm_total && ov_read && ov_pcm_seek;
}

} // namespace kestrune
