#pragma once
// A channel's presenter: the picture-sized back buffer the decoded pictures are converted into,
// the on-screen text drawn onto it, and the hand-over of the finished picture to the channel's
// window. Owned and used by the channel's video worker; snapshots read the last picture under
// the presenter's lock from other threads.

#include "engine/video_window.h"

#include <QImage>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tavero::engine {

// The text shown over a picture for a speed other than normal: "2x", "-1x", "1/2x"; empty for
// 1.0 and the single steps 1.1 and -1.1.
[[nodiscard]] std::string SpeedLabel(double speed);

// Where the speed label's text starts (top left), for a picture of w x h.
struct TextPoint {
    int x = 0;
    int y = 0;
};
[[nodiscard]] TextPoint SpeedLabelPosition(int width, int height, const CropRect& crop);

// What the information lines show about a channel.
struct InfoState {
    std::int64_t timeSeconds = 0; // the channel's current time
    std::int64_t ptsUs = 0;
    std::uint32_t framesLastSecond = 0;
    std::uint32_t bytesLastSecond = 0;
    int predictedPerGroup = 0;
    std::size_t videoRecords = 0;
    std::size_t videoBytes = 0;
    std::size_t audioRecords = 0;
    std::size_t audioBytes = 0;
};
[[nodiscard]] std::vector<std::string> InfoLines(const InfoState& state);

// Display settings of the control, read by the workers for each picture.
struct OverlaySettings {
    bool showInfo = false;
    std::uint32_t infoColour = 255; // 0x00BBGGRR
    int infoX = 10;
    int infoY = 60;
};

class Presenter {
public:
    // Makes the back buffer width x height for the channel's window (which may be null: the
    // pictures are then only kept). False when the size is not usable.
    [[nodiscard]] bool Create(VideoWindow* window, int channel, int width, int height);
    void Release();
    [[nodiscard]] bool valid() const { return !m_image.isNull(); }
    void Clear();
    // The back buffer's first byte and bytes per row; 32-bit BGRA pixels.
    [[nodiscard]] std::uint8_t* LockSurface(int& pitch);
    void UnlockSurface();
    // Draws the information lines and the speed label onto the back buffer. Skipped when no
    // font can be had (no GUI application object in this process).
    void DrawText(const OverlaySettings& settings, const InfoState& info, double speed,
                  const CropRect& crop);
    // Hands the finished picture to the window.
    void PresentCropped(const CropRect& crop);
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    // A copy of the last finished picture; any thread.
    [[nodiscard]] QImage Snapshot() const;

private:
    VideoWindow* m_window = nullptr;
    int m_channel = 0;
    int m_width = 0;
    int m_height = 0;
    QImage m_image;
    mutable std::mutex m_lock; // guards m_image against snapshots
};

} // namespace tavero::engine
