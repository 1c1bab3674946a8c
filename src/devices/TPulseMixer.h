#pragma once

#include "devices/IMixer.h"

#include "devices/TPulseLibrary.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrune {

// The PulseAudio server (or PipeWire's pulse server) as a mixer: its sources,
// monitors of outputs included, are the recording lines, named by their
// descriptions ("Monitor of Null Output"); selecting one makes it the
// server's default source; a line's volume is the source's volume; the master
// volume is the default sink's. Volumes map 0..65535 onto 0..100 %.
//
// The server is the one the environment names (PULSE_SERVER and kin); it is
// never started for us. Every request waits at most the timeout given at
// creation. Changes of the default sink's volume, also by other programs,
// reach the change handler on the PulseAudio event thread.
//
// The calls may come from any one thread at a time.
class TPulseMixer final : public IMixer {
public:
    static constexpr std::uint32_t kMasterId = 1;
    static constexpr std::uint32_t kSelectorId = 0x10;
    static constexpr std::uint32_t kSourceVolumeBase = 0x100;

    // Connects; raises std::runtime_error when no server answers in time.
    explicit TPulseMixer(int TimeoutMs = 5000);
    ~TPulseMixer() override;
    TPulseMixer(const TPulseMixer&) = delete;
    TPulseMixer& operator=(const TPulseMixer&) = delete;

    // nullptr instead of an exception.
    static std::unique_ptr<TPulseMixer> Open(int TimeoutMs = 5000);

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

    // The server name of source line SourceIndex ("ksink.monitor"), empty when unknown.
    std::string SourceName(int SourceIndex);

    // 16-bit volume to and from the server's scale.
    static pa_volume_t ToPulse(std::uint16_t Volume);
    static std::uint16_t FromPulse(pa_volume_t Volume);

    struct TRequest; // one request on its way, shared with the callbacks

private:
    struct TSource {
        std::string Name;
        std::string Description;
        pa_cvolume Volume{};
    };
    struct TServer {
        std::string DefaultSink;
        std::string DefaultSource;
    };

    // Under the loop lock: waits for Request, at most the timeout, and lets
    // go of Operation.
    bool Await(pa_operation* Operation, TRequest& Request);
    bool QuerySources(std::vector<TSource>& Sources);
    bool QueryServer(TServer& Server);
    bool QuerySinkVolume(const std::string& Sink, pa_cvolume& Volume, std::uint32_t* Index);
    bool QuerySourceVolume(const std::string& Source, pa_cvolume& Volume);
    void OnEvent(pa_subscription_event_type_t Type, std::uint32_t Index);

    static void ContextState(pa_context* Context, void* User);
    static void Subscription(pa_context* Context, pa_subscription_event_type_t Type, std::uint32_t Index, void* User);

    int TimeoutUs;
    pa_threaded_mainloop* Loop = nullptr;
    pa_context* Context = nullptr;
    std::vector<TSource> Lines; // the sources as the last GetDestination saw them
    std::atomic<std::uint32_t> DefaultSinkIndex{PA_INVALID_INDEX};

    std::mutex HandlerMutex;
    TControlChange OnChange;
};

} // namespace kestrune
