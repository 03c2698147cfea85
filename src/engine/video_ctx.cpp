#include "engine/video_ctx.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "engine/audio_ctx.h"
#include "engine/ozu_ctrl.h"
#include "store/byte_io.h"
#include "store/unit_trailer.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace tavero::engine {
namespace {

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The payload starts with a start code followed by a sequence parameter set.
bool StartsWithSequenceParameters(const FrameRecord& r) {
    return r.size > 4 && r.payload[4] == 0x67;
}

// Copies a picture into one buffer: Y rows, then U, then V, without padding.
void StorePicture(const YuvPicture& yuv, std::vector<std::uint8_t>& out) {
    const int w = yuv.width;
    const int h = yuv.height;
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    out.resize(static_cast<std::size_t>(w) * h + 2 * static_cast<std::size_t>(cw) * ch);
    std::uint8_t* to = out.data();
    for (int y = 0; y < h; ++y, to += w) {
        std::memcpy(to, yuv.planes[0] + static_cast<std::ptrdiff_t>(y) * yuv.strides[0],
                    static_cast<std::size_t>(w));
    }
    for (int p = 1; p < 3; ++p) {
        for (int y = 0; y < ch; ++y, to += cw) {
            std::memcpy(to, yuv.planes[p] + static_cast<std::ptrdiff_t>(y) * yuv.strides[p],
                        static_cast<std::size_t>(cw));
        }
    }
}

YuvPicture StoredAsYuv(const std::vector<std::uint8_t>& pixels, int w, int h) {
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    YuvPicture yuv;
    yuv.width = w;
    yuv.height = h;
    yuv.planes[0] = pixels.data();
    yuv.planes[1] = pixels.data() + static_cast<std::size_t>(w) * h;
    yuv.planes[2] = yuv.planes[1] + static_cast<std::size_t>(cw) * ch;
    yuv.strides[0] = w;
    yuv.strides[1] = yuv.strides[2] = cw;
    return yuv;
}

} // namespace

CVideoCtx::CVideoCtx(COzuCtrl& owner, int channel) : m_owner(owner), m_channel(channel) {}

CVideoCtx::~CVideoCtx() {
    Stop(-1);
}

bool CVideoCtx::Start() {
    m_slot = m_owner.slot(m_channel);
    if (m_slot == nullptr) {
        return false;
    }
    ChannelSettings& settings = m_owner.settings[static_cast<std::size_t>(m_channel)];
    m_decoder.Close();
    m_decoder.EnableHardware(settings.hardwareDecoding.load());
    m_width = 0;
    m_height = 0;
    m_presenter.Release();
    (void)m_decoder.Open(0, 0, 0);
    m_firstFrame = true;
    m_keyFrames = 0;
    m_predicted = 0;
    m_rate = 0;
    m_repaint = kRepaintNone;
    // Idle from the start of the thread until the first picture is shown, also when the
    // channel's video is switched off and it never shows one.
    m_startFlag = 1;
    return CMyThread::Start();
}

void CVideoCtx::Stop(int timeoutMs) {
    CMyThread::Stop(0); // clears the running flag without waiting
    if (m_slot != nullptr) {
        m_slot->pacer.Wake(); // a pacing wait ends at once
    }
    CMyThread::Stop(timeoutMs);
    m_lastTime = 0;
    m_ptsUs = 0;
}

void CVideoCtx::restartTiming() {
    m_slot->pacer.RestartTiming();
}

void CVideoCtx::serveRepaint() {
    const int code = m_repaint.exchange(kRepaintNone);
    if (code == kRepaintNone || !m_presenter.valid()) {
        return;
    }
    m_startFlag = 0;
    if (code == kRepaintClear) {
        m_presenter.Clear();
    }
    m_presenter.PresentCropped(m_owner.settings[static_cast<std::size_t>(m_channel)].cropRect());
}

void CVideoCtx::returnBackwardPictures() {
    for (auto* list : {&m_collected, &m_display}) {
        for (auto& p : *list) {
            m_pool.push_back(std::move(p));
        }
        list->clear();
    }
}

void CVideoCtx::freeBackwardPictures() {
    m_pool.clear();
    m_collected.clear();
    m_display.clear();
}

