#include "rip/TRipDoubles.h"

#include <cstring>

namespace kestrune::test {

namespace {

class TMemoryReader final : public ISectorReader {
public:
    TMemoryReader(std::shared_ptr<const TMemoryDrive::TDisc> Disc, std::shared_ptr<TMemoryDrive::TGate> Gate,
                  std::int32_t First, int Tries, ICdDrive::TRetry Retry)
        : D(std::move(Disc)), G(std::move(Gate)), Next_(First), Attempts(Tries), OnRetry(std::move(Retry))
    {
    }

    bool Next(std::uint8_t* Out) override
    {
        const std::int32_t lsn = Next_++;
        if (lsn == G->AtLsn) {
            std::unique_lock lock(G->Mutex);
            G->Reached = true;
            G->Changed.notify_all();
            G->Changed.wait(lock, [this] { return G->Opened; });
        }
        if (D->Unreadable.count(lsn) != 0) {
            // Every attempt but the first is a retry the window hears of.
            for (int attempt = 1; attempt < Attempts; ++attempt)
                OnRetry(attempt, lsn);
            return false;
        }
        if (D->Flaky.count(lsn) != 0 && Attempts > 1)
            OnRetry(1, lsn);
        const std::size_t at = static_cast<std::size_t>(lsn) * TDiscToc::SectorBytes;
        if (at + TDiscToc::SectorBytes > D->Audio.size())
            return false;
        std::memcpy(Out, D->Audio.data() + at, TDiscToc::SectorBytes);
        return true;
    }

private:
    std::shared_ptr<const TMemoryDrive::TDisc> D;
    std::shared_ptr<TMemoryDrive::TGate> G;
    std::int32_t Next_;
    int Attempts;
    ICdDrive::TRetry OnRetry;
};

} // namespace

std::unique_ptr<ISectorReader> TMemoryDrive::Read(std::int32_t FirstLsn, std::int32_t, int ReadOption, int Attempts,
                                                  TRetry OnRetry)
{
    G->ReadOption = ReadOption;
    G->Attempts = Attempts;
    return std::make_unique<TMemoryReader>(D, G, FirstLsn, Attempts, std::move(OnRetry));
}

} // namespace kestrune::test
