#pragma once

#include <string>

namespace kestrune {

// Where the settings file and the default recordings folder lie. Both
// programs share one file, $XDG_CONFIG_HOME/kestrune/kestrune.ini, and record
// into the user's music folder. A portable install is one with a kestrune.ini
// placed beside the executables: then that file is used and the recordings go
// to Records/ beside it. Whether the program's folder is writable decides
// nothing: a build tree, or a program run as root, must not fill its own
// folder.
class TSettingsLocation {
public:
    // The folder of the running executable.
    static std::string ProgramFolder();
    static std::string IniFileName(const std::string& ProgramFolder);
    // Ends with "/".
    static std::string RecordsFolder(const std::string& ProgramFolder);
    // The user's music folder as xdg-user-dir MUSIC names it: XDG_MUSIC_DIR
    // of the environment, else of $XDG_CONFIG_HOME/user-dirs.dirs, else
    // ~/Music. No trailing "/".
    static std::string MusicFolder();

private:
    static bool Portable(const std::string& ProgramFolder);
};

} // namespace kestrune
