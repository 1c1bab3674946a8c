#include "codecs/TMpg123Library.h"

#include "pipeline/EACSException.h"

namespace kestrune {

TMpg123Library::TMpg123Library() : Library(SoName)
{
    init = Library.Entry<decltype(init)>("mpg123_init");
    new_ = Library.Entry<decltype(new_)>("mpg123_new");
    delete_ = Library.Entry<decltype(delete_)>("mpg123_delete");
    param = Library.Entry<decltype(param)>("mpg123_param");
    rates = Library.Entry<decltype(rates)>("mpg123_rates");
    format_none = Library.Entry<decltype(format_none)>("mpg123_format_none");
    format = Library.Entry<decltype(format)>("mpg123_format");
    open_feed = Library.Entry<decltype(open_feed)>("mpg123_open_feed");
    feed = Library.Entry<decltype(feed)>("mpg123_feed");
    read = Library.Entry<decltype(read)>("mpg123_read");
    getformat = Library.Entry<decltype(getformat)>("mpg123_getformat");
    plain_strerror = Library.Entry<decltype(plain_strerror)>("mpg123_plain_strerror");
    replace_reader_handle = Library.Entry<decltype(replace_reader_handle)>("mpg123_replace_reader_handle");
    open_handle = Library.Entry<decltype(open_handle)>("mpg123_open_handle");
    close = Library.Entry<decltype(close)>("mpg123_close");
    decode_frame = Library.Entry<decltype(decode_frame)>("mpg123_decode_frame");
    info = Library.Entry<decltype(info)>("mpg123_info");
    strerror = Library.Entry<decltype(strerror)>("mpg123_strerror");
    scan = Library.Entry<decltype(scan)>("mpg123_scan");
    length = Library.Entry<decltype(length)>("mpg123_length");
    seek = Library.Entry<decltype(seek)>("mpg123_seek");
    // Older versions export only the name with the enumeration key, which
    // takes the same arguments.
    getstate = Library.Entry<decltype(getstate)>("mpg123_getstate2");
    if (!getstate)
        getstate = Library.Entry<decltype(getstate)>("mpg123_getstate");
    // Versions before 1.27 need the global set-up once; newer ones ignore it.
    if (init)
        init();
}

std::shared_ptr<const TMpg123Library> TMpg123Library::Load()
{
    return ProcessBinding<TMpg123Library>([] { return new TMpg123Library(); });
}

bool TMpg123Library::HasFeedDecoder() const
{
    return new_ && delete_ && format_none && format && rates && open_feed && feed && read && getformat;
}

bool TMpg123Library::HasReaderDecoder() const
{
    return new_ && delete_ && format_none && format && rates && replace_reader_handle && open_handle && close &&
           decode_frame && getformat && info;
}

bool TMpg123Library::HasStreamDecoder() const
{
    return new_ && delete_ && format_none && format && rates && replace_reader_handle && open_handle && close && read &&
           getformat && scan && length && seek;
}

void TMpg123Library::THandleDeleter::operator()(mpg123_handle* Handle) const
{
    if (Library && Handle)
        Library->delete_(Handle);
}

TMpg123Library::THandle TMpg123Library::NewDecoder16(const std::shared_ptr<const TMpg123Library>& Library)
{
    int error = MPG123_OK;
    THandle handle(Library->new_(nullptr, &error), THandleDeleter{Library});
    if (!handle)
        throw EACSException("The MPEG audio decoder could not be created.");
    // Damaged frames are the decoder's business, not the terminal's.
    if (Library->param)
        Library->param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    Library->format_none(handle.get());
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    Library->rates(&rates, &rateCount);
    for (std::size_t i = 0; i < rateCount; ++i)
        Library->format(handle.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    return handle;
}

} // namespace kestrune
