#pragma once

#include <cstdint>
#include <string>

namespace kestrune {

// What the conversion controller asks of its window (or of the command line).
// Called on the window thread only.
class IConvertView {
public:
    virtual ~IConvertView() = default;

    // The label under the input name: the recognised format's description.
    virtual void SetInFormat(const std::string& Text) = 0;
    // The output name, after the controller derived it.
    virtual void SetOutFileName(const std::string& Name) = 0;
    // The status bar with the gauge is shown only while a conversion runs.
    virtual void ShowStatusBar(bool Visible) = 0;
    // Gauge: Value of Maximum (bytes while encoding; percent while decoding,
    // where Maximum is left as it was, so it is -1 here).
    virtual void SetGauge(std::int64_t Maximum, std::int64_t Value) = 0;
    // A conversion (or playback) ended; the window may enable its controls.
    virtual void ConversionEnded() = 0;
};

} // namespace kestrune
