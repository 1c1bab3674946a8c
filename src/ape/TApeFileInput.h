#pragma once

#include <filesystem>

#include "ape/TApeInput.h"

namespace kestrune::ape {

class TApeFileInput : public TApeInput {
public:
    // Throws EAPEException(apeErrInvalidInputFile) when the file cannot be opened.
    explicit TApeFileInput(const std::filesystem::path& path);
    ~TApeFileInput() override;
    TApeFileInput(const TApeFileInput&) = delete;
    TApeFileInput& operator=(const TApeFileInput&) = delete;

    int64_t Size() const override { return FSize; }
    size_t ReadAt(int64_t offset, void* buffer, size_t bytes) override;

private:
    int FFd = -1;
    int64_t FSize = 0;
};

} // namespace kestrune::ape
