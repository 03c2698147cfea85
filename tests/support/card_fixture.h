#pragma once
// Builds small recorder card images and backup files for tests, byte by byte from the format's
// offsets, without using the store's own writers.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavero::testing {

using Bytes512 = std::array<std::uint8_t, 512>;

struct Packed {
    int year = 2024, month = 5, day = 1, hour = 8, minute = 0, second = 0;
};

void PutBe16(std::uint8_t* p, std::uint32_t v);
void PutBe32(std::uint8_t* p, std::uint32_t v);
void PutLe32(std::uint8_t* p, std::uint32_t v);
void PutPacked(std::uint8_t* p, const Packed& t);
Packed AddSeconds(Packed t, int seconds); // within one day is enough for tests
// XOR of the first 127 little-endian words, stored little-endian at 508.
void Seal(Bytes512& block);

struct TestEvent {
    std::uint32_t unit = 0;
    Packed time;
    std::uint16_t type = 0;
};

struct TestRecord {
    std::uint32_t seq = 1;
    std::uint32_t startUnit = 1;
    std::uint32_t endUnit = 0;
    Packed startTime;
    Packed endTime;
    std::uint8_t recStart = 0;
    std::uint8_t protect = 0;
    std::vector<TestEvent> events;
    std::uint8_t zoneHours = 0;
    std::uint32_t diskId = 10000;
};

Bytes512 IndexRecordBytes(const TestRecord& r);
Bytes512 NeverWrittenSlot(std::uint32_t diskId); // magic, seq 0, disk id, checksum
Bytes512 DiskInfoBytes(std::uint16_t blockCount, std::uint32_t diskId);

struct TestTrailer {
    std::uint32_t unitNo = 1;
    Packed time;
    std::uint8_t channel = 0;
    std::uint8_t recStart = 0;
    std::uint8_t protect = 0;
    std::uint16_t eventType = 0;
    std::uint32_t diskId = 10000;
    std::string gps;
};
Bytes512 TrailerBytes(const TestTrailer& t);

// A sparse card image whose size gives blockCount back through the drive-size rule.
class TestCard {
public:
    TestCard(const std::filesystem::path& path, std::uint16_t blockCount, std::uint32_t diskId = 10000);

    void writeAt(std::int64_t offset, const void* data, std::size_t size);
    // Every slot of both copies gets a never-written record.
    void initialiseIndex();
    void writeRecord(std::uint32_t slot, const TestRecord& r, bool copyA = true, bool copyB = true);
    void writeUnitTrailer(std::uint32_t slot, std::uint32_t unitIndex, const TestTrailer& t);
    void corruptDiskInfoB();

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] std::uint16_t blockCount() const { return m_blockCount; }
    [[nodiscard]] std::uint32_t diskId() const { return m_diskId; }

private:
    std::filesystem::path m_path;
    std::uint16_t m_blockCount;
    std::uint32_t m_diskId;
};

// A folder removed at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

} // namespace tavero::testing
