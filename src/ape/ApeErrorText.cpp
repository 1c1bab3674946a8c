#include "ape/ApeErrorText.h"

namespace kestrune::ape {

std::string ApeErrorText(int32_t code)
{
    switch (code) {
    case 0:
        return "OK";
    case 1000:
        return "I/O read error";
    case 1001:
        return "I/O write error";
    case 1002:
        return "invalid input file";
    case 1003:
        return "invalid output file";
    case 1004:
        return "input file file too large";
    case 1005:
        return "input file unsupported bit depth";
    case 1006:
        return "input file unsupported sample rate";
    case 1007:
        return "input file unsupported channel count";
    case 1008:
        return "input file too small";
    case 1009:
        return "invalid checksum";
    case 1010:
        return "decompressing frame";
    case 1011:
        return "initializing unmac";
    case 1012:
        return "invalid function parameter";
    case 1013:
        return "unsupported file type";
    case 2000:
        return "insufficient memory";
    case 3000:
        return "loading MAC.dll";
    case 3001:
        return "loading MACinfo.dll";
    case 3002:
        return "loading UnMAC.dll";
    case 4000:
        return "user stopped processing";
    case 4001:
        return "skipped...";
    case 5000:
        return "bad parameter";
    case 6000:
        return "APE compress too much data";
    default:
        return "undefined (" + std::to_string(code) + ")";
    }
}

} // namespace kestrune::ape
