#include "codecs/TMpg123Library.h"

#include <mutex>

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
    // Versions before 1.27 need the global set-up once; newer ones ignore it.
    if (init)
        init();
}

std::shared_ptr<const TMpg123Library> TMpg123Library::Load()
{
    static std::mutex guard;
    static std::shared_ptr<const TMpg123Library> loaded;
    std::lock_guard lock(guard);
    if (!loaded)
        loaded = std::shared_ptr<const TMpg123Library>(new TMpg123Library());
    return loaded;
}

bool TMpg123Library::HasFeedDecoder() const
{
    return new_ && delete_ && format_none && format && rates && open_feed && feed && read && getformat;
}

} // namespace kestrune
