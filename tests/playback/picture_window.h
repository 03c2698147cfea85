#pragma once
// A window for tests: keeps what every channel showed (hash, size, time stamp, key or not) and
// plays a card through the engine to its end.

#include "engine/player.h"
#include "engine/video_window.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tavero::testing {

struct ShownPicture {
    std::string md5;
    int width = 0;
    int height = 0;
    std::int64_t ptsUs = 0;
    bool key = false;
    std::int64_t timeSeconds = 0; // wall-clock time of its unit
};

// The engine hid or showed a channel's window; `after` pictures of it had been shown by then.
struct VisibilityChange {
    bool visible = false;
    std::size_t after = 0;
};

class PictureWindow : public engine::VideoWindow {
public:
    [[nodiscard]] bool wantsDecoded() const override { return true; }
    void Decoded(int channel, const engine::YuvPicture& picture) override;
    void Present(int channel, const QImage& picture, const engine::CropRect& crop) override;
    void SetVisible(int channel, bool visible) override;
    [[nodiscard]] std::vector<ShownPicture> shown(int channel) const;
    [[nodiscard]] int presented(int channel) const;
    [[nodiscard]] std::vector<VisibilityChange> visibility(int channel) const;
    // Forgets what was shown (not the counts of presented pictures).
    void Clear();

private:
    mutable std::mutex m_lock;
    std::array<std::vector<ShownPicture>, engine::kChannelCount> m_shown; // guarded by m_lock
    std::array<int, engine::kChannelCount> m_presented{};                 // guarded by m_lock
    std::array<std::vector<VisibilityChange>, engine::kChannelCount> m_visibility; // m_lock
};

struct ControlDeleter {
    void operator()(engine::COzuCtrl* c) const { engine::PlayerDestroy(c); }
};
using ControlPtr = std::unique_ptr<engine::COzuCtrl, ControlDeleter>;

// A control on drive `drive` (mapped to the image), unpaced, every channel into `window`.
ControlPtr OpenUnpaced(engine::NotificationSink& sink, PictureWindow& window, int drive,
                       const std::string& image);

// Waits until every channel in `channels` posted its end of stream (false after timeoutMs).
bool WaitForChannelEnds(engine::RecordingSink& sink, const std::vector<int>& channels,
                        int timeoutMs);

} // namespace tavero::testing
