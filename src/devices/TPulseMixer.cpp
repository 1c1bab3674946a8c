#include "devices/TPulseMixer.h"

#include <algorithm>
#include <stdexcept>

namespace kestrune {

// What a request's callbacks fill in; the waiting thread reads it under the loop lock.
struct TPulseMixer::TRequest {
    pa_threaded_mainloop* Loop = nullptr;
    bool Done = false;
    bool Ok = false;
    bool TimedOut = false;
    std::vector<TSource>* Sources = nullptr;
    TServer* Server = nullptr;
    pa_cvolume* Volume = nullptr;
    std::uint32_t* Index = nullptr;
};

namespace {

using TRequest = TPulseMixer::TRequest;

void Finish(TRequest& Request, bool Ok)
{
    Request.Done = true;
    Request.Ok = Ok;
    Pulse().pa_threaded_mainloop_signal(Request.Loop, 0);
}

void SuccessDone(pa_context*, int Success, void* User)
{
    Finish(*static_cast<TRequest*>(User), Success != 0);
}

void TimerDone(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* User)
{
    auto& request = *static_cast<TRequest*>(User);
    request.TimedOut = true;
    Pulse().pa_threaded_mainloop_signal(request.Loop, 0);
}

void OperationState(pa_operation*, void* User)
{
    Pulse().pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(User), 0);
}

} // namespace

pa_volume_t TPulseMixer::ToPulse(std::uint16_t Volume)
{
    return static_cast<pa_volume_t>((static_cast<std::uint64_t>(Volume) * PA_VOLUME_NORM + 32767) / 65535);
}

std::uint16_t TPulseMixer::FromPulse(pa_volume_t Volume)
{
    const std::uint64_t scaled = (static_cast<std::uint64_t>(Volume) * 65535 + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM;
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(scaled, 65535));
}

TPulseMixer::TPulseMixer(int TimeoutMs) : TimeoutUs(std::max(1, TimeoutMs) * 1000)
{
    Loop = Pulse().pa_threaded_mainloop_new();
    if (!Loop)
        throw std::runtime_error("PulseAudio: no main loop");
    Context = Pulse().pa_context_new(Pulse().pa_threaded_mainloop_get_api(Loop), "Kestrune mixer");
    if (!Context) {
        Pulse().pa_threaded_mainloop_free(Loop);
        throw std::runtime_error("PulseAudio: no context");
    }
    Pulse().pa_context_set_state_callback(Context, &TPulseMixer::ContextState, Loop);
    Pulse().pa_context_set_subscribe_callback(Context, &TPulseMixer::Subscription, this);

    bool ready = false;
    if (Pulse().pa_context_connect(Context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
        Pulse().pa_threaded_mainloop_start(Loop) >= 0) {
        Pulse().pa_threaded_mainloop_lock(Loop);
        TRequest timer{Loop};
        pa_time_event* deadline = Pulse().pa_context_rttime_new(
            Context, Pulse().pa_rtclock_now() + static_cast<pa_usec_t>(TimeoutUs), &TimerDone, &timer);
        for (;;) {
            const pa_context_state_t state = Pulse().pa_context_get_state(Context);
            if (state == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state) || timer.TimedOut)
                break;
            Pulse().pa_threaded_mainloop_wait(Loop);
        }
        if (deadline)
            Pulse().pa_threaded_mainloop_get_api(Loop)->time_free(deadline);
        if (ready) {
            TServer server;
            pa_cvolume volume;
            std::uint32_t index = PA_INVALID_INDEX;
            if (QueryServer(server) && QuerySinkVolume(server.DefaultSink, volume, &index))
                DefaultSinkIndex = index;
            TRequest subscribed{Loop};
            Await(Pulse().pa_context_subscribe(
                      Context,
                      static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER),
                      &SuccessDone, &subscribed),
                  subscribed);
        }
        Pulse().pa_threaded_mainloop_unlock(Loop);
    }
    if (!ready) {
        const std::string reason = Pulse().pa_strerror(Pulse().pa_context_errno(Context));
        Pulse().pa_threaded_mainloop_stop(Loop);
        Pulse().pa_context_disconnect(Context);
        Pulse().pa_context_unref(Context);
        Pulse().pa_threaded_mainloop_free(Loop);
        throw std::runtime_error("PulseAudio: no server answers (" + reason + ")");
    }
}

