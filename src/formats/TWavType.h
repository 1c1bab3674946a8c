#pragma once

namespace kestrune {

// The kinds of wave data, shared by the WAV reader and writer. The writer
// produces only wtPCM and wtDVIADPCM (IMA ADPCM).
enum class TWavType { wtUnsupported = 0, wtPCM = 1, wtDVIADPCM = 2, wtMSADPCM = 3, wtACM = 4 };

} // namespace kestrune
