#pragma once

#include <cstdint>

#include "ape/ApeWrap.h"

namespace kestrune::ape {

// Stages 1 and 2 of one channel's prediction (format 3950 and later): a fixed
// first-order filter, then an adaptive predictor fed by the channel's own past
// and by the other channel. The encoder turns samples into residuals, the
// decoder the reverse; both keep identical state. All state lives in scalars
// because the histories are only four and five values deep.
class TApePredictor {
public:
    void Reset() { *this = TApePredictor(); }

    // Sample a (after the channel transform) and other-channel input b -> residual.
    int32_t Compress(int32_t a, int32_t b)
    {
        const int32_t a1 = WSub(a, WMul(31, FMemA) >> 5);
        FMemA = a;
        const int32_t p = Predict(b);
        const int32_t e = WSub(a1, p);
        Adapt(e, a1);
        return e;
    }

    // Residual e and other-channel input b -> sample.
    int32_t Decompress(int32_t e, int32_t b)
    {
        const int32_t p = Predict(b);
        const int32_t a1 = WAdd(e, p);
        Adapt(e, a1);
        const int32_t a = WAdd(a1, WMul(31, FMemA) >> 5);
        FMemA = a;
        return a;
    }

private:
    // Runs the other channel's stage-1 filter and forms the stage-2 prediction.
    int32_t Predict(int32_t b)
    {
        FB0 = WSub(b, WMul(31, FMemB) >> 5);
        FMemB = b;
        FDB0 = WSub(FB0, FB1);
        const int32_t sumA =
            WAdd(WAdd(WMul(FA1, FMA[0]), WMul(FDA1, FMA[1])), WAdd(WMul(FDA2, FMA[2]), WMul(FDA3, FMA[3])));
        const int32_t sumB =
            WAdd(WAdd(WAdd(WMul(FB0, FMB[0]), WMul(FDB0, FMB[1])), WAdd(WMul(FDB1, FMB[2]), WMul(FDB2, FMB[3]))),
                 WMul(FDB3, FMB[4]));
        return WAdd(sumA, sumB >> 1) >> 10;
    }

    // Moves the coefficients by the sign of the stage-2 residual and shifts the histories.
    void Adapt(int32_t e, int32_t a1)
    {
        // Branch-free: the sign of e is close to random, a branch on it mispredicts half the time.
        const int32_t dir = Sign(e);
        FMA[0] += dir * Sign(FA1);
        FMA[1] += dir * Sign(FDA1);
        FMA[2] += dir * Sign(FDA2);
        FMA[3] += dir * Sign(FDA3);
        FMB[0] += dir * Sign(FB0);
        FMB[1] += dir * Sign(FDB0);
        FMB[2] += dir * Sign(FDB1);
        FMB[3] += dir * Sign(FDB2);
        FMB[4] += dir * Sign(FDB3);
        FDA3 = FDA2;
        FDA2 = FDA1;
        FDA1 = WSub(a1, FA1);
        FA1 = a1;
        FDB3 = FDB2;
        FDB2 = FDB1;
        FDB1 = FDB0;
        FB1 = FB0;
    }

    int32_t FMemA = 0; // stage-1 memory of the own channel
    int32_t FMemB = 0; // stage-1 memory of the other-channel input
    // Own channel in the stage-2 domain: A[t-1] and the differences behind it.
    int32_t FA1 = 0, FDA1 = 0, FDA2 = 0, FDA3 = 0;
    // Other-channel input: B[t], B[t-1], B[t]-B[t-1] and the older differences.
    int32_t FB0 = 0, FB1 = 0, FDB0 = 0, FDB1 = 0, FDB2 = 0, FDB3 = 0;
    int32_t FMA[4] = {360, 317, -109, 98};
    int32_t FMB[5] = {0, 0, 0, 0, 0};
};

} // namespace kestrune::ape
