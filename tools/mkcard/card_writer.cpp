#include "mkcard/card_writer.h"

#include "mkcard/output_file.h"
#include "mkcard/recording_builder.h"

#include <algorithm>
#include <set>

namespace tavero::sim {

namespace {

constexpr uint32_t kMicrosPerSecond = 1000000;
constexpr uint32_t kMaxRecordingSec = 3600; // time stamps are 32-bit microseconds
constexpr uint32_t kMaxBackupBlocks = kBackupDiskInfoSlot;

// Checks what the recorder could never have produced or what the file layout cannot hold.
bool validate(const CardSpec& plan, std::string& error) {
    if (plan.outPath.empty()) {
        error = "no output path";
        return false;
    }
    if (plan.channels.empty() || plan.channels.size() > 8) {
        error = "give 1 to 8 channels";
        return false;
    }
    std::set<uint8_t> seen;
    for (const ChannelSpec& channel : plan.channels) {
        const std::string name = "channel " + std::to_string(channel.channel);
        if (channel.channel > 7 || !seen.insert(channel.channel).second) {
            error = name + ": channel numbers must be distinct and 0..7";
            return false;
        }
        if (channel.fps < 1 || channel.fps > 120 || channel.videoFormat > 15) {
            error = name + ": fps must be 1..120 and videoFormat 0..15";
            return false;
        }
        if (channel.source == VideoSource::File && channel.filePath.empty()) {
            error = name + ": no H.264 file given";
            return false;
        }
    }
    if (plan.recordings.empty()) {
        error = "give at least one recording";
        return false;
    }
    for (size_t r = 0; r < plan.recordings.size(); ++r) {
        const RecordingSpec& recording = plan.recordings[r];
        const std::string name = "recording " + std::to_string(r + 1);
        if (!isValidWallTime(recording.start) || recording.durationSec == 0 ||
            recording.durationSec > kMaxRecordingSec) {
            error = name + ": needs a valid start (years 1800..2055) and 1.." +
                    std::to_string(kMaxRecordingSec) + " seconds";
            return false;
        }
        const WallTime end = secondsToWall(wallToSeconds(recording.start) + recording.durationSec);
        if (!isValidWallTime(end)) {
            error = name + ": ends past what a packed time can hold";
            return false;
        }
        if (r > 0) {
            const RecordingSpec& previous = plan.recordings[r - 1];
            if (wallToSeconds(recording.start) <
                wallToSeconds(previous.start) + previous.durationSec) {
                error = name + ": starts before the previous recording ends";
                return false;
            }
        }
    }
    const int64_t origin = wallToSeconds(plan.recordings.front().start);
    auto insideSomeRecording = [&](double offsetSec) {
        return std::any_of(
            plan.recordings.begin(), plan.recordings.end(), [&](const RecordingSpec& r) {
                const auto from = static_cast<double>(wallToSeconds(r.start) - origin);
                return offsetSec >= from && offsetSec < from + r.durationSec;
            });
    };
    for (const EventSpec& event : plan.events) {
        if (!insideSomeRecording(event.offsetSec)) {
            error =
                "event at " + std::to_string(event.offsetSec) + " s lies outside every recording";
            return false;
        }
    }
    for (const ChannelOffSpan& span : plan.hard.channelOff) {
        if (!seen.contains(span.channel) || span.toSec <= span.fromSec) {
            error = "channel-off span needs an existing channel and an end after its start";
            return false;
        }
    }
    if (plan.hard.seqRestartRecording && *plan.hard.seqRestartRecording >= plan.recordings.size()) {
        error = "seq restart names a recording that does not exist";
        return false;
    }
    if (plan.kind == OutputKind::CardImage) {
        if (plan.blockCount == 0 || plan.blockCount > 0xFFFF) {
            error = "blockCount must be 1..65535";
            return false;
        }
    } else {
        const HardCases& hard = plan.hard;
        if (hard.cutOff != CutOff::None || hard.copyAMissingLast != 0 || hard.zeroIndexA ||
            hard.zeroIndexB || hard.badDiskInfoB) {
            error = "cut-off, index-copy and disk-information cases apply to card images only";
            return false;
        }
    }
    return true;
}

class Writer {
public:
    Writer(const CardSpec& plan, Manifest& manifest)
        : m_spec(plan), m_manifest(manifest), m_builder(plan) {}

    bool run(std::string& error);

private:
    struct SlotState {
        std::optional<IndexRecordFields> record;
        uint64_t writeOrder = 0;
        std::vector<int64_t> unitAt; // m_units index per unit position, -1 when empty
    };

