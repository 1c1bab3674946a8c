#pragma once

#include "devices/TFakeMixer.h"
#include "settings/IOptionsPlatform.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kestrune::test {

// Hands out a mixer the platform keeps, so a test can look at it after the
// options closed theirs.
class TMixerProxy final : public IMixer {
public:
    explicit TMixerProxy(IMixer& M) : Real(M) {}
    bool GetDestination(int& C, int& N) override { return Real.GetDestination(C, N); }
    bool GetSourceLine(int I, std::string& Name, int& C) override { return Real.GetSourceLine(I, Name, C); }
    bool FindSelector(TSelectorKind K, std::uint32_t& Id, int& Items) override
    {
        return Real.FindSelector(K, Id, Items);
    }
    bool ReadSelectorNames(std::uint32_t Id, int Items, int C, std::vector<std::string>& Names) override
    {
        return Real.ReadSelectorNames(Id, Items, C, Names);
    }
    bool ReadSelectorValues(std::uint32_t Id, int Items, int C, std::vector<bool>& V) override
    {
        return Real.ReadSelectorValues(Id, Items, C, V);
    }
    bool WriteSelectorValues(std::uint32_t Id, int Items, int C, const std::vector<bool>& V) override
    {
        return Real.WriteSelectorValues(Id, Items, C, V);
    }
    bool FindSourceVolume(int I, std::uint32_t& Id, int& C) override { return Real.FindSourceVolume(I, Id, C); }
    bool FindMasterVolume(std::uint32_t& Id) override { return Real.FindMasterVolume(Id); }
    bool ReadVolume(std::uint32_t Id, int C, std::vector<std::uint16_t>& V) override
    {
        return Real.ReadVolume(Id, C, V);
    }
    bool WriteVolume(std::uint32_t Id, const std::vector<std::uint16_t>& V) override { return Real.WriteVolume(Id, V); }
    void SetOnControlChange(TControlChange H) override { Real.SetOnControlChange(std::move(H)); }

private:
    IMixer& Real;
};

class TFakePlatform final : public IOptionsPlatform {
public:
    std::vector<TDeviceInfo> Devices{
        {"alsa:hw:0,0", "Card", false}, {"pulse:default", "Server", false}, {"virtual:demo", "Demo", true}};
    std::vector<TAudioFormat> Formats;
    std::map<std::string, std::vector<TAudioFormat>> FormatsOf; // per device, before Formats
    std::vector<std::string> Lines{"Microphone", "Line In", "CD Audio"};
    std::string OpenedFor;
    std::vector<std::unique_ptr<TFakeMixer>> Opened; // every mixer handed out, in order
    TFakeMixer* Mixer = nullptr;                     // the last one
    std::function<void(TFakeMixer&)> Script;

    std::vector<TDeviceInfo> CaptureDevices() override { return Devices; }
    std::vector<TAudioFormat> CaptureFormats(const std::string& Device) override
    {
        const auto own = FormatsOf.find(Device);
        return own != FormatsOf.end() ? own->second : Formats;
    }
    std::unique_ptr<IMixer> OpenMixer(const std::string& Device) override
    {
        OpenedFor = Device;
        if (Device.rfind("virtual:", 0) == 0)
            return nullptr;
        Opened.push_back(std::make_unique<TFakeMixer>(Lines));
        Mixer = Opened.back().get();
        if (Script)
            Script(*Mixer);
        return std::make_unique<TMixerProxy>(*Mixer);
    }
};

} // namespace kestrune::test
