// Cards and backup files written by the recorder simulator, read back by the store. The
// simulator is an independent writer of the format, so agreement here means both follow it.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "card_fixture.h"
#include "mkcard/card_writer.h"
#include "platform/drive_table.h"
#include "store/frame_header.h"
#include "store/metadata.h"
#include "store/record_index.h"
#include "store/recording_entry.h"
#include "store/unit_trailer.h"

namespace tavero {
namespace {

using store::IndexRecord;
using store::RecordIndex;

constexpr int kDrive = 6;

sim::CardSpec SmallCard(const std::filesystem::path& out, std::uint32_t blocks = 8) {
    sim::CardSpec plan;
    plan.outPath = out.string();
    plan.blockCount = blocks;
    plan.diskId = 20000;
    sim::ChannelSpec c0;
    c0.channel = 0;
    c0.width = 160;
    c0.height = 96;
    c0.fps = 10;
    c0.gop = 10;
    c0.audio.kind = sim::AudioKind::Tone;
    sim::ChannelSpec c1 = c0;
    c1.channel = 1;
    c1.audio.kind = sim::AudioKind::None;
    c1.fps = 5;
    plan.channels = {c0, c1};
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 20}, {{2024, 5, 1, 8, 10, 0}, 20}};
    plan.gsensor.metaFrames = true;
    return plan;
}

class RoundTrip : public ::testing::Test {
protected:
    void TearDown() override { platform::ClearDrivePaths(); }

    // Writes the card and opens it (or the backup file) through the store.
    IndexRecord* writeAndOpen(const sim::CardSpec& plan) {
        std::string error;
        EXPECT_TRUE(sim::writeCard(plan, m_manifest, error)) << error;
        if (plan.kind == sim::OutputKind::CardImage) {
            platform::SetDrivePath(kDrive, plan.outPath);
            m_index.SetCardSource(kDrive);
        } else {
            m_index.SetBackupFileSource(plan.outPath);
        }
        return m_index.OpenIndex();
    }
    std::vector<IndexRecord*> records() {
        auto list = m_index.fullList();
        if (m_index.stats().followOn) {
            list.pop_back();
        }
        return list;
    }
    std::vector<store::RecordingEntry> entries() {
        std::vector<store::RecordingEntry> out;
        for (IndexRecord* r = m_index.FirstRecord(); r != nullptr; r = out.back().next) {
            out.push_back(store::BuildRecordingEntry(m_index, r, 0, 0, int(out.size()) + 1));
        }
        return out;
    }
    // Every valid unit in play order, as the command-line walk and playback see them.
    std::vector<store::UnitTrailer> walkUnits(std::map<std::uint32_t, std::vector<std::uint8_t>>*
                                                  frameAreas = nullptr) {
        std::vector<store::UnitTrailer> units;
        std::vector<std::uint8_t> unit(store::kUnitSize);
        for (IndexRecord* r = m_index.FirstRecord(); r != nullptr; r = m_index.NextRecord(r)) {
            for (std::uint32_t v = 0; r->startUnit + v <= r->endUnit; ++v) {
                if (!m_index.reader().Seek(r->dataAddress + std::int64_t{v} * store::kUnitSize,
                                           store::SeekOrigin::Begin) ||
                    !m_index.reader().Read(unit.data(), store::kUnitSize)) {
                    return units;
                }
                const auto trailer = std::span(unit).subspan(store::kFrameAreaSize);
                if (!store::ValidateTrailer(trailer, r->diskId)) {
                    continue;
                }
                const store::UnitTrailer t = store::TrailerToHost(trailer);
                if (t.unitNo != r->startUnit + v) {
                    continue;
                }
                units.push_back(t);
                if (frameAreas != nullptr) {
                    (*frameAreas)[t.unitNo] =
                        std::vector<std::uint8_t>(unit.begin(), unit.begin() + store::kFrameAreaSize);
                }
            }
        }
        return units;
    }

    testing::TempDir m_dir;
    sim::Manifest m_manifest;
    RecordIndex m_index;
};