    struct OpenBlock {
        uint32_t slot = 0;
        uint32_t units = 0;
        IndexRecordFields record;
    };

    bool writeRecording(size_t r, const RecordingDrafts& drafts, std::string& error);
    bool openBlock(size_t r, bool recStart, std::string& error);
    void closeBlock(bool last);
    uint32_t nextCardSlot() const;
    bool writeCardRegions(std::string& error);
    bool writeBackupIndex(std::string& error);
    void finishManifest();
    [[nodiscard]] uint64_t unitOffset(uint32_t slot, uint32_t position) const {
        return m_dataBase + slot * kBlockSize + uint64_t{position} * kUnitSize;
    }
    [[nodiscard]] DiskInfoFields diskInfo() const;

    const CardSpec& m_spec;
    Manifest& m_manifest;
    RecordingBuilder m_builder;
    OutputFile m_file;
    uint64_t m_dataBase = 0;
    uint32_t m_nextUnit = 1;
    uint32_t m_seq = 0;
    uint64_t m_writeOrder = 0;
    std::vector<SlotState> m_slots;
    std::optional<OpenBlock> m_block;
    std::vector<ManifestUnit> m_units; // every unit written, by unit number
    std::vector<bool> m_overwritten;   // parallel to m_units
    // Per channel, per manifest frame: the units holding it.
    std::vector<std::vector<std::vector<uint32_t>>> m_frameUnits;
};

DiskInfoFields Writer::diskInfo() const {
    DiskInfoFields fields;
    fields.blockCount = static_cast<uint16_t>(m_spec.blockCount);
    // The card was formatted an hour before its first recording.
    fields.createTime = packTime(secondsToWall(wallToSeconds(m_spec.recordings[0].start) - 3600));
    fields.diskId = m_spec.diskId;
    return fields;
}

uint32_t Writer::nextCardSlot() const {
    if (!m_block)
        return 0;
    // The recorder goes round the ring and passes over protected blocks, unless all are.
    const uint32_t count = m_spec.blockCount;
    for (uint32_t step = 1; step <= count; ++step) {
        const uint32_t slot = (m_block->slot + step) % count;
        const auto& record = m_slots[slot].record;
        if (!record || record->protect == 0)
            return slot;
    }
    return (m_block->slot + 1) % count;
}

bool Writer::openBlock(size_t r, bool recStart, std::string& error) {
    uint32_t slot = 0;
    if (m_spec.kind == OutputKind::CardImage) {
        slot = nextCardSlot();
    } else {
        slot = m_block ? m_block->slot + 1 : 0;
        if (slot >= kMaxBackupBlocks) {
            error =
                "a raw backup file holds at most " + std::to_string(kMaxBackupBlocks) + " blocks";
            return false;
        }
        if (m_slots.size() <= slot)
            m_slots.resize(slot + 1);
    }
    if (m_block)
        closeBlock(false);
    OpenBlock block;
    block.slot = slot;
    if (recStart && m_spec.hard.seqRestartRecording == r)
        m_seq = 1;
    else
        ++m_seq;
    block.record.seq = m_seq;
    block.record.recStart = recStart;
    block.record.zoneHours = m_spec.zoneHours;
    block.record.diskId = m_spec.diskId;
    m_block = std::move(block);
    if (m_slots[slot].unitAt.empty())
        m_slots[slot].unitAt.assign(kUnitsPerBlock, -1);
    return true;
}

void Writer::closeBlock(bool last) {
    SlotState& slot = m_slots[m_block->slot];
    IndexRecordFields record = m_block->record;
    if (last && m_spec.hard.cutOff == CutOff::NoRecord)
        return;
    if (last && m_spec.hard.cutOff == CutOff::EndUnitZero) {
        // What the recorder wrote when it opened the block; it never got to update it.
        record.endUnit = 0;
        record.endTime = {};
        record.events.clear();
        record.protect = 0;
    }
    slot.record = record;
    slot.writeOrder = ++m_writeOrder;
}

bool Writer::writeRecording(size_t r, const RecordingDrafts& drafts, std::string& error) {
    const RecordingSpec& recording = m_spec.recordings[r];
    const int64_t startSec = wallToSeconds(recording.start);
    std::vector<std::vector<uint32_t>> areaUnit(drafts.streams.size());
    for (size_t s = 0; s < drafts.streams.size(); ++s)
        areaUnit[s].assign(drafts.streams[s].areaCount(), 0);

    std::vector<uint8_t> unit(kUnitSize);
    for (size_t i = 0; i < drafts.units.size(); ++i) {
        const UnitDraft& draft = drafts.units[i];
        if (i == 0 || m_block->units == kUnitsPerBlock) {
            if (!openBlock(r, i == 0, error))
                return false;
        }
        const uint32_t unitNo = m_nextUnit++;
        const uint32_t position = m_block->units++;
        const ChannelSpec& channel =
            *std::find_if(m_spec.channels.begin(), m_spec.channels.end(),
                          [&](const ChannelSpec& c) { return c.channel == draft.channel; });
        const WallTime wall = secondsToWall(startSec + draft.timeUs / kMicrosPerSecond);

        TrailerFields trailer;
        trailer.unitNo = unitNo;
        trailer.unitTime = packTime(wall);
        trailer.channel = draft.channel;
        trailer.recStart = i == 0;
        trailer.protect = draft.protect;
        trailer.eventType = draft.eventType;
        trailer.videoFormat = channel.videoFormat;
        trailer.fps = static_cast<uint8_t>(channel.fps);
        trailer.channelOff = draft.channelOff;
        trailer.samples = draft.samples;
        trailer.gpsText = draft.gpsText;
        trailer.diskId = m_spec.diskId;

        std::fill(unit.begin(), unit.end(), 0);
        if (!draft.channelOff) {
            const auto area = drafts.streams[draft.stream].area(draft.area);
            std::copy(area.begin(), area.end(), unit.begin());
            areaUnit[draft.stream][draft.area] = unitNo;
        }
        const auto trailerBytes = std::span(unit).subspan(kFrameAreaSize, kTrailerSize);
        if (!encodeTrailer(trailer, trailerBytes)) {
            error = "internal: trailer encoding failed";
            return false;
        }
        const bool badChecksum =
            std::find(m_spec.hard.badChecksumUnits.begin(), m_spec.hard.badChecksumUnits.end(),
                      unitNo) != m_spec.hard.badChecksumUnits.end();
        if (badChecksum)
            trailerBytes[508] ^= 0x01;
        const uint64_t offset = unitOffset(m_block->slot, position);
        if (!m_file.writeAt(offset, unit, error))
            return false;

        IndexRecordFields& record = m_block->record;
        if (position == 0) {
            record.startUnit = unitNo;
            record.startTime = trailer.unitTime;
        }
        record.endUnit = unitNo;
        record.endTime = trailer.unitTime;
        if (draft.eventType != 0 && record.events.size() < kMaxEventsPerRecord) {
            record.events.push_back({unitNo, trailer.unitTime, draft.eventType});
            if (draft.protect && record.protect == 0)
                record.protect =
                    draft.eventType == static_cast<uint16_t>(EventType::GSensor) ? 1 : 2;
        }

        int64_t& occupant = m_slots[m_block->slot].unitAt[position];
        if (occupant >= 0)
            m_overwritten[static_cast<size_t>(occupant)] = true;
        occupant = static_cast<int64_t>(m_units.size());

        ManifestUnit entry;
        entry.unitNo = unitNo;
        entry.slot = m_block->slot;
        entry.indexInBlock = position;
        entry.fileOffset = offset;
        entry.recording = static_cast<uint32_t>(r);
        entry.channel = draft.channel;
        entry.timeUs = draft.timeUs;
        entry.packed = trailer.unitTime;
        entry.time = wall;
        entry.recStart = trailer.recStart;
        entry.protect = draft.protect;
        entry.eventType = draft.eventType;
        entry.channelOff = draft.channelOff;
        entry.gCount = static_cast<uint8_t>(std::min(draft.samples.size(), kMaxGSamplesPerUnit));
        entry.gpsText = draft.gpsText.substr(0, kGpsTextSize - 1);
        entry.badChecksum = badChecksum;
        m_units.push_back(std::move(entry));
        m_overwritten.push_back(false);
    }

    for (size_t s = 0; s < drafts.streams.size(); ++s) {
        for (const FramePlacement& placement : drafts.streams[s].placements) {
            std::vector<uint32_t>& units = m_frameUnits[s][static_cast<size_t>(placement.frameRef)];
            for (size_t area = placement.firstArea; area <= placement.lastArea; ++area)
                units.push_back(areaUnit[s][area]);
        }
    }
    return true;
}

bool Writer::writeCardRegions(std::string& error) {
    const uint32_t count = m_spec.blockCount;
    std::vector<uint8_t> areaA(size_t{count} * kSectorSize);
    std::vector<uint8_t> areaB(size_t{count} * kSectorSize);

    // Copy A lags behind B by the last K records written.
    std::vector<uint32_t> byAge;
    for (uint32_t slot = 0; slot < count; ++slot) {
        if (m_slots[slot].record)
            byAge.push_back(slot);
    }
    std::sort(byAge.begin(), byAge.end(), [this](uint32_t a, uint32_t b) {
        return m_slots[a].writeOrder > m_slots[b].writeOrder;
    });
    std::set<uint32_t> missingInA;
    for (size_t i = 0; i < byAge.size() && i < m_spec.hard.copyAMissingLast; ++i)
        missingInA.insert(byAge[i]);

    for (uint32_t slot = 0; slot < count; ++slot) {
        const auto a = std::span(areaA).subspan(size_t{slot} * kSectorSize, kSectorSize);
        const auto b = std::span(areaB).subspan(size_t{slot} * kSectorSize, kSectorSize);
        const auto& record = m_slots[slot].record;
        bool ok = true;
        if (record) {
            ok = encodeIndexRecord(*record, b);
            if (missingInA.contains(slot))
                ok = ok && encodeUnwrittenCardSlot(m_spec.diskId, a);
            else
                ok = ok && encodeIndexRecord(*record, a);
        } else {
            ok = encodeUnwrittenCardSlot(m_spec.diskId, a) &&
                 encodeUnwrittenCardSlot(m_spec.diskId, b);
        }
        if (!ok) {
            error = "internal: index record encoding failed";
            return false;
        }
        if (record) {
            ManifestSlot entry;
            entry.slot = slot;
            entry.seq = record->seq;
            entry.startUnit = record->startUnit;
            entry.endUnit = record->endUnit;
            entry.startPacked = record->startTime;
            entry.endPacked = record->endTime;
            entry.recStart = record->recStart;
            entry.protect = record->protect;
            for (const IndexEvent& event : record->events)
                entry.events.push_back({event.unit, event.time, {}, event.type});
            entry.inCopyA = !m_spec.hard.zeroIndexA && !missingInA.contains(slot);
            entry.inCopyB = !m_spec.hard.zeroIndexB;
            m_manifest.slots.push_back(std::move(entry));
        }
    }
    // An all-zero copy is simply never written: the image is sparse and freshly truncated.
    if (!m_spec.hard.zeroIndexA && !m_file.writeAt(kCardIndexA, areaA, error))
        return false;
    if (!m_spec.hard.zeroIndexB && !m_file.writeAt(kCardIndexB, areaB, error))
        return false;

    std::array<uint8_t, kSectorSize> sector{};
    if (!encodeDiskInfo(diskInfo(), sector) || !m_file.writeAt(kCardDiskInfoA, sector, error))
        return false;
    if (m_spec.hard.badDiskInfoB)
        sector[508] ^= 0x01;
    if (!m_file.writeAt(kCardDiskInfoB, sector, error))
        return false;
    if (!encodeDefaultConfigSector(m_spec.diskId, sector) ||
        !m_file.writeAt(kCardConfigSector, sector, error))
        return false;
    for (const BootSector& boot : makeBootSectors()) {
        if (!m_file.writeAt(boot.offset, boot.bytes, error))
            return false;
    }
    return true;
}

bool Writer::writeBackupIndex(std::string& error) {
    std::vector<uint8_t> area(m_slots.size() * kSectorSize);
    for (uint32_t slot = 0; slot < m_slots.size(); ++slot) {
        const auto& record = m_slots[slot].record;
        if (!record)
            continue;
        if (!encodeIndexRecord(*record,
                               std::span(area).subspan(size_t{slot} * kSectorSize, kSectorSize))) {
            error = "internal: index record encoding failed";
            return false;
        }
        ManifestSlot entry;
        entry.slot = slot;
        entry.seq = record->seq;
        entry.startUnit = record->startUnit;
        entry.endUnit = record->endUnit;
        entry.startPacked = record->startTime;
        entry.endPacked = record->endTime;
        entry.recStart = record->recStart;
        entry.protect = record->protect;
        for (const IndexEvent& event : record->events)
            entry.events.push_back({event.unit, event.time, {}, event.type});
        entry.inCopyA = true;
        m_manifest.slots.push_back(std::move(entry));
    }
    if (!m_file.writeAt(0, area, error))
        return false;
    if (m_spec.backupDiskInfoCopy) {
        std::array<uint8_t, kSectorSize> sector{};
        if (!encodeBackupDiskInfo(diskInfo(), sector) ||
            !m_file.writeAt(uint64_t{kBackupDiskInfoSlot} * kSectorSize, sector, error))
            return false;
    }
    uint64_t size = kBackupDataBase;
    for (uint32_t slot = 0; slot < m_slots.size(); ++slot) {
        const auto& used = m_slots[slot].unitAt;
        const auto last =
            std::find_if(used.rbegin(), used.rend(), [](int64_t u) { return u >= 0; });
        if (last != used.rend())
            size = std::max(size, unitOffset(slot, static_cast<uint32_t>(used.rend() - last)));
    }
    m_manifest.fileSize = size;
    return m_file.resize(size, error);
}

void Writer::finishManifest() {
    auto breakDown = [](const PackedTime& packed) {
        WallTime wall;
        wall.year = packed[0] + 1800;
        wall.month = packed[1];
        wall.day = packed[2];
        wall.hour = packed[3];
        wall.minute = packed[4];
        wall.second = packed[5];
        return wall;
    };
    for (ManifestSlot& slot : m_manifest.slots) {
        slot.startTime = breakDown(slot.startPacked);
        slot.endTime = breakDown(slot.endPacked);
        for (ManifestEvent& event : slot.events)
            event.time = breakDown(event.packed);
    }
    m_manifest.unitsWritten = static_cast<uint32_t>(m_units.size());
    for (size_t i = 0; i < m_units.size(); ++i) {
        if (m_overwritten[i])
            ++m_manifest.unitsOverwritten;
        else
            m_manifest.units.push_back(m_units[i]);
    }
    for (size_t c = 0; c < m_manifest.channels.size(); ++c) {
        std::vector<ManifestFrame>& frames = m_manifest.channels[c].frames;
        for (size_t f = 0; f < frames.size(); ++f) {
            const std::vector<uint32_t>& units = m_frameUnits[c][f];
            if (units.empty())
                continue;
            frames[f].firstUnit = units.front();
            frames[f].lastUnit = units.back();
            frames[f].onCard = std::none_of(units.begin(), units.end(),
                                            [this](uint32_t u) { return m_overwritten[u - 1]; });
            frames[f].intact =
                frames[f].onCard && std::none_of(units.begin(), units.end(), [this](uint32_t u) {
                    return m_units[u - 1].badChecksum;
                });
        }
    }
}

bool Writer::run(std::string& error) {
    if (!validate(m_spec, error))
        return false;
    m_manifest = Manifest{};
    m_manifest.kind = m_spec.kind;
    m_manifest.diskId = m_spec.diskId;
    m_manifest.blockCount = m_spec.kind == OutputKind::CardImage ? m_spec.blockCount : 0;
    m_manifest.zoneHours = m_spec.zoneHours;
    m_manifest.cutOff = m_spec.hard.cutOff;
    if (!m_builder.prepare(m_manifest, error))
        return false;
    if (!m_file.create(m_spec.outPath, error))
        return false;
    if (m_spec.kind == OutputKind::CardImage) {
        m_dataBase = kCardDataBase;
        m_slots.resize(m_spec.blockCount);
        // Sized so that the drive-size rule, (size - data base) / 16 MiB - 8, gives blockCount.
        m_manifest.fileSize =
            kCardDataBase + uint64_t{m_spec.blockCount + kCardSpareBlocks} * kBlockSize;
        if (!m_file.resize(m_manifest.fileSize, error))
            return false;
    } else {
        m_dataBase = kBackupDataBase;
    }

    m_frameUnits.resize(m_spec.channels.size());
    for (size_t r = 0; r < m_spec.recordings.size(); ++r) {
        RecordingDrafts drafts;
        if (!m_builder.build(r, m_manifest, drafts, error))
            return false;
        for (size_t c = 0; c < m_spec.channels.size(); ++c)
            m_frameUnits[c].resize(m_manifest.channels[c].frames.size());
        if (!writeRecording(r, drafts, error))
            return false;
    }
    closeBlock(true);
    m_manifest.lastBlockSlot = m_block->slot;

    const bool ok =
        m_spec.kind == OutputKind::CardImage ? writeCardRegions(error) : writeBackupIndex(error);
    if (!ok)
        return false;
    finishManifest();
    return m_file.close(error);
}

} // namespace

uint64_t payloadHash(std::span<const uint8_t> payload) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (uint8_t byte : payload) {
        hash ^= byte;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool writeCard(const CardSpec& plan, Manifest& manifest, std::string& error) {
    Writer writer(plan, manifest);
    return writer.run(error);
}

} // namespace tavero::sim
