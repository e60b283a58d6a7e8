#pragma once

#include <QMutex>
#include <chrono>

namespace Web {

class CancelToken;

// Every request of the whole process to the web archive, every thread together, at a pace it
// accepts: index queries in one lane, replays (pages, files, probes) in another. After the
// archive says it is busy, nobody asks it anything until the hold it asked for is over.
class ArchivePacer
{
public:
    using Clock = std::chrono::steady_clock;
    enum class Lane { Index, Replay };

    static ArchivePacer &instance();

    struct Turn
    {
        enum class Kind { Go, Held, Cancelled } kind = Kind::Go;
        std::chrono::milliseconds paced{0}; // waited for the pace alone
        std::chrono::milliseconds held{0};  // waited for the archive's hold
    };
    // Waits for this request's turn, the calling thread's events running. Held, at once, when the
    // archive's hold lasts longer than `maxHoldWait`.
    Turn awaitTurn(Lane lane, int perMinute, std::chrono::milliseconds maxHoldWait, const CancelToken *cancel);
    void holdOff(std::chrono::seconds span);
    // How long the current hold lasts from now; zero without one.
    std::chrono::milliseconds holdLeft();
    // When the lane's next request may go, from now; zero when it may go at once.
    std::chrono::milliseconds nextTurnIn(Lane lane);
    void reset(); // forget the pace and any hold (tests)

    static constexpr std::chrono::seconds defaultHold{60};

private:
    QMutex m_lock;
    Clock::time_point m_next[2]{};
    Clock::time_point m_holdUntil{};
};

// Waits `span` with the calling thread's events running; false when `cancel` ended it early.
bool waitCancellably(std::chrono::milliseconds span, const CancelToken *cancel);

} // namespace Web