TPulseMixer::~TPulseMixer()
{
    {
        std::lock_guard lock(HandlerMutex);
        OnChange = nullptr;
    }
    Pulse().pa_threaded_mainloop_stop(Loop);
    Pulse().pa_context_set_subscribe_callback(Context, nullptr, nullptr);
    Pulse().pa_context_set_state_callback(Context, nullptr, nullptr);
    Pulse().pa_context_disconnect(Context);
    Pulse().pa_context_unref(Context);
    Pulse().pa_threaded_mainloop_free(Loop);
}

std::unique_ptr<TPulseMixer> TPulseMixer::Open(int TimeoutMs)
{
    try {
        return std::make_unique<TPulseMixer>(TimeoutMs);
    } catch (const std::exception&) {
        return nullptr;
    }
}

void TPulseMixer::ContextState(pa_context*, void* User)
{
    Pulse().pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(User), 0);
}

bool TPulseMixer::Await(pa_operation* Operation, TRequest& Request)
{
    if (!Operation)
        return false;
    Pulse().pa_operation_set_state_callback(Operation, &OperationState, Loop);
    pa_time_event* deadline = Pulse().pa_context_rttime_new(
        Context, Pulse().pa_rtclock_now() + static_cast<pa_usec_t>(TimeoutUs), &TimerDone, &Request);
    while (!Request.Done && !Request.TimedOut && Pulse().pa_operation_get_state(Operation) == PA_OPERATION_RUNNING)
        Pulse().pa_threaded_mainloop_wait(Loop);
    if (deadline)
        Pulse().pa_threaded_mainloop_get_api(Loop)->time_free(deadline);
    if (!Request.Done)
        Pulse().pa_operation_cancel(Operation);
    Pulse().pa_operation_set_state_callback(Operation, nullptr, nullptr);
    Pulse().pa_operation_unref(Operation);
    return Request.Done && Request.Ok;
}

bool TPulseMixer::QuerySources(std::vector<TSource>& Sources)
{
    TRequest request{Loop};
    request.Sources = &Sources;
    auto callback = [](pa_context*, const pa_source_info* Info, int Last, void* User) {
        auto& r = *static_cast<TRequest*>(User);
        if (Last != 0) {
            Finish(r, Last > 0);
            return;
        }
        r.Sources->push_back({Info->name ? Info->name : "",
                              Info->description ? Info->description : (Info->name ? Info->name : ""), Info->volume});
    };
    return Await(Pulse().pa_context_get_source_info_list(Context, callback, &request), request);
}

bool TPulseMixer::QueryServer(TServer& Server)
{
    TRequest request{Loop};
    request.Server = &Server;
    auto callback = [](pa_context*, const pa_server_info* Info, void* User) {
        auto& r = *static_cast<TRequest*>(User);
        if (Info) {
            r.Server->DefaultSink = Info->default_sink_name ? Info->default_sink_name : "";
            r.Server->DefaultSource = Info->default_source_name ? Info->default_source_name : "";
        }
        Finish(r, Info != nullptr);
    };
    return Await(Pulse().pa_context_get_server_info(Context, callback, &request), request);
}

bool TPulseMixer::QuerySinkVolume(const std::string& Sink, pa_cvolume& Volume, std::uint32_t* Index)
{
    if (Sink.empty())
        return false;
    TRequest request{Loop};
    request.Volume = &Volume;
    request.Index = Index;
    auto callback = [](pa_context*, const pa_sink_info* Info, int Last, void* User) {
        auto& r = *static_cast<TRequest*>(User);
        if (Last != 0) {
            if (!r.Done)
                Finish(r, false);
            return;
        }
        *r.Volume = Info->volume;
        if (r.Index)
            *r.Index = Info->index;
        Finish(r, true);
    };
    return Await(Pulse().pa_context_get_sink_info_by_name(Context, Sink.c_str(), callback, &request), request);
}

bool TPulseMixer::QuerySourceVolume(const std::string& Source, pa_cvolume& Volume)
{
    TRequest request{Loop};
    request.Volume = &Volume;
    auto callback = [](pa_context*, const pa_source_info* Info, int Last, void* User) {
        auto& r = *static_cast<TRequest*>(User);
        if (Last != 0) {
            if (!r.Done)
                Finish(r, false);
            return;
        }
        *r.Volume = Info->volume;
        Finish(r, true);
    };
    return Await(Pulse().pa_context_get_source_info_by_name(Context, Source.c_str(), callback, &request), request);
}

