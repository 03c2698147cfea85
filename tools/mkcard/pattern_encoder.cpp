#include "mkcard/pattern_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <array>
#include <memory>

namespace tavero::sim {

namespace {

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

std::string avErrorText(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return text.data();
}

struct Yuv {
    uint8_t y, u, v;
};

// Per-channel look: background, bar colour and bar speed in pixels per frame.
struct ChannelLook {
    Yuv background;
    Yuv bar;
    int barSpeed;
    bool vertical;
};

ChannelLook lookFor(uint8_t channel) {
    static constexpr std::array<ChannelLook, 8> kLooks = {{
        {{41, 240, 110}, {235, 128, 128}, 8, false},  // blue, white bar moving right
        {{145, 54, 34}, {16, 128, 128}, 5, true},     // green, black bar moving down
        {{81, 90, 240}, {210, 16, 146}, 12, false},   // red, yellow bar
        {{106, 202, 222}, {170, 166, 16}, 4, true},   // magenta, cyan bar
        {{128, 128, 128}, {235, 128, 128}, 6, false}, // grey
        {{60, 160, 100}, {200, 60, 200}, 9, true},
        {{180, 100, 160}, {30, 200, 60}, 3, false},
        {{30, 128, 128}, {120, 240, 110}, 7, true},
    }};
    return kLooks[channel % kLooks.size()];
}

void fillRect(AVFrame& frame, int x0, int y0, int x1, int y1, Yuv colour) {
    x0 = std::clamp(x0, 0, frame.width);
    x1 = std::clamp(x1, 0, frame.width);
    y0 = std::clamp(y0, 0, frame.height);
    y1 = std::clamp(y1, 0, frame.height);
    for (int y = y0; y < y1; ++y)
        std::fill_n(frame.data[0] + y * frame.linesize[0] + x0, x1 - x0, colour.y);
    for (int y = y0 / 2; y < (y1 + 1) / 2; ++y) {
        std::fill_n(frame.data[1] + y * frame.linesize[1] + x0 / 2, (x1 + 1) / 2 - x0 / 2,
                    colour.u);
        std::fill_n(frame.data[2] + y * frame.linesize[2] + x0 / 2, (x1 + 1) / 2 - x0 / 2,
                    colour.v);
    }
}

void drawPicture(AVFrame& frame, uint8_t channel, uint32_t frameNumber) {
    const ChannelLook look = lookFor(channel);
    const int w = frame.width;
    const int h = frame.height;
    fillRect(frame, 0, 0, w, h, look.background);

    // A diagonal band of shading gives the encoder some texture to move.
    const auto shift = static_cast<int>(frameNumber * 2 % 64);
    for (int y = h / 3; y < 2 * h / 3; ++y) {
        uint8_t* row = frame.data[0] + y * frame.linesize[0];
        for (int x = 0; x < w; ++x)
            row[x] = static_cast<uint8_t>(look.background.y + ((x + y + shift) & 63) / 2);
    }

    const int barSize = std::max(8, (look.vertical ? h : w) / 16);
    const int travel = (look.vertical ? h : w) + barSize;
    const int at = static_cast<int>(frameNumber * static_cast<uint32_t>(look.barSpeed) %
                                    static_cast<uint32_t>(travel)) -
                   barSize;
    if (look.vertical)
        fillRect(frame, 0, at, w, at + barSize, look.bar);
    else
        fillRect(frame, at, 0, at + barSize, h, look.bar);

    // Channel number as that many small squares, frame counter as 16 binary blocks.
    const int cell = std::max(4, w / 40);
    for (int i = 0; i <= channel; ++i)
        fillRect(frame, cell + i * 2 * cell, cell, 2 * cell + i * 2 * cell, 2 * cell,
                 {235, 128, 128});
    for (int bit = 0; bit < 16; ++bit) {
        const bool set = (frameNumber >> (15 - bit) & 1) != 0;
        const int x = cell + bit * (cell + cell / 2);
        fillRect(frame, x, h - 3 * cell, x + cell, h - cell,
                 set ? Yuv{235, 128, 128} : Yuv{16, 128, 128});
    }
}

bool drainPackets(AVCodecContext& context, AVPacket& packet, AnnexBSplitter& splitter,
                  std::vector<Picture>& out, std::string& error) {
    for (;;) {
        const int result = avcodec_receive_packet(&context, &packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return true;
        if (result < 0) {
            error = "H.264 encoder failed: " + avErrorText(result);
            return false;
        }
        // One packet is one picture; the splitter still checks that key pictures carry
        // their parameter sets.
        splitter.split(std::span<const uint8_t>(packet.data, static_cast<size_t>(packet.size)),
                       out);
        av_packet_unref(&packet);
    }
}

} // namespace

bool encodePattern(const PatternParams& params, uint32_t frameCount, std::vector<Picture>& out,
                   std::string& error) {
    // The encoder's statistics lines would drown the tool's own output; errors still show.
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_ERROR);
        return true;
    }();
    (void)quiet;
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) {
        error = "the libx264 encoder is not available in this FFmpeg build (needed for test "
                "patterns; give the channel an H.264 file instead)";
        return false;
    }
    if (params.width < 16 || params.height < 16 || params.width % 2 != 0 ||
        params.height % 2 != 0 || params.fps < 1 || params.fps > 120 || params.gop < 1) {
        error = "unusable pattern geometry (even width and height of at least 16, fps 1..120)";
        return false;
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet) {
        error = "out of memory setting up the H.264 encoder";
        return false;
    }
    context->width = params.width;
    context->height = params.height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, params.fps};
    context->framerate = AVRational{params.fps, 1};
    context->gop_size = params.gop;
    context->max_b_frames = 0;
    const int64_t pixelsPerSecond = int64_t{params.width} * params.height * params.fps;
    context->bit_rate = params.bitrateKbps > 0
                            ? int64_t{params.bitrateKbps} * 1000
                            : std::clamp<int64_t>(pixelsPerSecond / 30, 100000, 1500000);
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    // repeat-headers: SPS and PPS in front of every IDR; scenecut off keeps key pictures on the
    // requested interval only.
    av_opt_set(context->priv_data, "x264-params", "repeat-headers=1:scenecut=0", 0);
    int result = avcodec_open2(context.get(), codec, nullptr);
    if (result < 0) {
        error = "cannot open the libx264 encoder: " + avErrorText(result);
        return false;
    }

    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = params.width;
    frame->height = params.height;
    result = av_frame_get_buffer(frame.get(), 0);
    if (result < 0) {
        error = "cannot allocate a picture: " + avErrorText(result);
        return false;
    }

    AnnexBSplitter splitter;
    for (uint32_t i = 0; i < frameCount; ++i) {
        result = av_frame_make_writable(frame.get());
        if (result < 0) {
            error = "cannot write a picture: " + avErrorText(result);
            return false;
        }
        drawPicture(*frame, params.channel, params.firstFrame + i);
        frame->pts = i;
        result = avcodec_send_frame(context.get(), frame.get());
        if (result < 0) {
            error = "H.264 encoder refused a picture: " + avErrorText(result);
            return false;
        }
        if (!drainPackets(*context, *packet, splitter, out, error))
            return false;
    }
    result = avcodec_send_frame(context.get(), nullptr);
    if (result < 0) {
        error = "H.264 encoder flush failed: " + avErrorText(result);
        return false;
    }
    return drainPackets(*context, *packet, splitter, out, error);
}

} // namespace tavero::sim
