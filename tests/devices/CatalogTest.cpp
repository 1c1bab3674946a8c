// The device catalogue over its registered back-ends. A binary of its own:
// the counts are taken once per process, and here this test takes them.
#include "devices/TAudioIn.h"
#include "devices/TDeviceCatalog.h"
#include "pipeline/EACSException.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace kestrune {
namespace {

// A back-end whose device list changes with every look, as hot-plugged
// cards and a sound server's sinks do.
class TChangingBackend final : public IDeviceBackend {
public:
    std::string Prefix() const override { return "fake:"; }
    bool Virtual() const override { return false; }
    std::vector<TDeviceInfo> CaptureDevices() override
    {
        // Three devices the first time, one after that.
        const int look = Looks++;
        std::vector<TDeviceInfo> list;
        for (int i = 0; i < (look == 0 ? 3 : 1); ++i)
            list.push_back({"fake:" + std::to_string(look) + "-" + std::to_string(i), "", false});
        return list;
    }
    std::vector<TDeviceInfo> PlaybackDevices() override { return {}; }
    std::optional<TDeviceInfo> Unlisted(const std::string&) override { return std::nullopt; }
    std::vector<TAudioFormat> CaptureFormats(const std::string&, const std::vector<TAudioFormat>& C) override
    {
        return {C.front()};
    }
    std::unique_ptr<ICaptureSource> CaptureSource(const std::string& Name) override
    {
        Opened = Name;
        struct TSilence final : ICaptureSource, ICaptureStream {
            std::unique_ptr<ICaptureStream> Open(const TAudioFormat&, bool, int) override
            {
                return std::make_unique<TSilence>();
            }
            int Read(void* Buffer, int Size) override
            {
                std::memset(Buffer, 0, static_cast<std::size_t>(Size));
                return Size;
            }
        };
        return std::make_unique<TSilence>();
    }
    std::unique_ptr<IPlaybackStream> OpenPlayback(const std::string&, const TAudioFormat&, bool, int) override
    {
        return nullptr;
    }
    std::unique_ptr<IMixer> OpenMixer(const std::string&) override { return nullptr; }
    std::string MixerKey(const std::string&) override { return "fake-mixer"; }

    std::atomic<int> Looks{0};
    std::string Opened;
};

TEST(DeviceCatalog, CountAndNamesComeFromOneListAndNamesGoToTheirBackEnd)
{
    const auto backend = std::make_shared<TChangingBackend>();
    TDeviceCatalog::Register(backend);
    EXPECT_THROW(TDeviceCatalog::Register(std::make_shared<TChangingBackend>()), std::invalid_argument);

    // The count and every name behind an index come from the same look.
    const int count = TDeviceCatalog::CaptureDeviceCount();
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.push_back(TDeviceCatalog::CaptureDeviceName(i));
    EXPECT_EQ(TDeviceCatalog::CaptureDeviceName(count), "");
    int fakes = 0;
    for (const std::string& name : names)
        fakes += name.rfind("fake:0-", 0) == 0 ? 1 : 0;
    EXPECT_EQ(fakes, 3) << ::testing::PrintToString(names);
    EXPECT_EQ(names.back(), "virtual:demo"); // stand-ins after every real device
    EXPECT_EQ(TDeviceCatalog::CaptureDeviceCount(), count);

    // A real device taken by its index opens through its own back-end.
    int first = static_cast<int>(std::find(names.begin(), names.end(), "fake:0-0") - names.begin());
    TAudioIn in;
    in.SetBaseChannel(first);
    EXPECT_EQ(in.DeviceName(), "fake:0-0");
    in.OpenInput();
    EXPECT_EQ(backend->Opened, "0-0");
    in.CloseInput();

    EXPECT_FALSE(TDeviceCatalog::IsVirtualName("fake:x"));
    EXPECT_TRUE(TDeviceCatalog::IsVirtualName("virtual:demo"));
    EXPECT_FALSE(TDeviceCatalog::IsVirtualName("nobody:x"));
    EXPECT_EQ(TDeviceCatalog::MixerKey("fake:x"), "fake-mixer");
    EXPECT_EQ(TDeviceCatalog::CaptureFormats("fake:x"),
              std::vector<TAudioFormat>{TDeviceCatalog::QualityFormats().front()});
    EXPECT_THROW(TDeviceCatalog::CaptureSource("nobody:x"), EACSException);
    EXPECT_THROW(TDeviceCatalog::CaptureSource("no prefix"), EACSException);
}

} // namespace
} // namespace kestrune