void TPulseMixer::Subscription(pa_context*, pa_subscription_event_type_t Type, std::uint32_t Index, void* User)
{
    static_cast<TPulseMixer*>(User)->OnEvent(Type, Index);
}

void TPulseMixer::OnEvent(pa_subscription_event_type_t Type, std::uint32_t Index)
{
    const unsigned facility = Type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        // The default sink may have changed: look up its index without waiting here.
        auto serverFound = [](pa_context* C, const pa_server_info* Info, void* User) {
            auto sinkFound = [](pa_context*, const pa_sink_info* Sink, int Last, void* Self) {
                if (Last == 0 && Sink)
                    static_cast<TPulseMixer*>(Self)->DefaultSinkIndex = Sink->index;
            };
            if (Info && Info->default_sink_name)
                if (pa_operation* o =
                        Pulse().pa_context_get_sink_info_by_name(C, Info->default_sink_name, sinkFound, User))
                    Pulse().pa_operation_unref(o);
        };
        if (pa_operation* o = Pulse().pa_context_get_server_info(Context, serverFound, this))
            Pulse().pa_operation_unref(o);
        return;
    }
    if (facility == PA_SUBSCRIPTION_EVENT_SINK &&
        (Type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_CHANGE && Index == DefaultSinkIndex) {
        TControlChange handler;
        {
            std::lock_guard lock(HandlerMutex);
            handler = OnChange;
        }
        if (handler)
            handler(kMasterId);
    }
}

bool TPulseMixer::GetDestination(int& Channels, int& Connections)
{
    std::vector<TSource> sources;
    Pulse().pa_threaded_mainloop_lock(Loop);
    const bool ok = QuerySources(sources);
    Pulse().pa_threaded_mainloop_unlock(Loop);
    if (!ok || sources.empty())
        return false;
    Lines = std::move(sources);
    Channels = 2;
    Connections = static_cast<int>(Lines.size());
    return true;
}

bool TPulseMixer::GetSourceLine(int SourceIndex, std::string& Name, int& Channels)
{
    if (SourceIndex < 0 || SourceIndex >= static_cast<int>(Lines.size()))
        return false;
    const TSource& source = Lines[static_cast<std::size_t>(SourceIndex)];
    Name = source.Description;
    Channels = std::max<int>(1, source.Volume.channels);
    return true;
}

std::string TPulseMixer::SourceName(int SourceIndex)
{
    if (SourceIndex < 0 || SourceIndex >= static_cast<int>(Lines.size()))
        return {};
    return Lines[static_cast<std::size_t>(SourceIndex)].Name;
}

bool TPulseMixer::FindSelector(TSelectorKind Kind, std::uint32_t& ControlId, int& Items)
{
    // The server records from one default source: a multiplexer.
    if (Kind != TSelectorKind::skMux || Lines.empty())
        return false;
    ControlId = kSelectorId;
    Items = static_cast<int>(Lines.size());
    return true;
}

bool TPulseMixer::ReadSelectorNames(std::uint32_t ControlId, int Items, int Channels, std::vector<std::string>& Names)
{
    if (ControlId != kSelectorId || Items != static_cast<int>(Lines.size()) || Channels <= 0)
        return false;
    Names.clear();
    for (const TSource& source : Lines)
        Names.insert(Names.end(), static_cast<std::size_t>(Channels), source.Description);
    return true;
}

bool TPulseMixer::ReadSelectorValues(std::uint32_t ControlId, int Items, int Channels, std::vector<bool>& Values)
{
    if (ControlId != kSelectorId || Items != static_cast<int>(Lines.size()) || Channels <= 0)
        return false;
    TServer server;
    Pulse().pa_threaded_mainloop_lock(Loop);
    const bool ok = QueryServer(server);
    Pulse().pa_threaded_mainloop_unlock(Loop);
    if (!ok)
        return false;
    Values.clear();
    for (const TSource& source : Lines)
        Values.insert(Values.end(), static_cast<std::size_t>(Channels), source.Name == server.DefaultSource);
    return true;
}

