#pragma once

#include "cd/ICdDrive.h"
#include "common/TJob.h"
#include "rip/IRipView.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace kestrune::test {

// The rip window as a record of what the controller told it.
class TRecordingRipView final : public IRipView {
public:
    std::vector<std::string> Drives;
    int ChosenDrive = -2;
    std::vector<std::string> Statuses;
    std::string DiscIdText;
    std::string Album, Artist, Genre;
    int EntryMinimum = -1, EntryMaximum = -1, EntryValue = -1;
    std::vector<TRipRow> Rows;
    int Selected = -1;
    bool ControlsOn = false;
    bool DriveChoiceOn = false;
    std::string GrabCaption;
    bool GrabEnabled = false;
    bool ProgressVisible = false;
    std::vector<int> Gauge; // every value shown while visible
    bool Busy = false;
    // The percent column of each row, every text it showed in order.
    std::map<int, std::vector<std::string>> Percents;

    void SetDrives(const std::vector<std::string>& Entries, int Chosen) override
    {
        Drives = Entries;
        ChosenDrive = Chosen;
    }
    void SetStatus(const std::string& Text) override { Statuses.push_back(Text); }
    void SetDiscIdText(const std::string& Text) override { DiscIdText = Text; }
    void SetAlbumFields(const std::string& A, const std::string& B, const std::string& C) override
    {
        Album = A;
        Artist = B;
        Genre = C;
    }
    void SetAlbumEntryRange(int Minimum, int Maximum, int Value) override
    {
        EntryMinimum = Minimum;
        EntryMaximum = Maximum;
        EntryValue = Value;
    }
    void SetRows(const std::vector<TRipRow>& R) override { Rows = R; }
    void RowChanged(int Index, const TRipRow& Row) override
    {
        Rows.at(static_cast<std::size_t>(Index)) = Row;
        Percents[Index].push_back(Row.Percent);
    }
    void SelectRow(int Index) override { Selected = Index; }
    void EnableControls(bool Enabled) override
    {
        ControlsOn = Enabled;
        DriveChoiceOn = Enabled;
    }
    void EnableDriveChoice(bool Enabled) override { DriveChoiceOn = Enabled; }
    void SetGrabButton(const std::string& Caption, bool Enabled) override
    {
        GrabCaption = Caption;
        GrabEnabled = Enabled;
    }
    void ShowProgress(bool Visible, int Percent) override
    {
        ProgressVisible = Visible;
        if (Visible)
            Gauge.push_back(Percent);
    }
    void SetBusy(bool B) override { Busy = B; }

    bool Saw(const std::string& Status) const
    {
        for (const std::string& s : Statuses)
            if (s == Status)
                return true;
        return false;
    }
};

// A job's events in order.
class TJobRecord final : public IJobListener {
public:
    struct TMessage {
        TJobMessageKind Kind;
        std::string Text;
    };
    int Started = 0;
    std::vector<double> Fractions;
    std::vector<std::string> ProgressTexts;
    std::vector<TMessage> Messages;
    bool Ended = false;
    TJobOutcome Outcome = TJobOutcome::joFailed;
    std::string Reason;

    void JobStarted(TJobKind, const std::string&) override
    {
        ++Started;
        Ended = false;
    }
    void JobProgress(TJobKind, double Fraction, const std::string& Text) override
    {
        Fractions.push_back(Fraction);
        ProgressTexts.push_back(Text);
    }
    void JobMessage(TJobKind, TJobMessageKind Kind, const std::string& Text) override
    {
        Messages.push_back({Kind, Text});
    }
    void JobFinished(TJobKind, TJobOutcome O, const std::string& R) override
    {
        Ended = true;
        Outcome = O;
        Reason = R;
    }
    std::vector<std::string> MessagesOf(TJobMessageKind Kind) const
    {
        std::vector<std::string> texts;
        for (const TMessage& m : Messages)
            if (m.Kind == Kind)
                texts.push_back(m.Text);
        return texts;
    }
};

// A drive served from memory: a table of contents, the disc's audio from
// sector 0 on, and what can go wrong with a real disc: sectors that cannot
// be read, and a reader that waits at a sector until it is let go.
class TMemoryDrive final : public ICdDrive {
public:
    struct TDisc {
        TDiscPresence Presence = TDiscPresence::dpUsable;
        TDiscToc Toc;
        std::vector<std::uint8_t> Audio; // 2352 bytes a sector, from LSN 0
        std::set<std::int32_t> Unreadable; // LSNs
        std::set<std::int32_t> Flaky;      // LSNs read at the second attempt
    };

    // Holds readers at one sector until Open is called (any thread).
    struct TGate {
        std::int32_t AtLsn = -1;
        std::mutex Mutex;
        std::condition_variable Changed;
        bool Reached = false;
        bool Opened = false;
        // The read settings the last reader was made with.
        std::atomic<int> ReadOption{-1};
        std::atomic<int> Attempts{-1};
        void Open()
        {
            {
                std::lock_guard lock(Mutex);
                Opened = true;
            }
            Changed.notify_all();
        }
        bool WaitReached(std::chrono::milliseconds Timeout)
        {
            std::unique_lock lock(Mutex);
            return Changed.wait_for(lock, Timeout, [this] { return Reached; });
        }
    };

    TMemoryDrive(std::shared_ptr<const TDisc> Disc, std::shared_ptr<TGate> Gate) : D(std::move(Disc)), G(std::move(Gate))
    {
    }

    TDiscPresence Presence() override { return D->Presence; }
    TDiscToc Toc() override { return D->Toc; }
    TCdText CdText() override { return {}; }
    int MediaType() override { return 1; }
    std::unique_ptr<ISectorReader> Read(std::int32_t FirstLsn, std::int32_t Sectors, int ReadOption, int Attempts,
                                        TRetry OnRetry) override;
    void Eject() override {}
    void LoadTray() override {}

private:
    std::shared_ptr<const TDisc> D;
    std::shared_ptr<TGate> G;
};

class TMemoryDriveProvider final : public ICdDriveProvider {
public:
    explicit TMemoryDriveProvider(std::shared_ptr<const TMemoryDrive::TDisc> Disc = nullptr)
        : D(std::move(Disc)), Gate(std::make_shared<TMemoryDrive::TGate>())
    {
    }
    // No disc at all: no drive either.
    std::vector<TDriveEntry> List() override
    {
        if (!D)
            return {};
        return {{"/dev/fake0", "Vendor", "Model", "1.0"}};
    }
    std::unique_ptr<ICdDrive> Open(const std::string&) override { return std::make_unique<TMemoryDrive>(D, Gate); }

    std::shared_ptr<const TMemoryDrive::TDisc> D;
    std::shared_ptr<TMemoryDrive::TGate> Gate;
};

} // namespace kestrune::test