void ExpectRecordMatches(const IndexRecord& r, const sim::ManifestSlot& s) {
    EXPECT_EQ(r.slot, s.slot);
    EXPECT_EQ(r.seq, s.seq);
    EXPECT_EQ(r.startUnit, s.startUnit);
    EXPECT_EQ(r.endUnit, s.endUnit);
    EXPECT_EQ(r.startTime.bytes, s.startPacked);
    EXPECT_EQ(r.endTime.bytes, s.endPacked);
    EXPECT_EQ(r.recStart != 0, s.recStart);
    EXPECT_EQ(r.protect, s.protect);
    EXPECT_EQ(r.eventCount, s.events.size());
}

TEST_F(RoundTrip, CardIndexAndUnitsMatchWhatWasWritten) {
    sim::CardSpec plan = SmallCard(m_dir / "card.img");
    plan.events = {{2, sim::EventType::GSensor, false}, {605, sim::EventType::PushButton, true}};
    ASSERT_NE(writeAndOpen(plan), nullptr) << m_index.lastError().describe();
    EXPECT_EQ(m_index.diskInfo().diskId, 20000u);
    EXPECT_EQ(m_index.diskInfo().blockCount, 8);
    const auto list = records();
    ASSERT_EQ(list.size(), m_manifest.slots.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        ExpectRecordMatches(*list[i], m_manifest.slots[i]);
    }
    const auto recordings = entries();
    ASSERT_EQ(recordings.size(), 2u);
    EXPECT_EQ(recordings[0].eventCode, store::kEventCodeGSensorEvent);
    EXPECT_EQ(recordings[1].eventCode, store::kEventCodeButtonProtected);

    const auto units = walkUnits();
    ASSERT_EQ(units.size(), m_manifest.units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const sim::ManifestUnit& m = m_manifest.units[i];
        EXPECT_EQ(units[i].unitNo, m.unitNo);
        EXPECT_EQ(units[i].channel, m.channel);
        EXPECT_EQ(units[i].unitTime.bytes, m.packed);
        EXPECT_EQ(units[i].gps(), m.gpsText);
        EXPECT_EQ(units[i].gCount, m.gCount);
        EXPECT_EQ(units[i].eventType, m.eventType);
    }
    store::GpsFix fix;
    EXPECT_TRUE(store::ParseRmc(units.back().gps(), fix)) << units.back().gps();
}

// Walks one channel's stream the way the recorder laid it out: header, payload of the declared
// length, padding to the next 4-byte boundary.
TEST_F(RoundTrip, EveryFrameOfEveryChannelArrivesIntact) {
    const sim::CardSpec plan = SmallCard(m_dir / "card.img");
    ASSERT_NE(writeAndOpen(plan), nullptr) << m_index.lastError().describe();
    std::map<std::uint32_t, std::vector<std::uint8_t>> areas;
    const auto units = walkUnits(&areas);
    int textFrames = 0;
    for (const sim::ManifestChannel& channel : m_manifest.channels) {
        for (std::uint32_t recording = 0; recording < plan.recordings.size(); ++recording) {
            std::vector<std::uint8_t> stream;
            for (const sim::ManifestUnit& u : m_manifest.units) {
                if (u.channel == channel.channel && u.recording == recording) {
                    const auto& area = areas.at(u.unitNo);
                    stream.insert(stream.end(), area.begin(), area.end());
                }
            }
            std::vector<sim::ManifestFrame> expected;
            for (const auto& f : channel.frames) {
                if (f.recording == recording) {
                    expected.push_back(f);
                }
            }
            std::size_t next = 0;
            for (std::size_t pos = 0; pos + store::kFrameHeaderSize <= stream.size();) {
                if (!store::IsFrameSync(stream.data() + pos)) {
                    break; // zero padding after the last frame
                }
                const store::FrameHeader h =
                    store::ParseFrameHeader(std::span(stream).subspan(pos).first<32>());
                const auto payload = std::span(stream).subspan(pos + 32, h.payloadLength);
                ASSERT_EQ(h.channel, channel.channel);
                if (h.kind == 3) {
                    store::GpsFix fix;
                    EXPECT_TRUE(store::ParseRmc(store::DecodeTextPayload(payload), fix));
                    ++textFrames;
                } else if (h.kind <= 1) {
                    ASSERT_LT(next, expected.size());
                    const sim::ManifestFrame& f = expected[next++];
                    EXPECT_EQ(h.kind == 0, f.media == sim::FrameMedia::Video);
                    EXPECT_EQ(h.payloadLength, f.size);
                    EXPECT_EQ(h.timestampUs, static_cast<std::int32_t>(f.timestampUs));
                    EXPECT_EQ(store::ItemCodeFor(h) == store::kItemKeyPicture, f.key);
                    EXPECT_EQ(sim::payloadHash(payload), f.hash);
                }
                pos += (32 + h.payloadLength + 3) / 4 * 4;
            }
            EXPECT_EQ(next, expected.size()) << "channel " << int(channel.channel);
        }
    }
    EXPECT_GT(textFrames, 10);
    EXPECT_FALSE(units.empty());
}