bool TPulseMixer::WriteSelectorValues(std::uint32_t ControlId, int Items, int Channels, const std::vector<bool>& Values)
{
    if (ControlId != kSelectorId || Items != static_cast<int>(Lines.size()) || Channels <= 0 ||
        Values.size() < Lines.size() * static_cast<std::size_t>(Channels))
        return false;
    for (std::size_t k = 0; k < Lines.size(); ++k) {
        if (!Values[k * static_cast<std::size_t>(Channels)])
            continue;
        TRequest request{Loop};
        Pulse().pa_threaded_mainloop_lock(Loop);
        const bool ok = Await(
            Pulse().pa_context_set_default_source(Context, Lines[k].Name.c_str(), &SuccessDone, &request), request);
        Pulse().pa_threaded_mainloop_unlock(Loop);
        return ok;
    }
    return true; // nothing chosen: the server keeps its default source
}

bool TPulseMixer::FindSourceVolume(int SourceIndex, std::uint32_t& ControlId, int& Channels)
{
    if (SourceIndex < 0 || SourceIndex >= static_cast<int>(Lines.size()))
        return false;
    ControlId = kSourceVolumeBase + static_cast<std::uint32_t>(SourceIndex);
    Channels = std::max<int>(1, Lines[static_cast<std::size_t>(SourceIndex)].Volume.channels);
    return true;
}

bool TPulseMixer::FindMasterVolume(std::uint32_t& ControlId)
{
    TServer server;
    pa_cvolume volume;
    Pulse().pa_threaded_mainloop_lock(Loop);
    const bool ok = QueryServer(server) && QuerySinkVolume(server.DefaultSink, volume, nullptr);
    Pulse().pa_threaded_mainloop_unlock(Loop);
    if (!ok)
        return false;
    ControlId = kMasterId;
    return true;
}

bool TPulseMixer::ReadVolume(std::uint32_t ControlId, int Channels, std::vector<std::uint16_t>& Values)
{
    if (Channels <= 0)
        return false;
    pa_cvolume volume;
    bool ok = false;
    Pulse().pa_threaded_mainloop_lock(Loop);
    if (ControlId == kMasterId) {
        TServer server;
        ok = QueryServer(server) && QuerySinkVolume(server.DefaultSink, volume, nullptr);
    } else if (ControlId >= kSourceVolumeBase && ControlId - kSourceVolumeBase < Lines.size()) {
        ok = QuerySourceVolume(Lines[ControlId - kSourceVolumeBase].Name, volume);
    }
    Pulse().pa_threaded_mainloop_unlock(Loop);
    if (!ok || volume.channels == 0)
        return false;
    if (Channels == 1) {
        Values.assign(1, FromPulse(Pulse().pa_cvolume_max(&volume)));
        return true;
    }
    if (volume.channels < Channels)
        return false;
    Values.clear();
    for (int ch = 0; ch < Channels; ++ch)
        Values.push_back(FromPulse(volume.values[ch]));
    return true;
}

bool TPulseMixer::WriteVolume(std::uint32_t ControlId, const std::vector<std::uint16_t>& Values)
{
    if (Values.empty())
        return false;
    bool ok = false;
    Pulse().pa_threaded_mainloop_lock(Loop);
    std::string target;
    bool sink = false;
    pa_cvolume volume;
    if (ControlId == kMasterId) {
        TServer server;
        ok = QueryServer(server) && QuerySinkVolume(server.DefaultSink, volume, nullptr);
        target = server.DefaultSink;
        sink = true;
    } else if (ControlId >= kSourceVolumeBase && ControlId - kSourceVolumeBase < Lines.size()) {
        target = Lines[ControlId - kSourceVolumeBase].Name;
        ok = QuerySourceVolume(target, volume);
    }
    if (ok) {
        // The server's channel map stays; only the levels change.
        for (unsigned ch = 0; ch < volume.channels; ++ch)
            volume.values[ch] =
                ToPulse(Values.size() == 1 ? Values.front() : Values[std::min<std::size_t>(ch, Values.size() - 1)]);
        TRequest request{Loop};
        ok = Await(
            sink ? Pulse().pa_context_set_sink_volume_by_name(Context, target.c_str(), &volume, &SuccessDone, &request)
                 : Pulse().pa_context_set_source_volume_by_name(Context, target.c_str(), &volume, &SuccessDone,
                                                                &request),
            request);
    }
    Pulse().pa_threaded_mainloop_unlock(Loop);
    return ok;
}

void TPulseMixer::SetOnControlChange(TControlChange Handler)
{
    std::lock_guard lock(HandlerMutex);
    OnChange = std::move(Handler);
}

} // namespace kestrune
