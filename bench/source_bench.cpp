// Units read and parsed per second by the source thread, against a plain read of the same units.
//
// The card is the demo card (four channels, three one-minute trips). Measured: playback at
// speed 1 from the first trip to the end of the data, with one thread per queue that only pops
// (the decoding workers' place), so the time is the source thread's: read, validate, parse,
// queue. Reference: reading the same units in 16 KiB pieces with pread, page cache warm for
// both. Prints medians and the ratio; nothing is asserted.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "card_fixture.h"
#include "median_time.h"
#include "engine/player.h"
#include "mkcard/card_writer.h"
#include "platform/drive_table.h"

namespace {

using namespace tavero;

using tavero::bench::MedianMs;

// Pops one queue until an end marker arrives.
void Drain(engine::CBuffer& queue, bool untilEnd, const std::atomic<bool>& stop) {
    engine::FrameRecord r;
    while (!stop.load()) {
        if (!queue.Pop(r)) {
            std::this_thread::yield();
            continue;
        }
        if (untilEnd && r.kind == engine::kKindEnd) {
            return;
        }
    }
}

struct Deleter {
    void operator()(engine::COzuCtrl* c) const { engine::PlayerDestroy(c); }
};

} // namespace

int main() {
    testing::TempDir dir;
    sim::CardSpec plan = sim::demoCardSpec((dir / "card.img").string());
    sim::Manifest manifest;
    std::string error;
    std::fprintf(stderr, "writing the demo card...\n");
    if (!sim::writeCard(plan, manifest, error)) {
        std::fprintf(stderr, "cannot write the card: %s\n", error.c_str());
        return 1;
    }
    const std::size_t units = manifest.units.size();

    const int fd = ::open(plan.outPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 1;
    }
    std::vector<std::uint8_t> unit(16384);
    const double readMs = MedianMs(5, [&] {
        for (const auto& u : manifest.units) {
            if (::pread(fd, unit.data(), unit.size(), static_cast<off_t>(u.fileOffset)) !=
                static_cast<ssize_t>(unit.size())) {
                std::fprintf(stderr, "short read\n");
            }
        }
    });
    ::close(fd);

    platform::SetDrivePath(7, plan.outPath);
    engine::RecordingSink sink;
    std::unique_ptr<engine::COzuCtrl, Deleter> control(engine::PlayerCreate(&sink));
    control->runWorkers = false; // the drains below stand in for the decoding workers
    engine::PlayerOpen(control.get(), "car2://7");
    if (engine::PlayerLoadIndex(control.get()) == nullptr) {
        std::fprintf(stderr, "cannot list the card\n");
        return 1;
    }
    const int channels = static_cast<int>(plan.channels.size());
    const double playMs = MedianMs(5, [&] {
        store::IndexRecord* first = control->box().index().fullList().front();
        if (!engine::PlayerPlay(control.get(), first, 0)) {
            std::fprintf(stderr, "cannot play: %s\n", control->lastError().c_str());
            return;
        }
        std::atomic<bool> stop{false};
        std::vector<std::thread> workers;
        for (int c = 0; c < channels; ++c) {
            engine::ChannelSlot* slot = control->slot(c);
            workers.emplace_back(Drain, std::ref(slot->video), true, std::cref(stop));
        }
        std::vector<std::thread> sound;
        for (int c = 0; c < channels; ++c) {
            sound.emplace_back(Drain, std::ref(control->slot(c)->audio), false, std::cref(stop));
        }
        for (auto& w : workers) {
            w.join();
        }
        stop = true;
        for (auto& s : sound) {
            s.join();
        }
        engine::PlayerClose(control.get()); // the reader waits for a seek at the end
    });

    const double mib = static_cast<double>(units) * 16384.0 / (1024.0 * 1024.0);
    std::printf("units: %zu (%.1f MiB, %d channels)\n", units, mib, channels);
    std::printf("plain pread of the units:   %8.1f ms  %10.0f units/s\n", readMs,
                static_cast<double>(units) / readMs * 1000.0);
    std::printf("source thread, play to end: %8.1f ms  %10.0f units/s\n", playMs,
                static_cast<double>(units) / playMs * 1000.0);
    std::printf("ratio (source / plain read): %.2f\n", playMs / readMs);
    return 0;
}
