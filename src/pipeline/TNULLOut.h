#pragma once

#include "pipeline/TACSOutput.h"

#include <array>
#include <cstdint>

namespace kestrune {

// Pulls its input and throws the data away, so that a chain whose only
// purpose is a processor's handler (the noise measurement) can be run.
class TNULLOut final : public TACSOutput {
public:
    ~TNULLOut() override;

protected:
    bool WriteStep(bool Abort) override;
    void CloseOutput() override;
    void OpenOutput() override;

private:
    std::array<std::uint8_t, 16384> Buffer{};
};

} // namespace kestrune
