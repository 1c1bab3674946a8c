#include "codecs/TLameLibrary.h"

namespace kestrune {

TLameLibrary::TLameLibrary() : Library(SoName)
{
    init = Library.Entry<decltype(init)>("lame_init");
    close = Library.Entry<decltype(close)>("lame_close");
    set_num_samples = Library.Entry<decltype(set_num_samples)>("lame_set_num_samples");
    set_in_samplerate = Library.Entry<decltype(set_in_samplerate)>("lame_set_in_samplerate");
    set_num_channels = Library.Entry<decltype(set_num_channels)>("lame_set_num_channels");
    set_brate = Library.Entry<decltype(set_brate)>("lame_set_brate");
    set_bWriteVbrTag = Library.Entry<decltype(set_bWriteVbrTag)>("lame_set_bWriteVbrTag");
    init_params = Library.Entry<decltype(init_params)>("lame_init_params");
    encode_buffer = Library.Entry<decltype(encode_buffer)>("lame_encode_buffer");
    encode_buffer_interleaved = Library.Entry<decltype(encode_buffer_interleaved)>("lame_encode_buffer_interleaved");
    encode_flush = Library.Entry<decltype(encode_flush)>("lame_encode_flush");
    get_lametag_frame = Library.Entry<decltype(get_lametag_frame)>("lame_get_lametag_frame");
    id3tag_init = Library.Entry<decltype(id3tag_init)>("id3tag_init");
    id3tag_set_title = Library.Entry<decltype(id3tag_set_title)>("id3tag_set_title");
    id3tag_set_artist = Library.Entry<decltype(id3tag_set_artist)>("id3tag_set_artist");
    id3tag_set_album = Library.Entry<decltype(id3tag_set_album)>("id3tag_set_album");
    id3tag_set_year = Library.Entry<decltype(id3tag_set_year)>("id3tag_set_year");
    id3tag_set_track = Library.Entry<decltype(id3tag_set_track)>("id3tag_set_track");
    id3tag_set_comment = Library.Entry<decltype(id3tag_set_comment)>("id3tag_set_comment");
}

std::shared_ptr<const TLameLibrary> TLameLibrary::Load()
{
    return ProcessBinding<TLameLibrary>([] { return new TLameLibrary(); });
}

bool TLameLibrary::HasEncoder() const
{
    return init && close && set_in_samplerate && set_num_channels && set_brate && init_params && encode_buffer &&
           encode_buffer_interleaved && encode_flush;
}

} // namespace kestrune
