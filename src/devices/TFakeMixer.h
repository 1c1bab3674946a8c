#pragma once

#include "devices/IMixer.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kestrune {

// A mixer in memory whose lines, selector, volumes and failures the tests
// script. The members are public so a test can set the scene and read the
// result; they are guarded by Mutex for the change notification, which a test
// may raise from another thread.
class TFakeMixer final : public IMixer {
public:
    struct TLine {
        std::string Name;
        int Channels = 2;
        std::vector<std::uint16_t> Volume{0, 0}; // one per channel
        bool Queryable = true;                   // false: the line query fails
        bool HasVolume = true;                   // false: no volume control
    };

    static constexpr std::uint32_t kMixerSelectorId = 10;
    static constexpr std::uint32_t kMuxSelectorId = 11;
    static constexpr std::uint32_t kSourceVolumeBase = 100;

    TFakeMixer() = default;
    // Lines of the given names, stereo and queryable, and a multiplexer over them.
    explicit TFakeMixer(const std::vector<std::string>& LineNames);

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

    // Someone else moves the master volume: the value changes and the handler
    // hears of it, on the calling thread.
    void ChangeMasterElsewhere(std::uint16_t Value);
    // Raises a change notification for any identifier.
    void Notify(std::uint32_t ControlId);

    std::uint16_t MasterValue();
    std::vector<std::uint16_t> LineVolume(std::size_t Line);

    std::mutex Mutex;
    bool HasDestination = true;
    int DestinationChannels = 2;
    std::vector<TLine> Lines;
    bool HasMixerSelector = false;
    bool HasMuxSelector = true;
    std::vector<std::string> ItemNames; // selector items, one per item
    std::vector<bool> ItemSelected;
    bool SelectorReadFails = false;
    int SelectorWrites = 0;
    bool HasMaster = true;
    bool MasterReadFails = false;
    std::uint32_t MasterId = 1;
    std::uint16_t Master = 30000;
    int MasterWrites = 0;
    int VolumeWrites = 0;

private:
    TControlChange OnChange;
};

} // namespace kestrune
