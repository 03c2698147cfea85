#pragma once
// One channel's H.264 decoder on libavcodec's send/receive interface, and the converter from
// its pictures to the presenter's pixel format. Software decoding; with hardware decoding asked
// for and available (VAAPI, VDPAU or CUDA through FFmpeg), pictures are decoded on the device
// and fetched back, and any failure falls back to software for the rest of the play.

#include "engine/video_window.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;
struct AVBufferRef;

namespace tavero::engine {

// Library start-up, once per process before the first decoder; idempotent and thread-safe.
void InitCodecLibrary();

class VideoDecoder {
public:
    VideoDecoder();
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Opens the decoder when it is not open yet; with width, height and bpp all non-zero also
    // prepares the converter to that size and depth (12: YUV 4:2:0 copy, 16: RGB 5:6:5, 32:
    // BGRA). False when the decoder or the converter cannot be had.
    [[nodiscard]] bool Open(int width, int height, int bpp);
    void Close();

    // Asks for hardware decoding from the next opening on; false when this machine offers no
    // device (the decoder then stays in software).
    bool EnableHardware(bool enabled);
    [[nodiscard]] bool hardware() const { return m_hwDevice != nullptr; }

    // Sends one packet (null data: drain) and hands every picture that comes out, with the tag
    // of the packet it started in, to `picture`. The packet's bytes are read in place; they
    // need AV_INPUT_BUFFER_PADDING_SIZE readable bytes behind them, which the queue's margin
    // guarantees. False when the decoder rejected the packet (not an error for the stream).
    using PictureFn = std::function<void(const AVFrame& frame, std::uint64_t tag)>;
    bool Decode(const std::uint8_t* data, std::size_t size, std::uint64_t tag,
                const PictureFn& picture);
    // Forgets what the decoder holds (after a seek or a drain).
    void Flush();

    // Converts a picture into a surface of the prepared size and depth; false when no
    // converter is prepared for this picture's size.
    bool Convert(const AVFrame& frame, std::uint8_t* surface, int pitch);
    // The same for a stored planar YUV 4:2:0 picture.
    bool ConvertYuv(const YuvPicture& picture, std::uint8_t* surface, int pitch);

    // The picture as planar YUV 4:2:0 planes: planar pictures without a copy; NV12 (what
    // hardware decoders hand back) with its interleaved chroma split into the planes buffer,
    // which must stay untouched while out is used. False for other pixel formats.
    static bool AsYuv(const AVFrame& frame, YuvPicture& out, std::vector<std::uint8_t>& planes);

    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] int bpp() const { return m_bpp; }

private:
    bool receiveAll(const PictureFn& picture);
    bool convert(const std::uint8_t* const planes[], const int strides[], int format, int width,
                 int height, std::uint8_t* surface, int pitch);

    AVCodecContext* m_context = nullptr;
    AVFrame* m_frame = nullptr;
    AVFrame* m_swFrame = nullptr; // hardware pictures fetched back
    AVPacket* m_packet = nullptr;
    SwsContext* m_scaler = nullptr;
    AVBufferRef* m_hwDevice = nullptr;
    bool m_wantHardware = false;
    int m_width = 0;
    int m_height = 0;
    int m_bpp = 0;
    int m_scalerFormat = -1;
    int m_scalerSourceFormat = -1;
};

} // namespace tavero::engine
