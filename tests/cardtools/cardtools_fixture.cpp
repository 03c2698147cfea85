#include "cardtools_fixture.h"

#include "mkcard/card_writer.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

namespace tavero::testing {

Bytes512 ConfigSectorBytes(std::uint32_t diskId, const SectorUsers& users) {
    Bytes512 b{};
    PutLe32(b.data(), 0xABABABAB);
    PutLe32(b.data() + 4, 0xABCDAA55);
    PutBe32(b.data() + 12, 15); // frameRate
    for (int i = 0; i < 12; ++i) {
        PutBe32(b.data() + 24 + 4 * i, 10); // fixedTable
    }
    std::memcpy(b.data() + 84, "PLATE-1", 7);
    std::uint32_t inner = 0;
    for (int at = 4; at <= 100; at += 4) {
        inner ^= std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 |
                 std::uint32_t{b[at + 2]} << 16 | std::uint32_t{b[at + 3]} << 24;
    }
    PutLe32(b.data() + 104, inner);
    auto put = [&](std::size_t at, const std::string& text) {
        std::memcpy(b.data() + at, text.data(), std::min<std::size_t>(text.size(), 15));
    };
    put(108, users.user1);
    put(124, users.user2);
    put(140, users.password1);
    put(156, users.password2);
    PutBe32(b.data() + 176, 1); // speedUnit
    b[300] = 0x5A;              // reserved bytes travel with the sector
    b[400] = 0xA5;
    PutBe32(b.data() + 504, diskId);
    Seal(b);
    return b;
}

void MakeSimCard(const std::filesystem::path& path, std::uint32_t blocks, std::uint32_t diskId) {
    sim::CardSpec plan;
    plan.outPath = path.string();
    plan.blockCount = blocks;
    plan.diskId = diskId;
    sim::ChannelSpec channel;
    channel.width = 160;
    channel.height = 120;
    plan.channels.push_back(channel);
    plan.recordings.push_back({sim::WallTime{2024, 5, 1, 8, 0, 0}, 2});
    sim::Manifest manifest;
    std::string error;
    if (!sim::writeCard(plan, manifest, error)) {
        throw std::runtime_error("simulator: " + error);
    }
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path, std::int64_t offset,
                                    std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    const int fd = ::open(path.c_str(), O_RDONLY);
    const ssize_t n = fd < 0 ? -1 : ::pread(fd, bytes.data(), count, offset);
    if (fd >= 0) {
        ::close(fd);
    }
    if (n != static_cast<ssize_t>(count)) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return bytes;
}

void WriteBytes(const std::filesystem::path& path, std::int64_t offset,
                const std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    const ssize_t n = fd < 0 ? -1 : ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (fd >= 0) {
        ::close(fd);
    }
    if (n != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

namespace {

template <typename Visit>
void ForEachChunk(const std::filesystem::path& path, std::int64_t from, std::int64_t to,
                  Visit visit) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        throw std::runtime_error("cannot open " + path.string());
    }
    if (to < 0) {
        to = static_cast<std::int64_t>(std::filesystem::file_size(path));
    }
    std::vector<char> buffer(1 << 20);
    for (std::int64_t at = from; at < to;) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(to - at, 1 << 20));
        const ssize_t n = ::pread(fd, buffer.data(), want, at);
        if (n <= 0) {
            ::close(fd);
            throw std::runtime_error("short read of " + path.string());
        }
        visit(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        at += n;
    }
    ::close(fd);
}

} // namespace

std::uint64_t HashRange(const std::filesystem::path& path, std::int64_t from, std::int64_t to) {
    std::uint64_t hash = 1469598103934665603ull;
    ForEachChunk(path, from, to, [&](std::string_view chunk) {
        hash = (hash ^ std::hash<std::string_view>{}(chunk)) * 1099511628211ull;
    });
    return hash;
}

bool AllZero(const std::filesystem::path& path, std::int64_t from, std::int64_t to) {
    bool zero = true;
    static const std::vector<char> zeros(1 << 20, 0);
    ForEachChunk(path, from, to, [&](std::string_view chunk) {
        zero = zero && std::memcmp(chunk.data(), zeros.data(), chunk.size()) == 0;
    });
    return zero;
}

ToolRun RunTool(const std::string& command) {
    ToolRun run;
    const std::string full = "PATH=$PATH:/usr/sbin:/sbin " + command + " 2>&1 </dev/null";
    FILE* pipe = ::popen(full.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.out.append(buffer.data(), n);
    }
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

} // namespace tavero::testing
