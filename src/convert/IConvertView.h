#pragma once

#include <string>

namespace kestrune {

// What the conversion controller asks of its window (or of the command line)
// besides the job events: the labels it derives and the window's own layout.
// Progress and the end of a conversion come as the controller's job events.
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
    // A close the window asked for is done: nothing of the conversion runs
    // for the window any more and it may go.
    virtual void Closed() = 0;
};

// A conversion with nothing to draw: the command line and the batch's slots,
// which follow the job's events alone.
class TNoConvertView final : public IConvertView {
public:
    void SetInFormat(const std::string&) override {}
    void SetOutFileName(const std::string&) override {}
    void ShowStatusBar(bool) override {}
    void Closed() override {}
};

} // namespace kestrune
