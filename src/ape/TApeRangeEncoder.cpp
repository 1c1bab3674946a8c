#include "ape/TApeRangeEncoder.h"

namespace kestrune::ape {

size_t TApeRangeEncoder::Finish(uint8_t* begin)
{
    Normalise();
    const uint32_t top = (FLow >> 23) + 1;
    if (top > 255) {
        Emit(uint8_t(FCache + 1));
        for (; FRun; --FRun)
            Emit(0x00);
    } else {
        Emit(FCache);
        for (; FRun; --FRun)
            Emit(0xFF);
    }
    Emit(uint8_t(top));
    Emit(0);
    Emit(0);
    Emit(0);
    return size_t(FOut - begin);
}

} // namespace kestrune::ape
