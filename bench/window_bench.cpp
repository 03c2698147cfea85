// The player's window playing 8 channels at speed 1, against libavcodec decoding the same stream
// alone in the same process. Run under a display (bench/window_bench.sh starts Xvfb): it opens
// the main window on a raw backup file, presses Play, lets it play for the given seconds and
// reports, per channel, the pictures the engine presented to the channel window, the pictures
// the window scaled and painted, against the pictures recorded in that time; then the process's
// CPU time per painted picture against libavcodec's CPU time per decoded picture.
//
//   tavero_bench_window --sd FILE.sd --stream FILE.264 --seconds N --fps F

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "app/app_settings.h"
#include "engine/notifications.h"
#include "engine/player.h"
#include "engine/video_window.h"
#include "platform/program_paths.h"
#include "ui/controls/panel_dlg.h"
#include "ui/main/main_dlg.h"
#include "ui/main/player_controller.h"

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using namespace tavero;

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU seconds libavcodec needs for `pictures` pictures of the Annex-B stream (looped), one
// thread, as the engine's decoders run.
double DecodeAloneCpu(const std::vector<std::uint8_t>& bytes, std::uint64_t pictures,
                      std::uint64_t& decoded) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    if (avcodec_open2(context, codec, nullptr) < 0) {
        return 0;
    }
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_H264);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<std::uint8_t> padded(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE);
    std::copy(bytes.begin(), bytes.end(), padded.begin());
    decoded = 0;
    const double cpu0 = CpuSeconds();
    while (decoded < pictures) {
        const std::uint8_t* data = padded.data();
        int left = static_cast<int>(bytes.size());
        while (left > 0 && decoded < pictures) {
            const int used = av_parser_parse2(parser, context, &packet->data, &packet->size, data,
                                              left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            data += used;
            left -= used;
            if (packet->size > 0 && avcodec_send_packet(context, packet) == 0) {
                while (avcodec_receive_frame(context, frame) == 0) {
                    ++decoded;
                }
            }
        }
    }
    const double cpu = CpuSeconds() - cpu0;
    av_frame_free(&frame);
    av_packet_free(&packet);
    av_parser_close(parser);
    avcodec_free_context(&context);
    return cpu;
}

// Counts what the engine presents; nothing is scaled or painted.
class CountingWindow final : public engine::VideoWindow {
public:
    void Present(int, const QImage&, const engine::CropRect&) override { m_presented.fetch_add(1); }
    [[nodiscard]] std::uint64_t presented() const { return m_presented.load(); }

private:
    std::atomic<std::uint64_t> m_presented{0};
};

// The same file played at speed 1 by the engine alone for `seconds`, pictures only counted:
// reading, decoding, converting and pacing without the window. CPU seconds; `presented` gets
// the pictures handed over.
double EngineAloneCpu(const std::string& sd, int seconds, std::uint64_t& presented) {
    engine::RecordingSink sink;
    CountingWindow window;
    engine::COzuCtrl* control = engine::PlayerCreate(&sink);
    for (int ch = 0; ch < engine::kChannelCount; ++ch) {
        engine::PlayerSetVideoWindow(control, &window, ch);
        engine::PlayerEnableAudio(control, ch == 0 ? 1 : 0, ch);
    }
    engine::PlayerOpen(control, sd);
    store::IndexRecord* first = engine::PlayerLoadIndex(control);
    const double cpu0 = CpuSeconds();
    double cpu = 0;
    if (first != nullptr && engine::PlayerPlay(control, first, 0)) {
        for (int s = 0; s < seconds; ++s) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            engine::PlayerTick(control, 1);
        }
        cpu = CpuSeconds() - cpu0;
    }
    presented = window.presented();
    engine::PlayerClose(control);
    engine::PlayerDestroy(control);
    return cpu;
}

} // namespace

