// The player facade as the window's rules drive it. The window implements it over the real
// Player... functions (EnginePlayer); tests use a fake that records every command, so that what
// a sequence of button presses sends to the engine can be checked as a whole.
//
// Thread: called from the UI thread only, like the facade itself.
#pragma once

#include "store/index_record.h"
#include "store/recording_entry.h"

#include <cstdint>
#include <string>

namespace tavero::app {

inline constexpr int kChannelCount = 8;

class PlayerCommands {
public:
    virtual ~PlayerCommands() = default;

    virtual void Open(const std::string& path) = 0;
    virtual void Close() = 0;
    // First record of the opened source's recordings, or null (nothing open, unreadable index).
    [[nodiscard]] virtual store::IndexRecord* LoadIndex() = 0;
    // Why the last LoadIndex gave nothing, for people; empty when it worked.
    [[nodiscard]] virtual std::string LoadError() = 0;
    // The recording starting at `first`, chained and named as lists show it; its `next` is where
    // the following recording starts. Records stay valid until the next Open.
    [[nodiscard]] virtual store::RecordingEntry BuildEntry(store::IndexRecord* first,
                                                           std::int32_t number) = 0;
    // The record the reader is at; null when nothing plays.
    [[nodiscard]] virtual store::IndexRecord* CurrentEntry() = 0;
    [[nodiscard]] virtual bool Play(store::IndexRecord* entry, int parameter) = 0;
    virtual void Pause(int paused) = 0;
    // Signed factor: 1 normal, negative backwards, 1.1 / -1.1 one frame then pause.
    virtual void SetSpeed(double speed) = 0;
    virtual void Seek(std::int32_t seconds) = 0;
    // Hundredths of a decibel; -2700 and below are silence.
    virtual void SetVolume(int volume, int channel) = 0;
    // Seconds: the pending seek target, else the channel's last presented time.
    [[nodiscard]] virtual std::uint32_t GetTime(int channel) = 0;
    virtual void Tick(int step) = 0;
    // Time of the last frame the channel's video worker handled; 0 when none.
    [[nodiscard]] virtual std::uint32_t GetLastTime(int channel) = 0;
    // Non-zero until the channel shows its first picture, and when it has no worker.
    [[nodiscard]] virtual std::uint8_t IsChannelIdle(int channel) = 0;
    [[nodiscard]] virtual std::uint32_t GetVideoWidth(int channel) = 0;
    [[nodiscard]] virtual std::uint32_t GetVideoHeight(int channel) = 0;
    [[nodiscard]] virtual std::string GetPath() = 0;
    // Copies the last unit trailer in host order (store::TrailerToHostImage); true when it
    // carries the trailer magic.
    [[nodiscard]] virtual bool GetUnitTrailer(std::uint8_t* trailer512) = 0;
};

} // namespace tavero::app
