// Raw backups: the file lists the same recordings and carries the same unit bytes; damaged
// units keep their slot; a write failure leaves a consistent file and is reported.

#include "card_fixture.h"
#include "engine/player.h"
#include "mkcard/card_writer.h"
#include "platform/drive_table.h"
#include "store/byte_io.h"
#include "store/recording_entry.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>

namespace tavero {
namespace {

using store::IndexRecord;

constexpr int kDrive = 4;

struct Deleter {
    void operator()(engine::COzuCtrl* c) const { engine::PlayerDestroy(c); }
};
using Control = std::unique_ptr<engine::COzuCtrl, Deleter>;

sim::CardSpec ThreeRecordCard(const std::filesystem::path& out) {
    sim::CardSpec plan;
    plan.outPath = out.string();
    plan.blockCount = 8;
    sim::ChannelSpec c0;
    c0.channel = 0;
    c0.width = 160;
    c0.height = 96;
    c0.fps = 10;
    c0.audio.kind = sim::AudioKind::Tone;
    plan.channels = {c0};
    plan.recordings = {
        {{2024, 5, 1, 8, 0, 0}, 8}, {{2024, 5, 1, 8, 10, 0}, 8}, {{2024, 5, 1, 8, 20, 0}, 8}};
    plan.events = {{1205, sim::EventType::PushButton, true}};
    return plan;
}

// The valid units of a source in play order, with their bytes.
std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> Units(store::RecordIndex& index) {
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> units;
    std::vector<std::uint8_t> unit(store::kUnitSize);
    for (IndexRecord* r = index.FirstRecord(); r != nullptr; r = index.NextRecord(r)) {
        for (std::uint32_t v = 0; r->startUnit + v <= r->endUnit; ++v) {
            if (!index.reader().Seek(r->dataAddress + std::int64_t{v} * store::kUnitSize,
                                     store::SeekOrigin::Begin) ||
                !index.reader().Read(unit.data(), store::kUnitSize)) {
                break;
            }
            const auto trailer = std::span(unit).subspan(store::kFrameAreaSize);
            if (store::ValidateTrailer(trailer, r->diskId) &&
                store::TrailerToHost(trailer).unitNo == r->startUnit + v) {
                units.emplace_back(r->startUnit + v, unit);
            }
        }
    }
    return units;
}

std::vector<store::RecordingEntry> Entries(store::RecordIndex& index) {
    std::vector<store::RecordingEntry> out;
    for (IndexRecord* r = index.FirstRecord(); r != nullptr; r = out.back().next) {
        out.push_back(store::BuildRecordingEntry(index, r, 0, 0, static_cast<int>(out.size()) + 1));
    }
    return out;
}

class Backup : public ::testing::Test {
protected:
    void write(const sim::CardSpec& plan) {
        std::string error;
        ASSERT_TRUE(sim::writeCard(plan, m_manifest, error)) << error;
        platform::SetDrivePath(kDrive, plan.outPath);
        m_control.reset(engine::PlayerCreate(&m_sink));
        engine::PlayerOpen(m_control.get(), "car2://4");
        ASSERT_NE(engine::PlayerLoadIndex(m_control.get()), nullptr);
    }
    void TearDown() override { platform::ClearDrivePaths(); }
    // Backs up the records of the card's real blocks (not the follow-on probe).
    engine::BackupOutcome backup(const std::filesystem::path& out) {
        std::vector<IndexRecord*> records = m_control->box().index().fullList();
        if (m_control->box().index().stats().followOn) {
            records.pop_back();
        }
        EXPECT_TRUE(engine::PlayerExportList(m_control.get(), out.string(), records.data(),
                                             static_cast<int>(records.size())))
            << m_control->lastError();
        EXPECT_TRUE(m_sink.WaitFor(engine::kMsgEndOfStream, 30000));
        const engine::BackupOutcome outcome = m_control->box().backupOutcome();
        engine::PlayerClose(m_control.get());
        return outcome;
    }

    testing::TempDir m_dir;
    sim::Manifest m_manifest;
    engine::RecordingSink m_sink;
    Control m_control;
};

TEST_F(Backup, CopyListsTheSameRecordingsWithTheSameUnitBytes) {
    write(ThreeRecordCard(m_dir / "card.img"));
    const engine::BackupOutcome outcome = backup(m_dir / "copy.sd");
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.recordsWritten, 3u);

    store::RecordIndex card;
    card.SetCardSource(kDrive);
    store::RecordIndex copy;
    copy.SetBackupFileSource((m_dir / "copy.sd").string());
    ASSERT_NE(card.OpenIndex(), nullptr);
    ASSERT_NE(copy.OpenIndex(), nullptr) << copy.lastError().describe();
    const auto a = Entries(card);
    const auto b = Entries(copy);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].start, b[i].start);
        EXPECT_EQ(a[i].end, b[i].end);
        EXPECT_EQ(a[i].eventCode, b[i].eventCode);
        EXPECT_EQ(a[i].firstUnit, b[i].firstUnit);
    }
    EXPECT_EQ(Units(card), Units(copy));
    // The card's disk information travels in slot 65534, little-endian as held in memory.
    std::uint8_t info[512];
    ASSERT_TRUE(copy.reader().Seek(0x1FFFC00, store::SeekOrigin::Begin));
    ASSERT_TRUE(copy.reader().Read(info, 512));
    EXPECT_EQ(store::LoadLe32(info), store::kDiskInfoMagic);
    EXPECT_EQ(store::LoadLe32(info + 504), m_manifest.diskId);
}