int CVideoCtx::Run() {
    COzuCtrl& control = m_owner;
    const auto c = static_cast<std::size_t>(m_channel);
    CVBuffer2& queue = m_slot->video;
    ChannelSettings& settings = control.settings[c];
    m_slot->pacer.ClearWake();
    SleepWhileRunning(10);
    restartTiming();
    m_generation = control.seekGeneration.load();
    while (running() && !settings.videoEnabled.load()) {
        // A channel without video keeps its queue empty and never shows a picture.
        FrameRecord discarded;
        if (!queue.Pop(discarded)) {
            SleepMs(10);
        }
    }
    m_startFlag = 1;
    m_firstFrame = true;
    m_shownSinceFlush = false;
    while (running()) {
        serveRepaint();
        const std::int32_t target = control.seekTarget.load();
        if (target != 0) {
            m_firstFrame = true;
            control.currentTime[c] = static_cast<std::uint32_t>(target);
            returnBackwardPictures();
            queue.Trim();
        }
        FrameRecord r;
        if (!queue.Pop(r) || control.seekTarget.load() != 0) {
            SleepMs(10);
            restartTiming();
            continue;
        }
        if (RecordGeneration(r) != control.seekGeneration.load()) {
            continue; // read before the latest seek
        }
        if (const std::uint32_t g = RecordGeneration(r); g != m_generation) {
            // The first record after a seek: nothing decoded before it may come out.
            m_generation = g;
            m_decoder.Flush();
            m_firstFrame = true;
            m_shownSinceFlush = false;
            returnBackwardPictures();
        }
        double s = control.speed.load();
        if (s < -1 && r.timeSeconds >= control.clock.load()) {
            continue;
        }
        if (s >= 0 && r.speed < 0) {
            returnBackwardPictures();
            continue;
        }
        if (s < 0 && r.speed >= 0) {
            continue;
        }
        switch (r.kind) {
        case kKindIgnored:
        case kKindSequenceHeader:
            continue;
        case kKindEnd:
            if (control.playing.load()) {
                control.ended[c] = true;
                if (!control.unpaced.load()) {
                    SleepWhileRunning(1000);
                }
                control.Notify(kMsgEndOfStream, m_channel);
            }
            drainDecoder(s);
            continue;
        case kKindSideRecord:
            if (r.value == kSideChannelOff) {
                channelOff(s);
            }
            continue;
        case kKindKeyFrame:
            m_ptsUs = r.ptsUs;
            if (m_firstFrame) {
                m_slot->pacer.Reset(m_ptsUs);
            }
            if (StartsWithSequenceParameters(r) && m_predicted > 0) {
                ++m_keyFrames;
                m_publishedPredicted = m_predicted;
                m_predicted = 0;
            }
            if (s > 8 && m_keyFrames % static_cast<int>(s / 4) != 0) {
                if (s == 16) {
                    SleepWhileRunning(60);
                } else if (s == 32) {
                    SleepWhileRunning(45);
                }
                continue;
            }
            break;
        case kKindFrame:
            m_ptsUs = r.ptsUs;
            if (m_firstFrame) {
                m_slot->pacer.Reset(m_ptsUs);
            }
            ++m_predicted;
            if (static_cast<int>(s) != -1 && s >= 2) {
                continue;
            }
            break;
        case kKindTrailer:
            if (s < 2 || (m_keyFrames + m_predicted) % static_cast<int>(s + 1) == 0) {
                takeTrailer(r);
            }
            continue;
        default:
            break;
        }
        decode(r, s);
        const double f = static_cast<double>(r.value);
        if (r.value != 0 && std::fabs(s) * f != m_rate && s != 0) {
            m_rate = std::fabs(s) * f;
            m_slot->pacer.SetRate(m_rate);
        }
        if ((s == 1.1 || s == -1.1) && m_shownSinceFlush) {
            s = 0;
            control.paused = true;
        }
        if ((control.paused.load() || s == 0) && !m_shownSinceFlush) {
            if (s < 0 && r.kind == kKindKeyFrame) {
                // Backwards each key picture stands alone: what the decoder still holds of it
                // comes out now, so that the pause has its picture.
                drainDecoder(s);
            }
        }
        if ((control.paused.load() || s == 0) && !m_shownSinceFlush) {
            // Paused, but nothing shown since the start or the last seek (the decoder holds its
            // first pictures): decode on until there is a picture to pause on.
            continue;
        }
        if (control.paused.load() || s == 0) {
            waitWhilePaused();
        } else {
            m_firstFrame = false;
            for (int other = 0; other < kChannelCount; ++other) {
                if (ChannelSlot* slot = control.slot(other)) {
                    slot->pacer.SetSpeed(s);
                }
            }
            const std::int64_t ts = s < 0 ? m_backwardPtsUs : m_ptsUs;
            control.channelClock.OnFrame(m_channel, ts, s < 0 ? -f : f);
            if (!control.unpaced.load()) {
                m_slot->pacer.Wait();
            }
        }
    }
    returnBackwardPictures();
    return 0;
}

