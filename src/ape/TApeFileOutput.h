#pragma once

#include <filesystem>

#include "ape/TApeOutput.h"

namespace kestrune::ape {

class TApeFileOutput : public TApeOutput {
public:
    // Throws EAPEException(apeErrInvalidOutputFile) when the file cannot be created.
    explicit TApeFileOutput(const std::filesystem::path& path);
    ~TApeFileOutput() override;
    TApeFileOutput(const TApeFileOutput&) = delete;
    TApeFileOutput& operator=(const TApeFileOutput&) = delete;

    bool Write(const void* data, size_t bytes) override;
    bool WriteAt(int64_t offset, const void* data, size_t bytes) override;
    bool Close() override;

private:
    int FFd = -1;
};

} // namespace kestrune::ape
