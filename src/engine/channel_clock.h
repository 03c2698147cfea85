#pragma once
// The clock that keeps the eight channels of a source in step: one channel (or the sound, once
// channel 0's audio worker has anchored it) is the master, and every other channel's next wait
// is stretched or shortened by its lag behind that clock.

#include "engine/crit_secs.h"
#include "engine/fps_ctrl.h"
#include "engine/tick_source.h"

#include <array>
#include <cstdint>
#include <mutex>

namespace tavero::engine {

// Owned by the player control. OnFrame is called by every channel's video worker for every shown
// frame, so eight threads at once: the shared clock state is guarded by m_mutex, which is never
// held while a pacer is called. Attach happens before any worker runs; Restart and
// SetAudioClockBase may come from any thread.
class ChannelClock {
public:
    static constexpr int kChannels = 8;
    static constexpr int kMasterUnset = -1; // the next frame's channel becomes master
    static constexpr int kNoMaster = -2;    // every channel follows the sound
    static constexpr int kSettleFrames = 7;
    static constexpr std::int64_t kInvalidTs = -1;
    static constexpr std::int64_t kRebasePeriodMs = 600'000;
    static constexpr std::int64_t kRebasePeriodUs = 600'000'000;
    // A master that is this close to the sound (ms of media time) hands over to it.
    static constexpr double kFollowSoundMs = 10'001.0;
    static constexpr std::int64_t kDriftStepUs = 100'000;
    static constexpr int kMaxCorrectionMs = 200;

    explicit ChannelClock(const TickSource* ticks = nullptr);

    // The pacer of a channel (not owned; outlives this clock).
    void Attach(int channel, CFpsCtrl* pacer);
    // At play start: no master yet and no drift.
    void Restart();
    // Sets the sound's clock base in every attached pacer (channel 0's audio worker).
    void SetAudioClockBase(std::int64_t tickMs, std::int64_t mediaUs);

    // One shown frame of a channel: paces it (time stamp tsUs, kInvalidTs when it has none;
    // fps negative when playing backwards), then corrects the next wait of this channel against
    // the clock. Returns what the pacer's Pace returned.
    int OnFrame(int channel, std::int64_t tsUs, double signedFps);

    [[nodiscard]] int master() const;
    [[nodiscard]] std::int64_t clockUs() const;
    [[nodiscard]] std::int64_t driftUs() const;
    [[nodiscard]] int settleCount() const;

private:
    const TickSource& m_ticks;
    std::array<CFpsCtrl*, kChannels> m_pacers{}; // set before the workers run

    mutable std::mutex m_mutex; // guards the four fields below
    int m_master = kMasterUnset;
    int m_settle = 0;           // frames left before corrections
    std::int64_t m_clockUs = 0; // media time the channels follow
    std::int64_t m_driftUs = 0; // master's summed distance to it
};

} // namespace tavero::engine
