#pragma once
// Where a channel's pictures go. The engine's video worker of a channel calls its window from
// that worker's thread only; a window that shows pictures on another thread (the user interface)
// copies or hands them on before returning.

#include <cstdint>

class QImage;

namespace tavero::engine {

// Added to the picture's edges when it is shown: left and top move those edges, right and
// bottom are added to the width and height (negative values cut, positive ones reach past).
struct CropRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// A decoded picture as the decoder gives it: planar YUV 4:2:0, 8 bits.
struct YuvPicture {
    int width = 0;
    int height = 0;
    const std::uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    int strides[3] = {0, 0, 0};
    std::int64_t ptsUs = 0;       // the frame's time stamp
    std::int64_t timeSeconds = 0; // wall-clock time of its unit
    bool key = false;
};

class VideoWindow {
public:
    virtual ~VideoWindow() = default;
    // Every picture about to be shown, before conversion and text (hashing, counting). Only
    // called when wantsDecoded() says so, as it costs the worker time.
    [[nodiscard]] virtual bool wantsDecoded() const { return false; }
    virtual void Decoded(int /*channel*/, const YuvPicture& /*picture*/) {}
    // Whether the channel's finished pictures are wanted at all. A window that only counts or
    // hashes decoded pictures (or shows nothing of this channel) says no: the worker then skips
    // the conversion and the text, the costliest steps after decoding, and a snapshot of the
    // channel keeps the last picture that was converted.
    [[nodiscard]] virtual bool wantsPictures(int /*channel*/) const { return true; }
    // The finished picture (converted, text drawn): show it scaled into the window, cropped.
    virtual void Present(int channel, const QImage& picture, const CropRect& crop) = 0;
    // The engine hides a channel the recorder switched off and shows it again when its
    // pictures return.
    virtual void SetVisible(int /*channel*/, bool /*visible*/) {}
};

} // namespace tavero::engine
