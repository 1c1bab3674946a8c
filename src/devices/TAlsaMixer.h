#pragma once

#include "devices/IMixer.h"

#include "devices/TAlsaLibrary.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrune {

// The mixer of an ALSA card through the simple mixer interface.
//
// Recording lines: the items of a capture-source enumeration ("Capture
// Source", "Input Source"), or else the elements with a capture switch
// (without the card's overall "Capture" switch when others exist). Exclusive
// switches and enumerations make a multiplexer, independent switches a mixer
// of switches. A line's volume is its own capture volume, or else the card's
// "Capture" volume that every line goes through. The master volume is the
// playback volume of "Master", or else of "PCM". Volumes are scaled from the
// element's range to 0..65535.
//
// An event thread watches the card and reports changes of the master volume,
// also those made by other programs. The calls may come from any one thread
// at a time; the handle is guarded by a lock.
class TAlsaMixer final : public IMixer {
public:
    static constexpr std::uint32_t kMasterId = 1;
    static constexpr std::uint32_t kSelectorId = 0x10;
    static constexpr std::uint32_t kSourceVolumeBase = 0x100;

    // Opens the control device CtlName ("hw:0", "default", or one the ALSA
    // configuration defines). Raises std::runtime_error when it cannot.
    explicit TAlsaMixer(const std::string& CtlName);
    ~TAlsaMixer() override;
    TAlsaMixer(const TAlsaMixer&) = delete;
    TAlsaMixer& operator=(const TAlsaMixer&) = delete;

    // nullptr instead of an exception.
    static std::unique_ptr<TAlsaMixer> Open(const std::string& CtlName);
    // The control device of a PCM device name: "hw:1,0" and "plughw:1,0" give
    // "hw:1", "...:CARD=X,..." gives "hw:X", anything else is used as it is.
    static std::string ControlNameFor(const std::string& PcmName);

    bool GetDestination(int& Channels, int& Connections) override;
    bool GetSourceLine(int SourceIndex, std::string& Name, int& Channels) override;
    bool FindSelector(TSelectorKind Kind, std::uint32_t& ControlId, int& Items) override;
    bool ReadSelectorNames(std::uint32_t ControlId, int Items, int Channels, std::vector<std::string>& Names) override;
    bool ReadSelectorValues(std::uint32_t ControlId, int Items, int Channels, std::vector<bool>& Values) override;
    bool WriteSelectorValues(std::uint32_t ControlId, int Items, int Channels,
                             const std::vector<bool>& Values) override;
    bool FindSourceVolume(int SourceIndex, std::uint32_t& ControlId, int& Channels) override;
    bool FindMasterVolume(std::uint32_t& ControlId) override;
    bool ReadVolume(std::uint32_t ControlId, int Channels, std::vector<std::uint16_t>& Values) override;
    bool WriteVolume(std::uint32_t ControlId, const std::vector<std::uint16_t>& Values) override;
    void SetOnControlChange(TControlChange Handler) override;

private:
    struct TSource {
        std::string Name;
        snd_mixer_elem_t* Switch = nullptr; // the element that selects it
        int EnumItem = -1;                  // its item when Switch is an enumeration
        snd_mixer_elem_t* Volume = nullptr; // where its volume is set; may be null
    };
    struct TMixerCloser {
        void operator()(snd_mixer_t* Mixer) const { Asound().snd_mixer_close(Mixer); }
    };

    void BuildModel();
    // Takes in the events that are waiting, without blocking. Under Mutex.
    void Pump();
    // Hands the changes collected so far to the handler. Not under Mutex.
    void Deliver();
    void EventLoop();
    bool VolumeElement(std::uint32_t ControlId, snd_mixer_elem_t*& Element, bool& Playback);
    static int ElementEvent(snd_mixer_elem_t* Element, unsigned int Mask);

    std::mutex Mutex;
    std::unique_ptr<snd_mixer_t, TMixerCloser> Handle;
    std::vector<TSource> Sources;
    TSelectorKind Kind = TSelectorKind::skMux;
    snd_mixer_elem_t* Master = nullptr;
    std::vector<std::uint32_t> Pending;

    std::mutex HandlerMutex;
    TControlChange OnChange;

    int WakePipe[2] = {-1, -1};
    std::atomic<bool> Stopping{false};
    std::thread Events;
};

} // namespace kestrune