int main(int argc, char** argv) {
    std::string sd;
    std::string stream;
    int seconds = 60;
    int fps = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--sd") {
            sd = argv[i + 1];
        } else if (key == "--stream") {
            stream = argv[i + 1];
        } else if (key == "--seconds") {
            seconds = std::atoi(argv[i + 1]);
        } else if (key == "--fps") {
            fps = std::atoi(argv[i + 1]);
        }
    }
    if (sd.empty() || stream.empty() || seconds <= 0 || fps <= 0) {
        std::fprintf(stderr, "usage: tavero_bench_window --sd FILE.sd --stream FILE.264 "
                             "[--seconds N] [--fps F]\n");
        return 2;
    }
    std::ifstream in(stream, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    const std::uint64_t recorded =
        static_cast<std::uint64_t>(seconds) * static_cast<std::uint64_t>(fps);
    std::uint64_t decodedBefore = 0;
    const double aloneBefore = DecodeAloneCpu(bytes, recorded, decodedBefore);

    QApplication application(argc, argv);
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tavero-bench-window-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    app::AppSettings settings(platform::programPathsInFolder(folder.string() + "/"), "en_US");

    auto owned = std::make_unique<ui::EngineController>();
    ui::MainDlgOptions options;
    options.watchDevices = false;
    options.arguments = {"-f", sd};
    ui::CMainDlg window(settings, std::move(owned), options);
    if (!window.startedOk()) {
        std::fprintf(stderr, "the player could not be started\n");
        return 1;
    }
    window.show();

    double cpuAtPlay = 0;
    std::chrono::steady_clock::time_point wallAtPlay;
    QTimer::singleShot(1500, &window, [&] {
        cpuAtPlay = CpuSeconds();
        wallAtPlay = std::chrono::steady_clock::now();
        window.onCommand(1025); // Play
    });
    double cpuPlayed = 0;
    double wallPlayed = 0;
    QTimer::singleShot(1500 + seconds * 1000, &window, [&] {
        cpuPlayed = CpuSeconds() - cpuAtPlay;
        wallPlayed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallAtPlay).count();
        window.done(0);
    });
    window.exec();

    std::uint64_t painted = 0;
    std::printf("played %.1f s at speed 1 in the %dx%d window; recorded %llu pictures per channel "
                "in that time\n",
                wallPlayed, window.width(), window.height(),
                static_cast<unsigned long long>(recorded));
    std::printf("channel  presented  scaled  painted  painted/recorded\n");
    for (int ch = 0; ch < 8; ++ch) {
        ui::CPanelDlg* panel = window.panel(ch);
        const auto& pictures = panel->pictures();
        painted += panel->paintedPictures();
        std::printf("%7d  %9llu  %6llu  %7llu  %15.1f%%\n", ch + 1,
                    static_cast<unsigned long long>(pictures.received()),
                    static_cast<unsigned long long>(pictures.scaled()),
                    static_cast<unsigned long long>(panel->paintedPictures()),
                    100.0 * static_cast<double>(panel->paintedPictures()) /
                        static_cast<double>(recorded));
    }
    std::uint64_t decoded = 0;
    // The machine is shared: the reference ran before playing and runs again now; the mean of
    // the two is the one compared.
    const double aloneAfter = DecodeAloneCpu(bytes, recorded, decoded);
    const double aloneCpu = (aloneBefore + aloneAfter) / 2;
    std::printf("libavcodec alone, %llu pictures: %.2f s CPU before playing, %.2f s after\n",
                static_cast<unsigned long long>(decoded), aloneBefore, aloneAfter);
    std::uint64_t enginePresented = 0;
    const double engineCpu = EngineAloneCpu(sd, seconds, enginePresented);
    const double perPainted = painted > 0 ? cpuPlayed / static_cast<double>(painted) : 0;
    const double perEngine =
        enginePresented > 0 ? engineCpu / static_cast<double>(enginePresented) : 0;
    const double perDecoded = decoded > 0 ? aloneCpu / static_cast<double>(decoded) : 0;
    std::printf("process CPU while playing: %.1f s in %.1f s (%.0f%% of one core)\n", cpuPlayed,
                wallPlayed, 100.0 * cpuPlayed / wallPlayed);
    std::printf("CPU per painted picture: %.3f ms; libavcodec alone: %.3f ms per decoded picture "
                "(%llu pictures); ratio %.2f\n",
                perPainted * 1000, perDecoded * 1000, static_cast<unsigned long long>(decoded),
                perDecoded > 0 ? perPainted / perDecoded : 0.0);
    std::printf("the engine alone, same file, same %d s at speed 1: %llu pictures presented, "
                "%.1f s CPU: %.3f ms per picture; the window adds %.3f ms per picture (scaling "
                "into the channel windows, painting, the window's own work)\n",
                seconds, static_cast<unsigned long long>(enginePresented), engineCpu,
                perEngine * 1000, (perPainted - perEngine) * 1000);
    std::filesystem::remove_all(folder);
    return 0;
}
