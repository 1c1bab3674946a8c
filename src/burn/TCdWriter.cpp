#include "burn/TCdWriter.h"

#include "burn/TCdAudioSource.h"
#include "burn/TImageDrive.h"
#include "burn/TLibburnDrive.h"

namespace kestrune {

namespace fs = std::filesystem;

namespace {

bool SameStep(const TBurnStep& A, const TBurnStep& B)
{
    return A.Operation == B.Operation && A.Phase == B.Phase && A.Percent == B.Percent && A.ItemName == B.ItemName;
}

} // namespace

TCdWriter::TCdWriter(IDispatcher& Dispatcher, std::vector<TBurnDriveScan> Scans)
    : FDispatcher(Dispatcher), FScans(std::move(Scans))
{
}

TCdWriter::~TCdWriter()
{
    Life.End();
    Shutdown();
}

std::shared_ptr<TCdWriter> TCdWriter::Standard(IDispatcher& Dispatcher, const fs::path& ImagePath, double ImageMinutes,
                                               std::vector<std::string> Devices)
{
    std::vector<TBurnDriveScan> scans;
    scans.push_back([Devices = std::move(Devices)] { return TLibburnDrive::Scan(Devices); });
    scans.push_back([ImagePath, ImageMinutes] {
        std::vector<std::unique_ptr<IBurnDrive>> drives;
        drives.push_back(std::make_unique<TImageDrive>(ImagePath, ImageMinutes));
        return drives;
    });
    return std::make_shared<TCdWriter>(Dispatcher, std::move(scans));
}

void TCdWriter::Initialize()
{
    FDrives.clear();
    FScanProblem.clear();
    for (const TBurnDriveScan& scan : FScans) {
        try {
            for (auto& drive : scan())
                FDrives.push_back(std::move(drive));
        } catch (const std::exception& e) {
            if (FScanProblem.empty())
                FScanProblem = e.what();
        }
    }
    if (FDrives.empty() && !FScanProblem.empty())
        throw EACSException(FScanProblem);
    FCurrent = 0;
    FDisc = {};
    if (!FDrives.empty()) {
        FCurrent = 1;
        // A drive that cannot tell its speed now is asked again at the
        // next refresh.
        try {
            FMaxSpeed = FDrives.front()->MaxWriteSpeed();
        } catch (const std::exception&) {
            FMaxSpeed = 0;
        }
        FSpeed = FMaxSpeed;
    }
}

IBurnDrive& TCdWriter::Drive() const
{
    if (FCurrent < 1 || FCurrent > DriveCount())
        throw EACSException("No CD writer drive is chosen.");
    return *FDrives[static_cast<std::size_t>(FCurrent - 1)];
}

void TCdWriter::CheckIdle() const
{
    if (FRunning)
        throw EACSException("The CD writer is busy with another operation.");
}

void TCdWriter::SetCurrentDrive(int Drive)
{
    if (Drive < 1 || Drive > DriveCount())
        throw EACSException("There is no CD writer drive " + std::to_string(Drive) + ".");
    if (Drive == FCurrent)
        return;
    CheckIdle();
    FCurrent = Drive;
    FDisc = {};
    FMaxSpeed = 0;
    FMaxSpeed = this->Drive().MaxWriteSpeed();
    FSpeed = FMaxSpeed;
}

std::string TCdWriter::DriveText1() const
{
    return Drive().Vendor();
}

std::string TCdWriter::DriveText2() const
{
    return Drive().Model();
}

std::string TCdWriter::DriveText3() const
{
    return Drive().Revision();
}

// The highest speed is the one read at the last drive change or refresh:
// while a write runs the drive is the worker's alone.
void TCdWriter::SetWriteSpeed(int Speed)
{
    if (FMaxSpeed > 0 && Speed > FMaxSpeed)
        Speed = FMaxSpeed;
    FSpeed = std::max(Speed, 1);
}

void TCdWriter::Refresh()
{
    if (FCurrent == 0) {
        FDisc = {};
        return;
    }
    // While a write runs the drive is the worker's; the disc is what it was.
    if (FRunning)
        return;
    FDisc = Drive().ReadDisc();
    FMaxSpeed = Drive().MaxWriteSpeed();
}

std::int64_t TCdWriter::QueueSectors() const
{
    std::int64_t sectors = 0;
    for (const TQueued& q : FQueue)
        sectors += q.Sectors;
    if (FQueue.size() > 1)
        sectors += static_cast<std::int64_t>(FQueue.size() - 1) * FGapSectors;
    return sectors;
}

// On a disc that holds sessions already the size counts them too, as the
// burn window takes the used space off again.
long long TCdWriter::CompilationSize() const
{
    const std::int64_t used = FDisc.DiscStatus > 0 ? FDisc.UsedSectors : 0;
    return TCdFigures::FigureOfSectors(QueueSectors() + used);
}

long long TCdWriter::UsedSpace() const
{
    return TCdFigures::FigureOfSectors(FDisc.UsedSectors);
}

long long TCdWriter::DiscCapacity() const
{
    return TCdFigures::FigureOfSectors(FDisc.CapacitySectors);
}

void TCdWriter::AddTrack(const std::string& FileName)
{
    TCdAudioSource source(FileName);
    const std::int64_t frames = source.Measure();
    if (frames <= 0)
        throw EACSException("Cannot burn \"" + FileName + "\": it holds no audio.");
    FQueue.push_back({FileName, TImageWriter::TrackSectors(frames)});
}

void TCdWriter::RemoveTrack(int Index)
{
    if (Index < 0 || Index >= TrackCount())
        throw EACSException("There is no queued track " + std::to_string(Index) + ".");
    FQueue.erase(FQueue.begin() + Index);
}

void TCdWriter::SetWriteMethod(int Method)
{
    FMethod = Method >= 0 && Method <= 2 ? Method : 0;
}

int TCdWriter::DriveWriteMethod() const
{
    return FCurrent == 0 ? 0 : Drive().ImposedWriteMethod();
}

void TCdWriter::SetGapSeconds(int Seconds)
{
    if (Seconds < 0)
        throw EACSException("The gap between tracks cannot be negative.");
    FGapSectors = Seconds * TCdFigures::SectorsPerSecond;
}

void TCdWriter::WriteDisc()
{
    CheckIdle();
    Drive();
    if (FQueue.empty())
        throw EACSException("There is nothing to write: the queue is empty.");
    TBurnJob job;
    for (const TQueued& q : FQueue)
        job.Tracks.push_back({q.FileName, "", "", ""});
    job.GapSectors = FGapSectors;
    job.Method = FMethod;
    job.CloseDisc = FCloseDisc;
    job.Simulate = FSimulate;
    job.Speed = FSpeed;
    Start(opWrite, [job](IBurnDrive& Drive, const TBurnStepFn& Step, const std::atomic<bool>& Stop) {
        return Drive.Write(job, Step, Stop);
    });
}

void TCdWriter::EraseDisc(bool Quick)
{
    CheckIdle();
    Drive();
    Start(opErase, [Quick](IBurnDrive& Drive, const TBurnStepFn& Step, const std::atomic<bool>& Stop) {
        return Drive.Erase(Quick, Step, Stop);
    });
}

void TCdWriter::Start(int Operation,
                      std::function<bool(IBurnDrive&, const TBurnStepFn&, const std::atomic<bool>&)> Work)
{
    JoinWorker();
    FStop = false;
    const unsigned generation = ++FGeneration;
    IBurnDrive* const drive = &Drive();
    FRunning = true;
    FOperation = Operation;
    FPhase = wpAnalysing;
    FItemName.clear();
    const TLifetimeToken token = Life.Token();
    FWorker = std::thread([this, generation, Operation, token, Work = std::move(Work), drive] {
        TBurnStep last;
        last.Percent = -1;
        // Only changes travel to the window thread; a drive may report the
        // same step many times a second.
        const TBurnStepFn step = [&](const TBurnStep& Step) {
            if (SameStep(Step, last))
                return;
            last = Step;
            FDispatcher.Post(token, [this, generation, Step] { StepArrived(generation, Step); });
        };
        int code = 0;
        std::string text;
        try {
            if (!Work(*drive, step, FStop))
                code = ecCancelled;
        } catch (const EBurnError& e) {
            code = e.Code();
            text = e.what();
        } catch (const std::exception& e) {
            code = ecFailed;
            text = e.what();
        } catch (...) {
            code = ecFailed;
            text = "The drive failed for a reason it did not tell.";
        }
        FDispatcher.Post(token,
                         [this, generation, Operation, code, text] { WorkEnded(generation, Operation, code, text); });
    });
}

void TCdWriter::StepArrived(unsigned Generation, const TBurnStep& Step)
{
    if (Generation != FGeneration || !FRunning)
        return;
    FOperation = Step.Operation;
    FPhase = Step.Phase;
    FItemName = Step.ItemName;
    if (FEvents)
        FEvents->OnOperationProgress(Step.Percent);
}

void TCdWriter::WorkEnded(unsigned Generation, int Operation, int Code, const std::string& Text)
{
    if (Generation != FGeneration)
        return;
    JoinWorker();
    FRunning = false;
    if (Code == 0) {
        FOperation = Operation == opWrite ? opFinalise : Operation;
        FPhase = wpClosing;
        if (FEvents)
            FEvents->OnOperationProgress(100);
    } else {
        if (FOperation == opNone)
            FOperation = Operation;
        if (FEvents)
            FEvents->OnErrorEx(Code, Code == ecCancelled && Text.empty() ? "Cancelled." : Text);
    }
    // The listener may have started the next operation meanwhile.
    if (Generation == FGeneration && !FRunning)
        FOperation = opNone;
}

void TCdWriter::CancelWrite()
{
    if (!FRunning)
        return;
    FStop = true;
    // The drive stops at its next block; once the worker is gone the drive
    // is free again. Its last word, ecCancelled (or how it ended if it was
    // past stopping), is already on its way to the window thread.
    JoinWorker();
    FRunning = false;
}

void TCdWriter::JoinWorker()
{
    if (FWorker.joinable())
        FWorker.join();
}

void TCdWriter::Eject()
{
    CheckIdle();
    Drive().Eject();
    FDisc = {};
}

void TCdWriter::LoadTray()
{
    CheckIdle();
    Drive().LoadTray();
}

void TCdWriter::Shutdown()
{
    FStop = true;
    JoinWorker();
    FRunning = false;
    ++FGeneration;
    FDrives.clear();
    FCurrent = 0;
    FDisc = {};
}

std::string TCdWriter::LastImage() const
{
    return FCurrent == 0 ? std::string() : Drive().LastImage();
}

} // namespace kestrune
