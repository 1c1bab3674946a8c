#pragma once

#include <string>
#include <vector>

namespace kestrune {

// What the settings window asks of the burn window about its CD writers.
// Window thread only.
class IBurnDrives {
public:
    virtual ~IBurnDrives() = default;
    // True when the burn window has loaded its drives without error.
    virtual bool Available() const = 0;
    virtual std::vector<std::string> Drives() const = 0;
    // The burn window's current drive in Drives(), or -1.
    virtual int CurrentDrive() const = 0;
    // Makes drive Index the burn window's current one, through its own
    // drive change (which also refreshes its speed list).
    virtual void ChangeDrive(int Index) = 0;
    // The current drive's speeds, such as "4x".
    virtual std::vector<std::string> Speeds() const = 0;
};

// No CD writer: what the settings window works with until the burn window's
// drives exist.
class TNoBurnDrives final : public IBurnDrives {
public:
    bool Available() const override { return false; }
    std::vector<std::string> Drives() const override { return {}; }
    int CurrentDrive() const override { return -1; }
    void ChangeDrive(int) override {}
    std::vector<std::string> Speeds() const override { return {}; }
};

} // namespace kestrune