void CVideoCtx::decode(const FrameRecord& r, double speed) {
    m_lastTime = r.lastTime;
    const std::uint64_t tag = m_sequence++;
    m_meta[tag % kMetaRing] = PictureMeta{r.ptsUs, r.timeSeconds, r.kind, r.speed};
    m_decoder.Decode(r.payload, r.size, tag, [this, speed](const AVFrame& f, std::uint64_t t) {
        onPicture(f, m_meta[t % kMetaRing], speed);
    });
}

void CVideoCtx::drainDecoder(double speed) {
    // Pictures still inside the decoder (it keeps a few for reordering) are shown like any
    // other: current time, frame count and text included.
    m_decoder.Decode(nullptr, 0, 0, [this, speed](const AVFrame& f, std::uint64_t t) {
        onPicture(f, m_meta[t % kMetaRing], speed);
    });
}

void CVideoCtx::onPicture(const AVFrame& frame, const PictureMeta& meta, double speed) {
    if (!present(frame, meta)) {
        return;
    }
    const auto c = static_cast<std::size_t>(m_channel);
    m_repaint = kRepaintShow;
    m_shownSinceFlush = true;
    m_owner.currentTime[c] = meta.timeSeconds;
    m_owner.frameCount[c].fetch_add(1);
    if (VideoWindow* window = m_owner.settings[c].window.load();
        window == nullptr || window->wantsPictures(m_channel)) {
        drawText(meta, speed);
    }
    if (m_slot->hidden.exchange(false)) {
        // The recorder switched the camera on again.
        if (VideoWindow* window = m_owner.settings[c].window.load()) {
            window->SetVisible(m_channel, true);
        }
    }
}

void CVideoCtx::channelOff(double speed) {
    // Everything queued before the camera went off has been shown; what the decoder still
    // holds comes out now. Then the picture is cleared, shown cleared, and the window hidden.
    drainDecoder(speed);
    serveRepaint();
    if (m_presenter.valid()) {
        m_presenter.Clear();
        m_presenter.PresentCropped(
            m_owner.settings[static_cast<std::size_t>(m_channel)].cropRect());
    }
    m_repaint = kRepaintNone;
    if (!m_slot->hidden.exchange(true)) {
        if (VideoWindow* window =
                m_owner.settings[static_cast<std::size_t>(m_channel)].window.load()) {
            window->SetVisible(m_channel, false);
        }
    }
}

bool CVideoCtx::resize(int width, int height) {
    m_width = width;
    m_height = height;
    freeBackwardPictures();
    VideoWindow* window = m_owner.settings[static_cast<std::size_t>(m_channel)].window.load();
    if (!m_presenter.Create(window, m_channel, width, height)) {
        m_width = 0;
        m_height = 0;
        return false;
    }
    m_presenter.Clear();
    if (!m_decoder.Open(width, height, 32)) {
        return false;
    }
    m_owner.Notify(kMsgVideoSize, m_channel);
    return true;
}

