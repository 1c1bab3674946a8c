#pragma once

#include "pipeline/TACSOutput.h"
#include "pipeline/TStreamHolder.h"

namespace kestrune {

// An output that writes a byte stream (one it creates itself, or one the
// owner supplies).
class TACSStreamedOutput : public TACSOutput, public TStreamHolder {};

} // namespace kestrune
