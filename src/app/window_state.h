// The values of the main window that several of its rule sets read: the UI mode it runs in, the
// channel layout, map mode, the display offset of recording times and the speed unit.
//
// Thread: owned by the main window on the UI thread; the rule objects hold references to it.
#pragma once

#include <cstdint>

namespace tavero::app {

inline constexpr int kLayout8 = 8;
inline constexpr int kLayout4 = 4;
inline constexpr int kLayout1 = 1;

struct WindowState {
    int uiMode = 0; // the mode this run uses (0, 1, 2), after lowering for the screen
    int layout = kLayout8;
    bool mapMode = false; // the map takes the channel area; transport goes to its replay
    // Seconds added to every recording time before it is shown (the card's zone).
    std::int64_t timeOffset = 0;
    std::uint32_t speedUnit = 0; // 0 km/h, 1 mph, 2 knots
};

} // namespace tavero::app
