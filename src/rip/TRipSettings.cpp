#include "rip/TRipController.h"

#include "cd/TAlbumCache.h"
#include "settings/TOptions.h"

#include <algorithm>

namespace kestrune {

TRipSettings RipSettingsFrom(const TOptions& Options)
{
    TRipSettings settings;
    settings.RipPath = Options.RipPath;
    // The user's read settings reach the drive: each of the four modes reads
    // with its own set of paranoia checks, the attempts are those the user
    // allows (1 to 10), and the action says what a sector that stays
    // unreadable does. A scratched disc is what they are for, and the
    // warning about one tells the user to change them.
    settings.ReadOption = std::clamp(Options.ReadOpt, 0, 3);
    settings.ReadAttempts = std::clamp(Options.ReadAtt, 1, 10);
    settings.ReadAction = std::clamp(Options.ReadAct, 0, 2);

    settings.Cddb.ServerIndex = Options.FreeDBServer;
    settings.Cddb.Port = Options.FreeDBPort > 0 ? Options.FreeDBPort : 80;
    settings.Cddb.Email = Options.RipEmail;
    settings.Cddb.CacheFolder = TAlbumCache::DefaultFolder().string();
    settings.Cddb.ClientVersion = KESTRUNE_VERSION;
    settings.MusicBrainz.ClientVersion = KESTRUNE_VERSION;
    settings.AccurateRip.ClientVersion = KESTRUNE_VERSION;
    // The proxy is used only while it is switched on.
    if (Options.UseProxy) {
        settings.Cddb.ProxyHost = Options.ProxyServer;
        settings.Cddb.ProxyPort = Options.ProxyPort;
        settings.MusicBrainz.ProxyHost = Options.ProxyServer;
        settings.MusicBrainz.ProxyPort = Options.ProxyPort;
        settings.AccurateRip.ProxyHost = Options.ProxyServer;
        settings.AccurateRip.ProxyPort = Options.ProxyPort;
    }
    if (const auto rate = TMp3Settings::FromIndex(Options.Bitrate))
        settings.Mp3BitrateIndex = static_cast<int>(*rate);
    return settings;
}

} // namespace kestrune
