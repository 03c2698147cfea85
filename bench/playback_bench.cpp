// Pictures per second and CPU time per picture of the whole engine, against libavcodec
// decoding the same stream alone in the same process (the limit of this design: every picture
// is decoded once).
//
// Stream: a real 1280x720 camera-like stream from the corpus when present, else the
// simulator's pattern at 1280x720, looped by the simulator into a 20 s recording per channel.
// Measured: N channels of it played unpaced from a card image through the engine (read,
// parse, queue, decode, convert to the presenter's 32-bit picture), pictures only counted.
// Reference: the same Annex-B bytes decoded with one libavcodec context on one thread.
// Prints the ratios for 1, 4 and 8 channels and whether 8 channels at 30 pictures/s keep up
// with real time on this machine; nothing is asserted.

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "card_fixture.h"
#include "engine/player.h"
#include "engine/video_window.h"
#include "mkcard/card_writer.h"
#include "platform/drive_table.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using namespace tavero;
using Clock = std::chrono::steady_clock;

constexpr int kFps = 30;
constexpr std::uint32_t kSeconds = 20;

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Result {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    std::uint64_t pictures = 0;
};

// libavcodec alone: parse the Annex-B bytes into pictures and decode them.
Result DecodeAlone(const std::vector<std::uint8_t>& bytes, int loops) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    avcodec_open2(context, codec, nullptr);
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_H264);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<std::uint8_t> padded(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE);
    std::copy(bytes.begin(), bytes.end(), padded.begin());
    Result r;
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    auto drainFrames = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            ++r.pictures;
        }
    };
    for (int loop = 0; loop < loops; ++loop) {
        const std::uint8_t* data = padded.data();
        int left = static_cast<int>(bytes.size());
        while (left > 0) {
            const int used = av_parser_parse2(parser, context, &packet->data, &packet->size, data,
                                              left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            data += used;
            left -= used;
            if (packet->size > 0) {
                avcodec_send_packet(context, packet);
                drainFrames();
            }
        }
    }
    av_parser_parse2(parser, context, &packet->data, &packet->size, nullptr, 0, AV_NOPTS_VALUE,
                     AV_NOPTS_VALUE, 0);
    if (packet->size > 0) {
        avcodec_send_packet(context, packet);
    }
    avcodec_send_packet(context, nullptr);
    drainFrames();
    r.wallSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpuSeconds = CpuSeconds() - cpu0;
    av_frame_free(&frame);
    av_packet_free(&packet);
    av_parser_close(parser);
    avcodec_free_context(&context);
    return r;
}

// A window that takes the finished pictures (converted to 32 bits, text drawn), as a channel
// window does, or one that wants none of them (a headless run that only counts).
class CountingWindow : public engine::VideoWindow {
public:
    explicit CountingWindow(bool wantsPictures) : m_wantsPictures(wantsPictures) {}
    [[nodiscard]] bool wantsPictures(int) const override { return m_wantsPictures; }
    void Present(int, const QImage&, const engine::CropRect&) override {}

private:
    const bool m_wantsPictures;
};

struct Deleter {
    void operator()(engine::COzuCtrl* c) const { engine::PlayerDestroy(c); }
};

Result PlayThroughEngine(const std::string& image, int channels, bool wantsPictures) {
    platform::SetDrivePath(8, image);
    engine::RecordingSink sink;
    CountingWindow window(wantsPictures);
    std::unique_ptr<engine::COzuCtrl, Deleter> control(engine::PlayerCreate(&sink));
    control->unpaced = true;
    for (int c = 0; c < engine::kChannelCount; ++c) {
        engine::PlayerSetVideoWindow(control.get(), &window, c);
        engine::PlayerEnableAudio(control.get(), 0, c);
    }
    engine::PlayerOpen(control.get(), "car2://8");
    store::IndexRecord* first = engine::PlayerLoadIndex(control.get());
    Result r;
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    if (first == nullptr || !engine::PlayerPlay(control.get(), first, 0)) {
        std::fprintf(stderr, "cannot play the card\n");
        return r;
    }
    for (int c = 0; c < channels; ++c) {
        const std::int64_t channel = c;
        (void)sink.WaitFor(engine::kMsgEndOfStream, 600000, &channel);
    }
    r.wallSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpuSeconds = CpuSeconds() - cpu0;
    // Counted before the close, which starts the counters again.
    for (int c = 0; c < channels; ++c) {
        r.pictures += control->frameCount[static_cast<std::size_t>(c)].load();
    }
    engine::PlayerClose(control.get());
    return r;
}

} // namespace

