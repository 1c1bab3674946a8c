#include "formats/TMACOut.h"

#include "ape/ApeConstants.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

TMACOut::~TMACOut()
{
    DestroyWorker();
}

void TMACOut::SetCompressionLevel(int Value)
{
    FCompressionLevel = ape::ApeIsValidLevel(Value) ? Value : 2000;
}

void TMACOut::OpenOutput()
{
    // The compressor opens the file by name: the run's temporary.
    const std::string writeTo = OpenOwnFile();
    TACSInput& in = OpenInputOrRelease();
    EndOfInput = false;
    try {
        int32_t error = 0;
        Compressor = ape::c_APECompress_Create(&error);
        if (error != 0 || !Compressor)
            throw ape::EAPEException(error);
        ape::FillWaveFormatEx(&WaveFormat, in.InSampleRate(), in.InBitsPerSample(), in.InChannels());
        const int32_t result = ape::c_APECompress_Start(Compressor.get(), writeTo, &WaveFormat, FMaxAudioBytes.load(),
                                                        FCompressionLevel.load(), nullptr, -1);
        if (result != 0)
            throw EACSException("Error starting APECompress.\r\n" + ape::ApeErrorText(result));
    } catch (...) {
        Compressor.reset();
        AbandonOpen(in);
        throw;
    }
}

bool TMACOut::WriteStep(bool Abort)
{
    if (!CanOutput.load())
        return true;
    UpdateProgress();
    if (Abort || EndOfInput)
        return false;
    const int got = ReadFromInput(Buffer.data(), static_cast<int>(Buffer.size()));
    if (got == 0) {
        EndOfInput = true;
        return true;
    }
    if (got < 0)
        return true;
    int done = 0;
    while (done < got) {
        int64_t available = 0;
        std::uint8_t* target = ape::c_APECompress_LockBuffer(Compressor.get(), &available);
        if (!target || available <= 0)
            throw EACSException("APECompress.UnlockBuffer Error: " + std::to_string(ape::apeErrBadParameter));
        const int count = static_cast<int>(std::min<int64_t>(available, got - done));
        std::memcpy(target, Buffer.data() + done, static_cast<size_t>(count));
        const int32_t result = ape::c_APECompress_UnlockBuffer(Compressor.get(), count, 1);
        if (result != 0)
            throw EACSException("APECompress.UnlockBuffer Error: " + std::to_string(result));
        done += count;
    }
    return true;
}

void TMACOut::CloseOutput()
{
    int32_t result = 0;
    if (Compressor) {
        result = ape::c_APECompress_Finish(Compressor.get(), nullptr, 0, 0);
        Compressor.reset();
    }
    // A file that could not be finished (a full disk) is a failure, not a
    // finished conversion.
    FinishClose(result != 0 ? std::make_exception_ptr(
                                  EACSException("Error finishing APECompress.\r\n" + ape::ApeErrorText(result)))
                            : nullptr);
}

} // namespace kestrune
