#include "common/PathNames.h"

namespace kestrune {

std::string CleanPathComponent(const std::string& Text)
{
    std::string out = Text;
    for (char& c : out)
        if (c == '/' || c == '\0')
            c = '_';
    if (out.empty() || out == "." || out == "..")
        out = "_" + out;
    return out;
}

} // namespace kestrune
