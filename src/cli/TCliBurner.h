#pragma once

#include "burn/IBurnView.h"
#include "burn/ICdWriter.h"
#include "burn/TBurnController.h"
#include "cli/TCliArgs.h"
#include "cli/TCliJobListener.h"
#include "cli/TCliOutput.h"
#include "common/IDialogs.h"
#include "common/TJob.h"
#include "common/TPlainDispatcher.h"
#include "settings/IOptionsPlatform.h"
#include "settings/TOptions.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace kestrune::cli {

// The burn window on the command line: the writer and its controller, the
// drives scanned, the drive of "--device" (or the stored one) chosen, and
// what the controller shows turned into lines: its message boxes on stderr,
// its progress as the progress line. The commands burn, erase and drives
// are built on it.
class TCliBurner final : private IBurnView, private IDialogs, private TCliJobListener {
public:
    // Loads the settings ("--config"), takes "--device" (a drive's name or
    // path as "drives" lists it, or image:FILE.cue for an image) and
    // "--capacity" (minutes of the image drive's disc), and scans. Raises
    // EUsage for a bad value, std::runtime_error when the drives cannot be
    // scanned or the device is not among them.
    TCliBurner(const TCliArgs& Args, TCliOutput& Out);
    ~TCliBurner() override;
    TCliBurner(const TCliBurner&) = delete;
    TCliBurner& operator=(const TCliBurner&) = delete;

    TOptions& Options() { return *FOptions; }
    ICdWriter& Writer() { return *FWriter; }
    TBurnController& Controller() { return *FController; }

    // What the disc view shows now: "CD-R | Blank", the space line.
    const std::string& Description() const { return FDescription; }
    const std::string& Space() const { return FSpace; }
    // Warnings and errors the controller showed since the last Forget.
    const std::vector<std::string>& Problems() const { return FProblems; }
    void ForgetProblems() { FProblems.clear(); }

    // Serves the controller until its running job (write or erase) ends; an
    // interruption stops it (Stop). The job's outcome; its reason in Reason.
    TJobOutcome WaitForJob(const std::atomic<bool>& Interrupted, const std::function<void()>& Stop,
                           std::string& Reason);

private:
    // IBurnView
    void SetDrives(const std::vector<std::string>&, int) override {}
    void SetSpeeds(const std::vector<std::string>&, int) override {}
    void SetStatus(const std::string&) override {}
    void SetDescription(const std::string& Text) override { FDescription = Text; }
    void SetSpace(const std::string& Text, bool) override { FSpace = Text; }
    void SetRows(const std::vector<TBurnRow>&) override {}
    void EnableControls(bool) override {}
    void SetBurnButton(const std::string&, bool) override {}
    void ShowProgress(bool, int) override {}
    void SetBusy(bool) override {}
    // On screen as far as the controller can tell: no automatic writing here.
    bool Shown() const override { return true; }

    // IDialogs
    TDialogResult Show(TDialogKind Kind, const std::string& Text, TDialogButtons Buttons) override;

    // The job's events
    void JobProgress(TJobKind, double Fraction, const std::string& Text) override;

    TPlainDispatcher Dispatcher;
    std::unique_ptr<IOptionsPlatform> Platform;
    std::unique_ptr<TOptions> FOptions;
    std::shared_ptr<ICdWriter> FWriter;
    std::unique_ptr<TBurnController> FController;
    std::string FDescription;
    std::string FSpace;
    std::vector<std::string> FProblems;
    bool Collecting = false;
};

} // namespace kestrune::cli
