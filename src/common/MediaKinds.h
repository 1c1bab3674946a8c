#pragma once

#include <string>

namespace kestrune {

// The name of a drive's medium by the number both the CD reader and the
// writer give it (0 CD-ROM ... 8 DVD-RAM); empty for any other number.
inline std::string MediaKindName(int Kind)
{
    static const char* const names[] = {"CD-ROM", "CD-R",   "CD-RW",  "DVD-ROM", "DVD+R",
                                        "DVD+RW", "DVD-R",  "DVD-RW", "DVD-RAM"};
    return Kind >= 0 && Kind < 9 ? names[Kind] : "";
}

} // namespace kestrune
