#pragma once
// CVideoCtx: a channel's video worker. Takes the records of the channel's video queue, acts on
// their kinds, decodes the pictures, shows them through the presenter and paces itself. Speed,
// direction, single steps and pause are carried out here: fast forward by leaving pictures out,
// backward play by decoding each group forwards and showing it newest first.

#include "engine/frame_record.h"
#include "engine/presenter.h"
#include "engine/thread_base.h"
#include "engine/video_decoder.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct AVFrame;

namespace tavero::engine {

class COzuCtrl;
struct ChannelSlot;

class CVideoCtx : public CMyThread {
public:
    // Repaint requests, served by the worker at the top of each pass.
    enum Repaint : int { kRepaintNone = 0, kRepaintShow = 1, kRepaintClear = 2 };

    CVideoCtx(COzuCtrl& owner, int channel);
    ~CVideoCtx() override;

    [[nodiscard]] bool Start() override;
    void Stop(int timeoutMs) override;
    int Run() override;

    void RequestRepaint(int code) { m_repaint.store(code); }
    // 1 from the start until the first picture was shown.
    [[nodiscard]] bool idle() const { return m_startFlag.load() != 0; }
    [[nodiscard]] int width() const { return m_width.load(); }
    [[nodiscard]] int height() const { return m_height.load(); }
    [[nodiscard]] Presenter& presenter() { return m_presenter; }
    // Time value of the last frame handled.
    [[nodiscard]] std::uint32_t lastTime() const { return m_lastTime.load(); }
    // Predicted pictures of the last complete group (the "P/I" of the information lines).
    [[nodiscard]] int predictedPerGroup() const { return m_publishedPredicted.load(); }

private:
    // What the worker keeps of a record until its picture comes out of the decoder.
    struct PictureMeta {
        std::int64_t ptsUs = 0;
        std::int64_t timeSeconds = 0;
        std::uint32_t kind = 0;
        double speed = 1.0;
    };
    // A decoded picture kept for backward play: planar YUV 4:2:0, width x height x 3 / 2 bytes.
    struct StoredPicture {
        std::vector<std::uint8_t> pixels;
        PictureMeta meta;
    };

    void serveRepaint();
    void waitWhilePaused();
    void restartTiming();
    void returnBackwardPictures();
    void freeBackwardPictures();
    void decode(const FrameRecord& record, double speed);
    void drainDecoder(double speed);
    void onPicture(const AVFrame& frame, const PictureMeta& meta, double speed);
    void channelOff(double speed);
    [[nodiscard]] bool present(const AVFrame& frame, const PictureMeta& meta);
    [[nodiscard]] bool show(const YuvPicture* yuv, const AVFrame* frame, const PictureMeta& meta);
    void drawText(const PictureMeta& meta, double speed);
    void takeTrailer(const FrameRecord& record);
    [[nodiscard]] bool resize(int width, int height);

    COzuCtrl& m_owner;
    const int m_channel;
    ChannelSlot* m_slot = nullptr; // set at Start
    VideoDecoder m_decoder;
    Presenter m_presenter;
    std::atomic<int> m_width{1280};
    std::atomic<int> m_height{720};
    std::atomic<int> m_repaint{kRepaintNone};
    std::atomic<int> m_startFlag{0};
    std::atomic<int> m_publishedPredicted{0};

    // The worker thread's own state.
    std::int64_t m_ptsUs = 0;         // time stamp of the frame decoded forwards
    std::int64_t m_backwardPtsUs = 0; // time stamp of the picture shown backwards
    std::atomic<std::uint32_t> m_lastTime{0};
    bool m_firstFrame = true;
    std::uint32_t m_generation = 0; // seek generation of the records being shown
    bool m_shownSinceFlush = false; // a picture was shown since the start or the last seek
    int m_keyFrames = 0;
    int m_predicted = 0;
    double m_rate = 0;
    std::uint64_t m_sequence = 0;
    static constexpr std::size_t kMetaRing = 64; // more than any decoder's picture delay
    std::array<PictureMeta, kMetaRing> m_meta{};
    std::vector<StoredPicture> m_pool;      // free picture buffers
    std::vector<std::uint8_t> m_chroma;     // chroma planes split out of an NV12 picture
    std::vector<StoredPicture> m_collected; // the group being decoded
    std::vector<StoredPicture> m_display;   // the group being shown, newest last
};

} // namespace tavero::engine
