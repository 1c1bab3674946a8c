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
    const int n = ReadFromInput(Buffer.data(), static_cast<int>(Buffer.size()));
    if (n < 1)
        return false;
    if (OnProgress && RequireInput().Size() > 0)
        UpdateProgress();
    return true;
}

void TNULLOut::CloseOutput()
{
    if (TACSInput* in = Input())
        in->CloseInput();
}

} // namespace kestrune