TEST_F(RoundTrip, BackupFileReadsLikeTheCard) {
    sim::CardSpec plan = SmallCard(m_dir / "copy.sd");
    plan.kind = sim::OutputKind::RawBackup;
    ASSERT_NE(writeAndOpen(plan), nullptr) << m_index.lastError().describe();
    const auto list = records();
    ASSERT_EQ(list.size(), m_manifest.slots.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        ExpectRecordMatches(*list[i], m_manifest.slots[i]);
        EXPECT_EQ(list[i]->dataAddress, 0x2000000 + std::int64_t{list[i]->slot} * 0x1000000);
    }
    EXPECT_EQ(walkUnits().size(), m_manifest.units.size());
}

TEST_F(RoundTrip, CutOffBeforeTheRecordOfTheLastBlock) {
    sim::CardSpec plan = SmallCard(m_dir / "card.img");
    plan.hard.cutOff = sim::CutOff::NoRecord;
    ASSERT_NE(writeAndOpen(plan), nullptr) << m_index.lastError().describe();
    ASSERT_TRUE(m_manifest.lastBlockSlot.has_value());
    EXPECT_TRUE(m_index.stats().recovered);
    std::uint32_t first = UINT32_MAX, last = 0;
    for (const auto& u : m_manifest.units) {
        if (u.slot == *m_manifest.lastBlockSlot) {
            first = std::min(first, u.unitNo);
            last = std::max(last, u.unitNo);
        }
    }
    const IndexRecord* rebuilt = records().back();
    EXPECT_EQ(rebuilt->slot, *m_manifest.lastBlockSlot);
    EXPECT_EQ(rebuilt->startUnit, first);
    EXPECT_EQ(rebuilt->endUnit, last);
    EXPECT_EQ(rebuilt->recStart, 1) << "the second recording starts in that block";
    EXPECT_EQ(entries().size(), 2u);
    EXPECT_EQ(walkUnits().size(), m_manifest.units.size()) << "nothing of the last block is lost";
}

TEST_F(RoundTrip, CutOffWithAnOpenRecord) {
    sim::CardSpec plan = SmallCard(m_dir / "card.img");
    plan.hard.cutOff = sim::CutOff::EndUnitZero;
    ASSERT_NE(writeAndOpen(plan), nullptr) << m_index.lastError().describe();
    EXPECT_EQ(records().back()->endUnit, m_manifest.units.back().unitNo);
    EXPECT_EQ(walkUnits().size(), m_manifest.units.size());
}

TEST_F(RoundTrip, NewerCopyBWins) {
    sim::CardSpec plan = SmallCard(m_dir / "card.img");
    plan.hard.copyAMissingLast = 1;
    ASSERT_NE(writeAndOpen(plan), nullptr) << m_index.lastError().describe();
    EXPECT_TRUE(m_index.stats().copyBWon);
    EXPECT_EQ(records().size(), m_manifest.slots.size());
    EXPECT_EQ(walkUnits().size(), m_manifest.units.size());
}

