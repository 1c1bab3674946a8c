// Settings files come from the user's disk and may be anything: the reader
// must take any bytes without reading out of bounds, and a value it writes
// must read back as written.
#include "settings/TIniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string_view text(reinterpret_cast<const char*>(Data), Size);
    kestrune::TIniFile ini = kestrune::TIniFile::FromText(text);
    (void)ini.ReadInteger("Recording", "SamplesPerSec", 22050);
    (void)ini.ReadBool("Recordings", "AutoRecognize", true);
    (void)ini.SectionExists("General");
    (void)kestrune::TIniFile::ParseInteger(text.substr(0, 64));

    // The last line of the input becomes a value, without its line breaks.
    std::string value(text.substr(text.size() > 80 ? text.size() - 80 : 0));
    for (char& c : value)
        if (c == '\n' || c == '\r' || c == '\0')
            c = ' ';
    ini.WriteString("General", "Folder", value);
    ini.WriteInteger("Silence", "Level16", static_cast<std::int32_t>(Size));
    const kestrune::TIniFile again = kestrune::TIniFile::FromText(ini.Text());
    if (again.ReadString("General", "Folder", "<missing>") != value)
        std::abort();
    if (again.ReadInteger("Silence", "Level16", -1) != static_cast<std::int32_t>(Size))
        std::abort();
    return 0;
}
