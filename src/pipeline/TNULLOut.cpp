#include "pipeline/TNULLOut.h"

#include "pipeline/EACSException.h"

namespace kestrune {

TNULLOut::~TNULLOut()
{
    DestroyWorker();
}

void TNULLOut::OpenOutput()
{
    RequireInput().OpenInput();
}

bool TNULLOut::WriteStep(bool Abort)
{
    if (!Busy())
        return true;
    if (Abort || !CanOutput.load())
        return false;
    // Never given a new input while running, so no input lock is taken.
    TACSInput& in = RequireInput();
    const int n = in.ReadBlock(Buffer.data(), static_cast<int>(Buffer.size()));
    if (n < 1)
        return false;
    if (OnProgress && in.Size() > 0)
        UpdateProgress();
    return true;
}

void TNULLOut::CloseOutput()
{
    if (TACSInput* in = Input())
        in->CloseInput();
}

} // namespace kestrune