TEST_F(RoundTrip, WrappedRingKeepsTheRemainderOfTheOldestRecord) {
    // Three blocks and more than three blocks of recording: the recorder wrapped into block 0.
    // Large real pictures (about 40 KB each) fill the ring quickly.
    const std::filesystem::path input =
        std::filesystem::path(TAVERO_CORPUS_DIR) / "h264" / "Cisco_1280x720_CAVLC_Bframe_9.264";
    if (!std::filesystem::exists(input)) {
        GTEST_SKIP() << "corpus not found at " << input;
    }
    sim::CardSpec plan = SmallCard(m_dir / "card.img", 3);
    plan.channels.resize(1);
    plan.channels[0].source = sim::VideoSource::File;
    plan.channels[0].filePath = input.string();
    plan.channels[0].fps = 25;
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 55}};
    plan.hard.cutOff = sim::CutOff::NoRecord;
    ASSERT_NE(writeAndOpen(plan), nullptr) << m_index.lastError().describe();
    ASSERT_GT(m_manifest.unitsOverwritten, 0u) << "the plan must wrap the ring";
    const auto units = walkUnits();
    std::vector<std::uint32_t> expected;
    for (const auto& u : m_manifest.units) {
        expected.push_back(u.unitNo);
    }
    std::vector<std::uint32_t> seen;
    for (const auto& u : units) {
        seen.push_back(u.unitNo);
    }
    EXPECT_EQ(seen, expected) << "every unit still on the card plays, in order, once";
}

TEST_F(RoundTrip, DamagedUnitsAreSkippedAndTheRestPlays) {
    sim::CardSpec plan = SmallCard(m_dir / "card.img");
    plan.hard.badChecksumUnits = {3, 10};
    ASSERT_NE(writeAndOpen(plan), nullptr) << m_index.lastError().describe();
    const auto units = walkUnits();
    EXPECT_EQ(units.size(), m_manifest.units.size() - 2);
    for (const auto& u : units) {
        EXPECT_NE(u.unitNo, 3u);
        EXPECT_NE(u.unitNo, 10u);
    }
}

TEST_F(RoundTrip, ChannelOffUnitsCarryTheFlag) {
    sim::CardSpec plan = SmallCard(m_dir / "card.img");
    plan.hard.channelOff = {{1, 5, 10}};
    ASSERT_NE(writeAndOpen(plan), nullptr) << m_index.lastError().describe();
    int off = 0;
    for (const auto& u : walkUnits()) {
        off += u.channelOff != 0 ? 1 : 0;
        if (u.channelOff != 0) {
            EXPECT_EQ(u.channel, 1);
        }
    }
    EXPECT_GT(off, 0);
}

TEST_F(RoundTrip, SequenceRestartIsListedButEndsTheContinuousWalk) {
    sim::CardSpec plan = SmallCard(m_dir / "card.img");
    plan.hard.seqRestartRecording = 1;
    ASSERT_NE(writeAndOpen(plan), nullptr) << m_index.lastError().describe();
    const auto list = records();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]->seq, 1u);
    EXPECT_EQ(entries().size(), 2u);
}

TEST_F(RoundTrip, CardsThatCannotBeOpened) {
    struct Case {
        const char* name;
        void (*damage)(sim::CardSpec&);
        store::StoreErrorCode code;
    };
    const Case cases[] = {
        {"index copy A zero", [](sim::CardSpec& s) { s.hard.zeroIndexA = true; },
         store::StoreErrorCode::IndexInvalid},
        {"index copy B zero", [](sim::CardSpec& s) { s.hard.zeroIndexB = true; },
         store::StoreErrorCode::IndexInvalid},
        {"disk information copy B damaged", [](sim::CardSpec& s) { s.hard.badDiskInfoB = true; },
         store::StoreErrorCode::NoDiskInfo},
    };
    for (const Case& c : cases) {
        sim::CardSpec plan = SmallCard(m_dir / "card.img");
        plan.recordings.resize(1);
        c.damage(plan);
        RecordIndex fresh;
        std::string error;
        ASSERT_TRUE(sim::writeCard(plan, m_manifest, error)) << error;
        platform::SetDrivePath(kDrive, plan.outPath);
        fresh.SetCardSource(kDrive);
        EXPECT_EQ(fresh.OpenIndex(), nullptr) << c.name;
        EXPECT_EQ(fresh.lastError().code, c.code) << c.name << ": " << fresh.lastError().describe();
    }
}

} // namespace
} // namespace tavero
