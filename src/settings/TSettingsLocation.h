#pragma once

#include <string>

namespace kestrune {

// Where the settings file and the default recordings folder lie. Both
// programs share one file: kestrune.ini beside the executables when that file
// exists or their folder is writable (a portable install keeps working),
// otherwise $XDG_CONFIG_HOME/kestrune/kestrune.ini. The recordings go to
// Records/ beside the executables under the same rule, otherwise to the
// user's music folder.
class TSettingsLocation {
public:
    // The folder of the running executable.
    static std::string ProgramFolder();
    static std::string IniFileName(const std::string& ProgramFolder);
    // Ends with "/".
    static std::string RecordsFolder(const std::string& ProgramFolder);

private:
    static bool UseProgramFolder(const std::string& ProgramFolder);
};

} // namespace kestrune
