#pragma once
// Snapshots: the picture each channel shows right now, saved as one BMP file per channel
// (prefix + channel number from 1 + ".bmp"), optionally stamped with three lines of text
// (position and speed) near the bottom. Synchronous; called on the controlling thread while the
// video workers may be drawing (each presenter hands over a copy under its lock).

#include "engine/presenter.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

namespace tavero::engine {
class COzuCtrl;
}

namespace tavero::exporting {

// Format code of a Windows bitmap file, the only one there is.
inline constexpr int kSnapshotBmp = 0;

// Saves every channel with a picture and its video on; 1 when the prefix is usable and its
// folders exist or could be made (channels without a picture are skipped silently), else 0 with
// the reason in error (optional). value is unused. colour is 0x00BBGGRR.
int PlayerSnapshot(engine::COzuCtrl* control, int format, int value, std::uint32_t colour,
                   const std::string& prefix, std::string* error = nullptr);
// The same with the three texts drawn on every picture. The text needs fonts, which Qt has only
// in a process with a GUI application (QGuiApplication, or the window's QApplication): without
// one nothing is saved and the result is 0 with the reason, never pictures without their text.
int PlayerSnapshotStamped(engine::COzuCtrl* control, int format, int value, std::uint32_t colour,
                          const std::string& prefix, const std::string& text1,
                          const std::string& text2, const std::string& text3,
                          std::string* error = nullptr);

// Where the three stamp texts start (top left) on a picture of width x height: at one half, two
// thirds and five sixths of the width, one twenty-fourth of the height above the bottom.
[[nodiscard]] std::array<engine::TextPoint, 3> StampPositions(int width, int height);

// The texts the main window stamps: "%12f N" / "%12f S", "%12f E" / "%12f W", "%6.1f Km/h".
[[nodiscard]] std::string StampLatitude(double degrees);
[[nodiscard]] std::string StampLongitude(double degrees);
[[nodiscard]] std::string StampSpeed(double kmh);
// folder + "/" + "img-%Y-%m-%d-%H-%M-%S_Ch" of the local time.
[[nodiscard]] std::string SnapshotPrefix(const std::string& folder, std::time_t now);

} // namespace tavero::exporting