int main() {
    const std::filesystem::path corpusStream =
        std::filesystem::path(TAVERO_CORPUS_DIR) / "h264" / "Zhling_1280x720.264";
    const bool real = std::filesystem::exists(corpusStream);
    testing::TempDir dir;
    std::string streamPath = corpusStream.string();
    std::printf("stream: %s, 1280x720, %u s per channel at %d pictures/s\n",
                real ? "Zhling_1280x720.264 (corpus)" : "simulator pattern", kSeconds, kFps);

    Result alone;
    std::vector<Result> played;
    for (const int channels : {1, 4, 8}) {
        sim::CardSpec plan;
        plan.outPath = (dir / ("card" + std::to_string(channels) + ".img")).string();
        plan.blockCount = 64;
        for (int c = 0; c < channels; ++c) {
            sim::ChannelSpec channel;
            channel.channel = static_cast<std::uint8_t>(c);
            channel.fps = kFps;
            if (real) {
                channel.source = sim::VideoSource::File;
                channel.filePath = streamPath;
            } else {
                channel.width = 1280;
                channel.height = 720;
                channel.gop = kFps;
                channel.bitrateKbps = 4000;
            }
            plan.channels.push_back(channel);
        }
        plan.recordings = {{{2024, 5, 1, 8, 0, 0}, kSeconds}};
        sim::Manifest manifest;
        std::string error;
        if (!sim::writeCard(plan, manifest, error)) {
            std::fprintf(stderr, "cannot write the card: %s\n", error.c_str());
            return 1;
        }
        if (channels == 1) {
            // The reference decodes channel 0's pictures as the simulator wrote them.
            std::vector<std::uint8_t> bytes;
            if (real) {
                std::ifstream in(streamPath, std::ios::binary);
                bytes.assign(std::istreambuf_iterator<char>(in), {});
            }
            const std::size_t perLoop = real ? 19 : 0;
            std::size_t pictures = 0;
            for (const auto& f : manifest.channels[0].frames) {
                pictures += f.media == sim::FrameMedia::Video;
            }
            if (!real) {
                std::printf("(no corpus: the reference needs the corpus stream; skipped)\n");
            } else {
                alone = DecodeAlone(bytes, static_cast<int>((pictures + perLoop - 1) / perLoop));
            }
        }
        Result r;
        for (const bool wantsPictures : {true, false}) {
            r = PlayThroughEngine(plan.outPath, channels, wantsPictures);
            const double pps = static_cast<double>(r.pictures) / r.wallSeconds;
            std::printf(
                "%d channel(s), %s: %6llu pictures in %6.2f s wall, %6.2f s CPU: %7.1f pictures/s, "
                "%6.3f ms CPU per picture",
                channels, wantsPictures ? "converted " : "decoded only",
                static_cast<unsigned long long>(r.pictures), r.wallSeconds, r.cpuSeconds, pps,
                r.cpuSeconds * 1000.0 / static_cast<double>(r.pictures));
            if (alone.pictures > 0) {
                const double aloneCpu = alone.cpuSeconds / static_cast<double>(alone.pictures);
                const double ourCpu = r.cpuSeconds / static_cast<double>(r.pictures);
                std::printf("; CPU ratio to libavcodec alone %.2f", ourCpu / aloneCpu);
            }
            std::printf("\n");
            if (wantsPictures) {
                played.push_back(r);
            }
        }
        r = played.back();
        const double pps = static_cast<double>(r.pictures) / r.wallSeconds;
        if (channels == 8) {
            const double needed = 8.0 * kFps;
            std::printf(
                "8 channels at %d pictures/s need %.0f pictures/s: %s (%.0f%% of real time)\n",
                kFps, needed, pps >= needed ? "keeps up" : "does NOT keep up",
                pps / needed * 100.0);
        }
    }
    if (alone.pictures > 0) {
        std::printf("libavcodec alone: %llu pictures in %.2f s wall, %.2f s CPU: %.1f pictures/s, "
                    "%.3f ms CPU "
                    "per picture\n",
                    static_cast<unsigned long long>(alone.pictures), alone.wallSeconds,
                    alone.cpuSeconds, static_cast<double>(alone.pictures) / alone.wallSeconds,
                    alone.cpuSeconds * 1000.0 / static_cast<double>(alone.pictures));
    }
    return 0;
}
