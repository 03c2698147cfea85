#pragma once
// The sound output an audio worker writes into, as the engine sees it. The contract itself lives
// in platform (so that platform implements it without knowing the engine); the engine adds the
// factory through which the player control hands each worker its output.

#include "platform/sound_device.h"

#include <functional>
#include <memory>

namespace tavero::engine {

using SoundOutput = platform::SoundOutput;

// Makes the output of one channel (0..7); null when none can be made. Called by the channel's
// audio worker on the controlling thread, at most once per worker.
using SoundOutputFactory = std::function<std::unique_ptr<SoundOutput>(int channel)>;

// The default: the system's sound device through SDL.
[[nodiscard]] inline std::unique_ptr<SoundOutput> CreateDeviceOutput(int /*channel*/) {
    return platform::CreateSdlSoundOutput();
}

} // namespace tavero::engine