TEST_F(Backup, RecordChosenTwiceIsCopiedOnce) {
    // A list that names a record twice (two overlapping selections) must end, with each record
    // in the file once, instead of copying them round and round until the disk is full.
    write(ThreeRecordCard(m_dir / "card.img"));
    const auto& full = m_control->box().index().fullList();
    std::vector<IndexRecord*> records = {full[0], full[1], full[0], full[2], full[1]};
    ASSERT_TRUE(engine::PlayerExportList(m_control.get(), (m_dir / "twice.sd").string(),
                                         records.data(), static_cast<int>(records.size())));
    ASSERT_TRUE(m_sink.WaitFor(engine::kMsgEndOfStream, 30000)) << "the backup ends";
    const engine::BackupOutcome outcome = m_control->box().backupOutcome();
    engine::PlayerClose(m_control.get());
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.recordsWritten, 3u);
    EXPECT_LE(std::filesystem::file_size(m_dir / "twice.sd"),
              std::uintmax_t{0x2000000} + 3 * 0x1000000);
    store::RecordIndex copy;
    copy.SetBackupFileSource((m_dir / "twice.sd").string());
    ASSERT_NE(copy.OpenIndex(), nullptr);
    EXPECT_EQ(Entries(copy).size(), Entries(m_control->box().index()).size());
}

TEST_F(Backup, DamagedUnitFromTheRecorderKeepsItsSlot) {
    sim::CardSpec plan = ThreeRecordCard(m_dir / "card.img");
    // The second record's third unit has a broken checksum.
    plan.hard.badChecksumUnits = {0};
    std::string error;
    sim::Manifest probe;
    ASSERT_TRUE(sim::writeCard(plan, probe, error)) << error;
    std::uint32_t victim = 0;
    for (const auto& u : probe.units) {
        if (u.recording == 1) {
            victim = u.unitNo + 2;
            break;
        }
    }
    plan.hard.badChecksumUnits = {victim};
    write(plan);
    const engine::BackupOutcome outcome = backup(m_dir / "copy.sd");
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.recordsWritten, 3u);
    store::RecordIndex copy;
    copy.SetBackupFileSource((m_dir / "copy.sd").string());
    ASSERT_NE(copy.OpenIndex(), nullptr);
    const IndexRecord* r = copy.fullList()[1];
    EXPECT_EQ(r->slot, 1u);
    std::vector<std::uint8_t> unit(store::kUnitSize, 0xAA);
    ASSERT_TRUE(
        copy.reader().Seek(r->dataAddress + std::int64_t{victim - r->startUnit} * store::kUnitSize,
                           store::SeekOrigin::Begin));
    ASSERT_TRUE(copy.reader().Read(unit.data(), store::kUnitSize));
    EXPECT_TRUE(std::all_of(unit.begin(), unit.end(), [](std::uint8_t b) { return b == 0; }))
        << "the damaged unit's slot is left as it was";
    EXPECT_EQ(Units(copy).size(), m_manifest.units.size() - 1);
}

TEST_F(Backup, FullDiskLeavesAConsistentFileAndSaysSo) {
    write(ThreeRecordCard(m_dir / "card.img"));
    // The file system refuses to grow the file past 32 MiB + a bit more than one block.
    const std::uint64_t limit = 0x2000000 + 0x1000000 + 0x100000;
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const engine::BackupOutcome outcome = backup(m_dir / "copy.sd");
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(outcome.finished);
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.error.empty());
    EXPECT_EQ(outcome.recordsWanted, 3u);
    EXPECT_LT(outcome.recordsWritten, 3u);
    // What is in the file is readable and lists only what was copied completely.
    store::RecordIndex copy;
    copy.SetBackupFileSource((m_dir / "copy.sd").string());
    if (outcome.recordsWritten == 0) {
        EXPECT_EQ(copy.OpenIndex(), nullptr);
        return;
    }
    ASSERT_NE(copy.OpenIndex(), nullptr);
    EXPECT_EQ(copy.stats().validA, outcome.recordsWritten);
}

TEST_F(Backup, RefusesAnOutputItCannotCreate) {
    write(ThreeRecordCard(m_dir / "card.img"));
    std::vector<IndexRecord*> records = {m_control->box().index().fullList()[0]};
    const std::string blocked = (m_dir / "file-not-folder").string();
    { std::ofstream(blocked) << "x"; }
    EXPECT_FALSE(
        engine::PlayerExportList(m_control.get(), blocked + "/copy.sd", records.data(), 1));
    EXPECT_FALSE(m_control->lastError().empty());
    EXPECT_FALSE(m_control->playing);
}

} // namespace
} // namespace tavero
