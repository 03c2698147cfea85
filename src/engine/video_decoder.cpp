#include "engine/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/hwcontext.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <mutex>

namespace tavero::engine {
namespace {

AVPixelFormat TargetFormat(int bpp) {
    switch (bpp) {
    case 12:
        return AV_PIX_FMT_YUV420P;
    case 16:
        return AV_PIX_FMT_RGB565;
    case 32:
        return AV_PIX_FMT_BGRA;
    default:
        return AV_PIX_FMT_NONE;
    }
}

bool IsYuv420(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

// Device types tried for hardware decoding, in order.
constexpr AVHWDeviceType kHardwareTypes[] = {AV_HWDEVICE_TYPE_VAAPI, AV_HWDEVICE_TYPE_VDPAU,
                                             AV_HWDEVICE_TYPE_CUDA};

} // namespace

void InitCodecLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

VideoDecoder::VideoDecoder() {
    InitCodecLibrary();
}

VideoDecoder::~VideoDecoder() {
    Close();
}

bool VideoDecoder::EnableHardware(bool enabled) {
    m_wantHardware = enabled;
    if (!enabled) {
        return true;
    }
    for (AVHWDeviceType type : kHardwareTypes) {
        AVBufferRef* device = nullptr;
        if (av_hwdevice_ctx_create(&device, type, nullptr, nullptr, 0) == 0) {
            av_buffer_unref(&device);
            return true;
        }
    }
    m_wantHardware = false;
    return false;
}

bool VideoDecoder::Open(int width, int height, int bpp) {
    if (m_context == nullptr) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        if (codec == nullptr) {
            return false;
        }
        m_context = avcodec_alloc_context3(codec);
        if (m_context == nullptr) {
            return false;
        }
        if (m_wantHardware) {
            for (AVHWDeviceType type : kHardwareTypes) {
                if (av_hwdevice_ctx_create(&m_hwDevice, type, nullptr, nullptr, 0) == 0) {
                    m_context->hw_device_ctx = av_buffer_ref(m_hwDevice);
                    break;
                }
            }
        }
        // One decoding thread per channel: eight channels already use every core.
        m_context->thread_count = 1;
        if (avcodec_open2(m_context, codec, nullptr) < 0) {
            avcodec_free_context(&m_context);
            av_buffer_unref(&m_hwDevice);
            return false;
        }
    }
    if (m_frame == nullptr && (m_frame = av_frame_alloc()) == nullptr) {
        return false;
    }
    if (m_swFrame == nullptr && (m_swFrame = av_frame_alloc()) == nullptr) {
        return false;
    }
    if (m_packet == nullptr && (m_packet = av_packet_alloc()) == nullptr) {
        return false;
    }
    if (width != 0 && height != 0 && bpp != 0) {
        if (TargetFormat(bpp) == AV_PIX_FMT_NONE) {
            return false;
        }
        m_width = width;
        m_height = height;
        m_bpp = bpp;
        // The converter itself is made at the first picture, when its source format is known.
        m_scalerFormat = -1;
    }
    return true;
}

void VideoDecoder::Close() {
    avcodec_free_context(&m_context);
    av_frame_free(&m_frame);
    av_frame_free(&m_swFrame);
    av_packet_free(&m_packet);
    sws_freeContext(m_scaler);
    m_scaler = nullptr;
    av_buffer_unref(&m_hwDevice);
    m_width = m_height = m_bpp = 0;
    m_scalerFormat = m_scalerSourceFormat = -1;
}

bool VideoDecoder::Decode(const std::uint8_t* data, std::size_t size, std::uint64_t tag,
                          const PictureFn& picture) {
    if (m_context == nullptr || m_packet == nullptr) {
        return false;
    }
    // The packet only borrows the payload, which stays in the queue.
    auto send = [&] {
        av_packet_unref(m_packet);
        m_packet->data = const_cast<std::uint8_t*>(data);
        m_packet->size = static_cast<int>(size);
        m_packet->pts = static_cast<std::int64_t>(tag);
        const int result = avcodec_send_packet(m_context, m_packet);
        m_packet->data = nullptr;
        m_packet->size = 0;
        return result;
    };
    int sent = 0;
    if (data == nullptr || size == 0) {
        sent = avcodec_send_packet(m_context, nullptr);
    } else if ((sent = send()) == AVERROR(EAGAIN)) {
        // Pictures are waiting: take them, then offer the packet again.
        receiveAll(picture);
        sent = send();
    }
    receiveAll(picture);
    if (data == nullptr || size == 0) {
        // After a drain the decoder takes new packets only once flushed.
        avcodec_flush_buffers(m_context);
    }
    return sent >= 0 || sent == AVERROR_EOF;
}

bool VideoDecoder::receiveAll(const PictureFn& picture) {
    bool any = false;
    for (;;) {
        const int got = avcodec_receive_frame(m_context, m_frame);
        if (got < 0) {
            return any;
        }
        const AVFrame* shown = m_frame;
        if (m_frame->hw_frames_ctx != nullptr) {
            av_frame_unref(m_swFrame);
            if (av_hwframe_transfer_data(m_swFrame, m_frame, 0) < 0) {
                av_frame_unref(m_frame);
                continue;
            }
            m_swFrame->pts = m_frame->pts;
            m_swFrame->best_effort_timestamp = m_frame->best_effort_timestamp;
            m_swFrame->key_frame = m_frame->key_frame;
            shown = m_swFrame;
        }
        any = true;
        const std::int64_t tag = shown->best_effort_timestamp != AV_NOPTS_VALUE
                                     ? shown->best_effort_timestamp
                                     : shown->pts;
        picture(*shown, static_cast<std::uint64_t>(tag));
        av_frame_unref(m_frame);
    }
}

void VideoDecoder::Flush() {
    if (m_context != nullptr) {
        avcodec_flush_buffers(m_context);
    }
}

bool VideoDecoder::Convert(const AVFrame& frame, std::uint8_t* surface, int pitch) {
    return convert(frame.data, frame.linesize, frame.format, frame.width, frame.height, surface,
                   pitch);
}

bool VideoDecoder::ConvertYuv(const YuvPicture& picture, std::uint8_t* surface, int pitch) {
    return convert(picture.planes, picture.strides, AV_PIX_FMT_YUV420P, picture.width,
                   picture.height, surface, pitch);
}

bool VideoDecoder::convert(const std::uint8_t* const planes[], const int strides[], int format,
                           int width, int height, std::uint8_t* surface, int pitch) {
    if (surface == nullptr || width != m_width || height != m_height || m_bpp == 0) {
        return false;
    }
    const AVPixelFormat target = TargetFormat(m_bpp);
    if (m_scaler == nullptr || m_scalerFormat != target || m_scalerSourceFormat != format) {
        m_scaler = sws_getCachedContext(m_scaler, m_width, m_height,
                                        static_cast<AVPixelFormat>(format), m_width, m_height,
                                        target, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
        if (m_scaler == nullptr) {
            return false;
        }
        m_scalerFormat = target;
        m_scalerSourceFormat = format;
    }
    std::uint8_t* to[4] = {surface, nullptr, nullptr, nullptr};
    int pitches[4] = {pitch, 0, 0, 0};
    if (target == AV_PIX_FMT_YUV420P) {
        // Y plane, then U and V of a quarter size each, strides width and width / 2.
        to[1] = surface + static_cast<std::size_t>(pitch) * m_height;
        to[2] = to[1] + static_cast<std::size_t>(pitch / 2) * (m_height / 2);
        pitches[1] = pitches[2] = pitch / 2;
    }
    sws_scale(m_scaler, planes, strides, 0, m_height, to, pitches);
    return true;
}

bool VideoDecoder::AsYuv(const AVFrame& frame, YuvPicture& out, std::vector<std::uint8_t>& planes) {
    out.width = frame.width;
    out.height = frame.height;
    if (IsYuv420(frame.format)) {
        for (int i = 0; i < 3; ++i) {
            out.planes[i] = frame.data[i];
            out.strides[i] = frame.linesize[i];
        }
        return true;
    }
    if (frame.format != AV_PIX_FMT_NV12 || frame.width <= 0 || frame.height <= 0) {
        return false;
    }
    const int cw = (frame.width + 1) / 2;
    const int ch = (frame.height + 1) / 2;
    planes.resize(static_cast<std::size_t>(cw) * ch * 2);
    std::uint8_t* u = planes.data();
    std::uint8_t* v = u + static_cast<std::size_t>(cw) * ch;
    for (int y = 0; y < ch; ++y) {
        const std::uint8_t* row =
            frame.data[1] + static_cast<std::ptrdiff_t>(y) * frame.linesize[1];
        for (int x = 0; x < cw; ++x) {
            u[static_cast<std::size_t>(y) * cw + x] = row[2 * x];
            v[static_cast<std::size_t>(y) * cw + x] = row[2 * x + 1];
        }
    }
    out.planes[0] = frame.data[0];
    out.strides[0] = frame.linesize[0];
    out.planes[1] = u;
    out.planes[2] = v;
    out.strides[1] = out.strides[2] = cw;
    return true;
}

} // namespace tavero::engine