bool CVideoCtx::present(const AVFrame& frame, const PictureMeta& meta) {
    if (frame.width != m_width.load() || frame.height != m_height.load() || !m_presenter.valid()) {
        if (!resize(frame.width, frame.height)) {
            return false;
        }
    }
    YuvPicture yuv;
    const bool isYuv = VideoDecoder::AsYuv(frame, yuv, m_chroma);
    if (isYuv) {
        yuv.ptsUs = meta.ptsUs;
        yuv.timeSeconds = meta.timeSeconds;
        yuv.key = meta.kind == kKindKeyFrame;
    }
    if (meta.speed >= 0 || !isYuv) {
        return show(isYuv ? &yuv : nullptr, &frame, meta);
    }
    // Backward play: keep the picture; a key picture closes the group being collected, which
    // is then shown newest first while the next group is decoded.
    StoredPicture picture;
    if (!m_pool.empty()) {
        picture = std::move(m_pool.back());
        m_pool.pop_back();
    }
    StorePicture(yuv, picture.pixels);
    picture.meta = meta;
    if (meta.kind == kKindKeyFrame) {
        for (auto& p : m_display) {
            m_pool.push_back(std::move(p));
        }
        m_display = std::move(m_collected);
        m_collected.clear();
    }
    m_collected.push_back(std::move(picture));
    if (m_display.empty() && m_owner.paused.load() && !m_shownSinceFlush) {
        // Paused after a seek: the picture is wanted now, not one group later (the reader may
        // be held up by another channel's full queue before this one gets its next group).
        m_display = std::move(m_collected);
        m_collected.clear();
    }
    if (m_display.empty()) {
        return false;
    }
    StoredPicture shown = std::move(m_display.back());
    m_display.pop_back();
    m_backwardPtsUs = shown.meta.ptsUs;
    YuvPicture stored = StoredAsYuv(shown.pixels, frame.width, frame.height);
    stored.ptsUs = shown.meta.ptsUs;
    stored.timeSeconds = shown.meta.timeSeconds;
    stored.key = shown.meta.kind == kKindKeyFrame;
    const bool ok = show(&stored, nullptr, shown.meta);
    m_pool.push_back(std::move(shown));
    return ok;
}

bool CVideoCtx::show(const YuvPicture* yuv, const AVFrame* frame, const PictureMeta& meta) {
    (void)meta;
    VideoWindow* window = m_owner.settings[static_cast<std::size_t>(m_channel)].window.load();
    if (window != nullptr && yuv != nullptr && window->wantsDecoded()) {
        window->Decoded(m_channel, *yuv);
    }
    if (window != nullptr && !window->wantsPictures(m_channel)) {
        return true; // shown as far as the window cares: nothing to convert
    }
    int pitch = 0;
    std::uint8_t* surface = m_presenter.LockSurface(pitch);
    if (surface == nullptr) {
        return false;
    }
    bool ok = false;
    if (frame != nullptr) {
        ok = m_decoder.Convert(*frame, surface, pitch);
    } else if (yuv != nullptr) {
        ok = m_decoder.ConvertYuv(*yuv, surface, pitch);
    }
    m_presenter.UnlockSurface();
    return ok;
}

void CVideoCtx::drawText(const PictureMeta& meta, double speed) {
    const auto c = static_cast<std::size_t>(m_channel);
    OverlaySettings overlay;
    overlay.showInfo = m_owner.showInfo.load();
    overlay.infoColour = m_owner.infoColour.load();
    overlay.infoX = m_owner.infoX.load();
    overlay.infoY = m_owner.infoY.load();
    InfoState info;
    info.timeSeconds = meta.timeSeconds;
    info.ptsUs = speed < 0 ? m_backwardPtsUs : meta.ptsUs;
    info.framesLastSecond = m_owner.latchedFrames[c].load();
    info.bytesLastSecond = m_owner.latchedBytes[c].load();
    info.predictedPerGroup = m_publishedPredicted.load();
    info.videoRecords = m_slot->video.recordCount();
    info.videoBytes = m_slot->video.queuedBytes();
    info.audioRecords = m_slot->audio.recordCount();
    info.audioBytes = m_slot->audio.queuedBytes();
    m_presenter.DrawText(overlay, info, speed, m_owner.settings[c].cropRect());
}

void CVideoCtx::takeTrailer(const FrameRecord& r) {
    if (r.size < store::kTrailerSize || store::LoadLe32(r.payload) != store::kTrailerMagic) {
        return; // not a trailer: ignored
    }
    m_owner.box().SetLatestTrailer(r.payload);
    m_owner.Notify(kMsgUnitTrailer, 0);
}

void CVideoCtx::waitWhilePaused() {
    COzuCtrl& control = m_owner;
    m_slot->audioWorker->SetPaused(true);
    // A seek while paused is served at once: its picture is shown, then the pause goes on.
    // A seek may come and be taken by the reader between two looks at its target: the
    // generation tells.
    while (running() && control.paused.load() && control.seekTarget.load() == 0 &&
           control.seekGeneration.load() == m_generation) {
        serveRepaint();
        SleepMs(10);
    }
    m_slot->audioWorker->SetPaused(false);
    restartTiming();
    if (m_channel == 0) {
        control.clock = control.currentTime[0].load();
    }
}

} // namespace tavero::engine
