#pragma once

#include "settings/IBurnDrives.h"
#include "settings/IFreeDBServers.h"
#include "settings/ISettingsHost.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrune::test {

// The main window as the settings window sees it: a first-run flag and
// counters of what it was asked to do.
class TFakeSettingsHost final : public ISettingsHost {
public:
    bool First = false;
    int Applied = 0;
    int ServiceChanged = 0;
    bool FirstRun() const override { return First; }
    void ClearFirstRun() override { First = false; }
    void ApplyAutoRecognize() override { ++Applied; }
    void RecognitionServiceChanged() override { ++ServiceChanged; }
};

// A burn window with two CD writers, each with its own speeds.
class TFakeBurnDrives final : public IBurnDrives {
public:
    bool Ready = true;
    std::vector<std::string> Names{"HL-DT-ST DVDRAM GH24NSD1", "ASUS SDRW-08D2S-U"};
    std::vector<std::vector<std::string>> SpeedsOf{{"4x", "8x", "16x", "24x", "48x"}, {"4x", "8x", "24x"}};
    int Current = 0;
    std::vector<int> Changes;
    bool Available() const override { return Ready; }
    std::vector<std::string> Drives() const override { return Ready ? Names : std::vector<std::string>{}; }
    int CurrentDrive() const override { return Ready ? Current : -1; }
    void ChangeDrive(int Index) override
    {
        Changes.push_back(Index);
        Current = Index;
    }
    std::vector<std::string> Speeds() const override
    {
        return Ready && Current >= 0 && Current < static_cast<int>(SpeedsOf.size())
                   ? SpeedsOf[static_cast<std::size_t>(Current)]
                   : std::vector<std::string>{};
    }
};

// An album-information component that lists the servers given.
class TFakeFreeDBServers final : public IFreeDBServers {
public:
    std::vector<std::optional<std::string>> Names{std::string("gnudb.gnudb.org"), std::string("freedb.example.org")};
    std::optional<std::string> ServerName(int Index) override
    {
        return Index >= 0 && Index < static_cast<int>(Names.size()) ? Names[static_cast<std::size_t>(Index)]
                                                                    : std::nullopt;
    }
};

} // namespace kestrune::test
