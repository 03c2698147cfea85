// Fuzz target: opening a card as the reader does: both disk information blocks, both index
// areas, the merge and the recovery of the block being written, then the walk of its
// recordings. The input is laid out on a small sparse card image (in memory-backed /dev/shm):
// 512 bytes for each disk information block, 8 slots for each index area, then the first units
// of the first two data blocks. The slots after the eighth, up to the block count the first
// disk information names (at most 64), are never-written records of its disk.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#include "platform/drive_table.h"
#include "store/card_layout.h"
#include "store/index_record.h"
#include "store/record_index.h"
#include "store/recording_entry.h"

using namespace tavero::store;

namespace {

constexpr int kDrive = 7;
constexpr std::int64_t kMaxBlocks = 64;
constexpr std::size_t kSlots = 8;

const std::string& Path() {
    static const std::string path =
        (std::filesystem::exists("/dev/shm") ? std::string("/dev/shm") : std::string("/tmp")) +
        "/tavero-fuzz-card-" + std::to_string(getpid()) + ".img";
    static const bool cleanup = std::atexit([] { std::remove(Path().c_str()); }) == 0;
    (void)cleanup;
    return path;
}

// Copies the next `size` input bytes (fewer at its end) to `offset`.
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
    DiskInfo info;
    if (size >= kSectorSize) {
        info = ParseDiskInfo(std::span(data, kSectorSize));
    }
    const std::int64_t blocks = std::clamp<std::int64_t>(info.blockCount, 1, kMaxBlocks);
    const int fd = ::open(Path().c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    if (fd < 0 || ::ftruncate(fd, kCardDataBase + (blocks + 8) * kDataBlockSize) != 0) {
        std::abort();
    }
    IndexRecord never;
    never.magic = kIndexMagic;
    never.diskId = info.diskId;
    const auto neverBytes = SerializeIndexRecord(never);
    for (std::int64_t slot = kSlots; slot < blocks; ++slot) {
        for (const std::int64_t base : {kCardIndexBaseA, kCardIndexBaseB}) {
            if (::pwrite(fd, neverBytes.data(), kSectorSize, base + slot * kSectorSize) !=
                static_cast<ssize_t>(kSectorSize)) {
                std::abort();
            }
        }
    }
    std::size_t left = size;
    Place(fd, data, left, kDiskInfoOffsetA, kSectorSize);
    Place(fd, data, left, kDiskInfoOffsetB, kSectorSize);
    Place(fd, data, left, kCardIndexBaseA, kSlots * kSectorSize);
    Place(fd, data, left, kCardIndexBaseB, kSlots * kSectorSize);
    Place(fd, data, left, kCardDataBase, 2 * kUnitSize);
    Place(fd, data, left, kCardDataBase + kDataBlockSize, left);
    ::close(fd);

    tavero::platform::SetDrivePath(kDrive, Path());
    RecordIndex index;
    index.SetCardSource(kDrive);
    IndexRecord* record = index.OpenIndex();
    if (std::getenv("TAVERO_FUZZ_VERBOSE") != nullptr) {
        std::fprintf(stderr, "%zu records%s%s\n", index.fullList().size(),
                     record == nullptr ? ": " : "",
                     record == nullptr ? index.lastError().describe().c_str() : "");
    }
    for (int n = 0; record != nullptr && n < 1000; ++n) {
        const RecordingEntry e = BuildRecordingEntry(index, record, 0, 0, n + 1);
        if (e.firstRecord != record) {
            __builtin_trap();
        }
        (void)index.StepTowards(record, e.end);
        if (e.next == record) {
            break;
        }
        record = e.next;
    }
    return 0;
}
