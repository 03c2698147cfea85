// Opening a recording index against the plain read of the same bytes.
//
// Reference: one pread of the 32 MiB index area of a raw backup file (what any reader must
// pay). Measured: RecordIndex::OpenIndex on that file (read, validate, convert, sort, probe the
// follow-on block) and the trailer walk of the block being written on a card. Prints the median
// of several runs and the ratio; nothing is asserted.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <vector>

#include "card_fixture.h"
#include "median_time.h"
#include "platform/drive_table.h"
#include "store/record_index.h"

namespace {

using tavero::testing::AddSeconds;
using tavero::testing::Packed;

using tavero::bench::MedianMs;

tavero::testing::TestRecord Record(std::uint32_t n) {
    tavero::testing::TestRecord r;
    r.seq = n + 1;
    r.startUnit = 1 + n * 1024;
    r.endUnit = r.startUnit + 1023;
    const Packed base{2024, 5, 1, 0, 0, 0};
    r.startTime = AddSeconds(base, static_cast<int>(n % 1400) * 60);
    r.startTime.day += static_cast<int>(n / 1400);
    r.endTime = AddSeconds(r.startTime, 59);
    r.recStart = n % 10 == 0 ? 1 : 0;
    return r;
}

} // namespace

int main() {
    tavero::testing::TempDir dir;
    const auto sd = dir / "bench.sd";
    constexpr std::uint32_t kRecords = 8192;
    {
        std::ofstream out(sd, std::ios::binary);
        for (std::uint32_t n = 0; n < kRecords; ++n) {
            const auto bytes = tavero::testing::IndexRecordBytes(Record(n));
            out.write(reinterpret_cast<const char*>(bytes.data()), 512);
        }
    }
    std::filesystem::resize_file(sd, 0x2000000);

    std::vector<char> buffer(0x2000000);
    const double readMs = MedianMs(9, [&] {
        const int fd = ::open(sd.c_str(), O_RDONLY);
        if (fd < 0 || ::pread(fd, buffer.data(), buffer.size(), 0) != static_cast<ssize_t>(buffer.size())) {
            std::perror("read");
        }
        ::close(fd);
    });
    const double openMs = MedianMs(9, [&] {
        tavero::store::RecordIndex index;
        index.SetBackupFileSource(sd.string());
        if (index.OpenIndex() == nullptr) {
            std::fprintf(stderr, "open failed: %s\n", index.lastError().describe().c_str());
        }
    });
    std::printf("backup file index, %u of 65536 slots used\n", kRecords);
    std::printf("  plain read of the index area: %8.2f ms\n", readMs);
    std::printf("  OpenIndex:                    %8.2f ms  (ratio %.2f)\n", openMs, openMs / readMs);

    // A card whose block being written holds 1024 units: recovery reads one trailer per unit.
    tavero::testing::TestCard card(dir / "card.img", 64);
    card.initialiseIndex();
    card.writeRecord(0, Record(0));
    for (std::uint32_t i = 0; i < 1024; ++i) {
        tavero::testing::TestTrailer t;
        t.unitNo = 1025 + i;
        t.time = AddSeconds(Packed{2024, 5, 1, 1, 0, 0}, static_cast<int>(i));
        card.writeUnitTrailer(1, i, t);
    }
    tavero::platform::SetDrivePath(0, card.path().string());
    const double cardMs = MedianMs(9, [&] {
        tavero::store::RecordIndex index;
        index.SetCardSource(0);
        if (index.OpenIndex() == nullptr) {
            std::fprintf(stderr, "open failed: %s\n", index.lastError().describe().c_str());
        }
    });
    const double unitReadMs = MedianMs(9, [&] {
        const int fd = ::open(card.path().c_str(), O_RDONLY);
        std::vector<char> unit(16384);
        for (std::int64_t i = 0; i < 1024; ++i) {
            if (::pread(fd, unit.data(), unit.size(), 0x17000000 + i * 16384) != 16384) {
                std::perror("read");
                break;
            }
        }
        ::close(fd);
    });
    std::printf("card, one record plus a block of 1024 units being written\n");
    std::printf("  plain read of the 1024 units: %8.2f ms\n", unitReadMs);
    std::printf("  OpenIndex with recovery:      %8.2f ms  (ratio %.2f)\n", cardMs, cardMs / unitReadMs);
    return 0;
}
