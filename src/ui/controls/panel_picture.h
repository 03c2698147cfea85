// Hand-over of a channel's pictures from the engine's video worker to the channel window. The
// worker crops and scales each finished picture once, straight into the size the window shows
// (read from an atomic the UI thread keeps current), and leaves it here; the UI thread takes the
// newest one when it paints. Pictures that arrive faster than the UI paints replace each other,
// so a slow UI never builds a queue.
//
// Thread: store() on the channel's video worker; everything else on the UI thread. The picture
// slot is guarded by m_lock; the target size and the counters are atomics.
#pragma once

#include "engine/video_window.h"

#include <QImage>
#include <QSize>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace tavero::ui {

// `picture` cropped as the engine's crop rectangle says (left and top move those edges, right
// and bottom are added to the width and height; parts beyond the picture are black) and scaled
// to `target`. A null image when the target or the cropped area is empty.
[[nodiscard]] QImage cropAndScale(const QImage& picture, const engine::CropRect& crop,
                                  QSize target);

class PanelPicture {
public:
    // UI thread: the client size pictures should be scaled to; empty while the window is hidden
    // (pictures are then not scaled at all).
    void setTargetSize(QSize size);
    [[nodiscard]] QSize targetSize() const;

    // Worker thread. True when the UI should be told (no earlier picture is waiting for it).
    [[nodiscard]] bool store(const QImage& picture, const engine::CropRect& crop);

    // UI thread: the newest picture (null before the first), the size it had before scaling, and
    // its number (counting from 1 the pictures scaled).
    [[nodiscard]] QImage latest(QSize* pictureSize = nullptr, std::uint64_t* serial = nullptr);
    void clear();

    // Pictures handed over by the engine, and those scaled for showing.
    [[nodiscard]] std::uint64_t received() const { return m_received.load(); }
    [[nodiscard]] std::uint64_t scaled() const { return m_scaled.load(); }

private:
    std::atomic<std::uint64_t> m_target{0}; // width << 32 | height
    std::atomic<std::uint64_t> m_received{0};
    std::atomic<std::uint64_t> m_scaled{0};
    std::mutex m_lock;
    QImage m_frame;             // guarded by m_lock
    QSize m_pictureSize;        // guarded by m_lock
    std::uint64_t m_serial = 0; // guarded by m_lock: number of m_frame
    bool m_waiting = false;     // guarded by m_lock: the UI has not taken m_frame yet
};

} // namespace tavero::ui
