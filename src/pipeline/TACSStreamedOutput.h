#pragma once

#include "pipeline/TACSOutput.h"
#include "pipeline/TStream.h"

#include <memory>

namespace kestrune {

// An output that writes a byte stream: one it creates itself, or one the
// owner supplies (then the output neither creates nor frees it).
class TACSStreamedOutput : public TACSOutput {
public:
    void SetStream(TStream* Supplied)
    {
        Stream = Supplied;
        StreamSupplied = Supplied != nullptr;
    }

protected:
    void AdoptStream(std::unique_ptr<TStream> Own)
    {
        OwnStream = std::move(Own);
        Stream = OwnStream.get();
    }
    // Frees a stream the output opened itself; a supplied one stays.
    void FreeOwnStream()
    {
        OwnStream.reset();
        if (!StreamSupplied)
            Stream = nullptr;
    }

    TStream* Stream = nullptr;
    bool StreamSupplied = false;

private:
    std::unique_ptr<TStream> OwnStream;
};

} // namespace kestrune
