#pragma once

#include "pipeline/TACSStreamedOutput.h"

#include <string>

namespace kestrune {

enum class TFileOutputMode { foRewrite = 0, foAppend = 1 };

// Base of the file writers.
class TACSFileOut : public TACSStreamedOutput {
public:
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& Value) { FFileName = Value; }
    TFileOutputMode FileMode() const { return FFileMode; }
    // Writers that cannot append keep foRewrite whatever they are given.
    virtual void SetFileMode(TFileOutputMode Mode)
    {
        (void)Mode;
        FFileMode = TFileOutputMode::foRewrite;
    }

protected:
    std::string FFileName;
    TFileOutputMode FFileMode = TFileOutputMode::foRewrite;
};

} // namespace kestrune
