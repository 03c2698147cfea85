// Fuzz target: a small card played through the player facade with every worker running:
// forwards to its end, then backwards from its end, unpaced. The input is the card's disk
// information (both copies), its first eight index slots (both areas) and the first units of its
// first data block, laid out on a sparse image in memory-backed /dev/shm, so the reader, the
// queues, the decoder hand-over and the sound path meet damaged data together. A play that
// never ends is a finding.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <fcntl.h>
#include <unistd.h>

#include "engine/notifications.h"
#include "engine/ozu_ctrl.h"
#include "engine/player.h"
#include "platform/drive_table.h"
#include "store/card_layout.h"
#include "store/index_record.h"

using namespace tavero;

namespace {

constexpr int kDrive = 6;
constexpr std::int64_t kMaxBlocks = 8;
constexpr std::size_t kSlots = 8;
constexpr std::size_t kUnits = 8;

const std::string& Path() {
    static const std::string path =
        (std::filesystem::exists("/dev/shm") ? std::string("/dev/shm") : std::string("/tmp")) +
        "/tavero-fuzz-whole-" + std::to_string(getpid()) + ".img";
    static const bool cleanup = std::atexit([] { std::remove(Path().c_str()); }) == 0;
    (void)cleanup;
    return path;
}

class EndSink final : public engine::NotificationSink {
public:
    void Post(std::uint32_t message, engine::COzuCtrl*, std::int64_t lParam) override {
        // At the end of the data every channel's worker says so when it gets there.
        if (message == engine::kMsgEndOfStream && lParam >= 0) {
            std::lock_guard lock(m_lock);
            ++m_ends;
            m_changed.notify_all();
        }
    }
    // True when a channel said its end more than `seen` times in all within the time.
    bool WaitForEndAfter(int seen, std::chrono::seconds limit) {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, limit, [&] { return m_ends > seen; });
    }
    int ends() {
        std::lock_guard lock(m_lock);
        return m_ends;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_ends = 0;
};

void Place(int fd, const std::uint8_t*& data, std::size_t& left, std::int64_t offset,
           std::size_t size) {
    const std::size_t n = std::min(size, left);
    if (n > 0 && ::pwrite(fd, data, n, offset) != static_cast<ssize_t>(n)) {
        std::abort();
    }
    data += n;
    left -= n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    store::DiskInfo info;
    if (size >= store::kSectorSize) {
        info = store::ParseDiskInfo(std::span(data, store::kSectorSize));
    }
    const std::int64_t blocks = std::clamp<std::int64_t>(info.blockCount, 1, kMaxBlocks);
    const int fd = ::open(Path().c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    if (fd < 0 || ::ftruncate(fd, store::kCardDataBase + (blocks + 8) * store::kDataBlockSize) != 0) {
        std::abort();
    }
    std::size_t left = size;
    Place(fd, data, left, store::kDiskInfoOffsetA, store::kSectorSize);
    Place(fd, data, left, store::kDiskInfoOffsetB, store::kSectorSize);
    Place(fd, data, left, store::kCardIndexBaseA, kSlots * store::kSectorSize);
    Place(fd, data, left, store::kCardIndexBaseB, kSlots * store::kSectorSize);
    Place(fd, data, left, store::kCardDataBase, kUnits * store::kUnitSize);
    ::close(fd);

    platform::SetDrivePath(kDrive, Path());
    EndSink sink;
    engine::COzuCtrl* control = engine::PlayerCreate(&sink);
    control->unpaced = true;
    engine::PlayerOpen(control, "car2://" + std::to_string(kDrive));
    if (store::IndexRecord* first = engine::PlayerLoadIndex(control);
        first != nullptr && engine::PlayerPlay(control, first, 0)) {
        if (!sink.WaitForEndAfter(0, std::chrono::seconds(20))) {
            __builtin_trap(); // forwards play never ended
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the other channels' ends
        const int forwardEnds = sink.ends();
        engine::PlayerSetSpeed(control, -1.0);
        engine::PlayerSeek(control, static_cast<std::int32_t>(first->endSeconds()));
        engine::PlayerPause(control, 0);
        if (!sink.WaitForEndAfter(forwardEnds, std::chrono::seconds(20))) {
            __builtin_trap(); // backwards play never reached the start
        }
    }
    engine::PlayerClose(control);
    engine::PlayerDestroy(control);
    return 0;
}
