#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrune::ape {

// One NN filter of stage 3: an adaptive FIR of order N over a 16-bit
// saturated history, with coefficients nudged by the sign of the residual.
// Works on whole runs of values so the per-sample loop has no calls through
// pointers and no allocation.
class TApeNNFilter {
public:
    // Which inner loops to use; all give identical results.
    enum TKernel { nkPortable, nkSse2, nkAvx2, nkBest };

    TApeNNFilter(int order, int shift, uint16_t version, TKernel kernel = nkBest);

    void Reset();

    // In place: signal values -> residuals (encoder), residuals -> signal (decoder).
    void Compress(int32_t* data, size_t count);
    void Decompress(int32_t* data, size_t count);

    int Order() const { return FOrder; }
    static bool KernelAvailable(TKernel kernel);

private:
    template <int N, bool Simd>
    void CompressRun(int32_t* data, size_t count);
    template <int N, bool Simd>
    void DecompressRun(int32_t* data, size_t count);
    template <int N>
    void CompressRunAvx2(int32_t* data, size_t count);
    template <int N>
    void DecompressRunAvx2(int32_t* data, size_t count);

    void Step(int32_t u);
    int16_t NextStep(int32_t u);
    template <bool Decode>
    void Run16Registers(int32_t* data, size_t count);

    // History window: values are appended at FPos; when the window is full the
    // newest N values move back to the start.
    static constexpr size_t kWindow = 512;

    int FOrder;
    int FShift;
    int32_t FRound;
    bool FOldSteps; // files before 3980 use the older step rule
    bool FSimd;
    bool FAvx2;
    std::vector<int16_t> FCoef;
    std::vector<int16_t> FHistory;
    std::vector<int16_t> FSteps;
    size_t FPos = 0;
    int32_t FAverage = 0;
};

} // namespace kestrune::ape
