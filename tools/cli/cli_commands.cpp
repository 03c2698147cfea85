#include "cli_commands.h"

#include "app/backup_plan.h"
#include "app/recording_list.h"
#include "cli_common.h"
#include "cli_output.h"
#include "engine/player.h"
#include "engine/source_type.h"
#include "export/gps_file.h"
#include "platform/drive_table.h"
#include "store/metadata.h"
#include "store/record_index.h"
#include "store/recording_entry.h"
#include "store/unit_trailer.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tavero::cli {
namespace {

// The reader's error for people; an index whose first slot is not a record at all is what a
// freshly formatted card has.
std::string Explain(const store::StoreError& error) {
    std::string text = error.describe();
    if (error.code == store::StoreErrorCode::IndexInvalid &&
        error.offset == store::kCardIndexBaseA) {
        text += " (the card holds no recordings: it is empty or freshly formatted)";
    }
    return text;
}

using store::IndexRecord;
using store::RecordIndex;

bool Describe(std::FILE* err, const std::string& name, const std::string& reason) {
    std::fprintf(err, "tavero-cli: %s: %s\n", name.c_str(), reason.c_str());
    return false;
}

// The opened index of the named source, or nothing after printing why it cannot be read.
class OpenedSource {
public:
    bool open(const std::string& text, std::FILE* err) {
        engine::DetectedSource detected;
        if (!CheckSource(text, err, detected, m_name)) {
            return false;
        }
        m_type = detected.type;
        if (detected.type == engine::kSourceCard) {
            m_index.SetCardSource(engine::CardDriveNumber(detected));
        } else {
            m_index.SetBackupFileSource(detected.path);
        }
        if (m_index.OpenIndex() == nullptr) {
            return Describe(err, m_name, Explain(m_index.lastError()));
        }
        return true;
    }

    RecordIndex& index() { return m_index; }
    [[nodiscard]] engine::SourceType type() const { return m_type; }
    [[nodiscard]] const std::string& name() const { return m_name; }

private:
    RecordIndex m_index;
    std::string m_name;
    engine::SourceType m_type = engine::kSourceNone;
};

// The recordings as `list` numbers them (from 1), times without a display offset.
std::vector<store::RecordingEntry> ListedEntries(RecordIndex& index) {
    std::vector<store::RecordingEntry> entries;
    IndexRecord* record = index.FirstRecord();
    while (record != nullptr) {
        entries.push_back(store::BuildRecordingEntry(
            index, record, 0, 0, static_cast<std::int32_t>(entries.size() + 1)));
        record = entries.back().next;
    }
    return entries;
}

std::string Flags(const store::UnitTrailer& t) {
    std::string flags;
    if (t.recStartFlag != 0) {
        flags += "start,";
    }
    if (t.protectFlag != 0) {
        flags += "protect,";
    }
    if (t.channelOff != 0) {
        flags += "off,";
    }
    if (flags.empty()) {
        return "-";
    }
    flags.pop_back();
    return flags;
}

} // namespace

bool CheckSource(const std::string& text, std::FILE* err, engine::DetectedSource& detected,
                 std::string& name) {
    detected = engine::DetectSource(text);
    name = detected.path.empty() ? text : detected.path;
    switch (detected.type) {
    case engine::kSourceCard:
        if (detected.host.size() != 1 || engine::CardDriveNumber(detected) < 0) {
            return Describe(err, name,
                            "a card is named car2://N with a drive number N from 0 to 9");
        }
        if (const auto path = platform::ResolveDrivePath(engine::CardDriveNumber(detected))) {
            name += " (" + *path + ")";
        }
        return CheckCardUsersForCommand(engine::CardDriveNumber(detected), name, err);
    case engine::kSourceBackupFile:
        return true;
    case engine::kSourceOtherFile:
        return Describe(
            err, name, "not a raw backup file (the name must end in .sd) or a card URL (car2://N)");
    default:
        return Describe(err, name, "not a source: give a path ending in .sd or car2://N");
    }
}

bool OpenForCommand(const std::string& text, engine::COzuCtrl& control, std::FILE* err,
                    std::string& name) {
    engine::DetectedSource detected;
    if (!CheckSource(text, err, detected, name)) {
        return false;
    }
    engine::PlayerOpen(&control, detected.path);
    if (engine::PlayerLoadIndex(&control) == nullptr) {
        return Describe(err, name, Explain(control.box().lastError()));
    }
    return true;
}

std::vector<store::RecordingEntry> ListEntries(engine::COzuCtrl& control) {
    store::RecordIndex& index = control.box().index();
    std::vector<store::RecordingEntry> entries;
    for (store::IndexRecord* r = engine::PlayerLoadIndex(&control); r != nullptr;
         r = entries.back().next) {
        entries.push_back(store::BuildRecordingEntry(
            index, r, 0, 0, static_cast<std::int32_t>(entries.size() + 1)));
    }
    return entries;
}

int RunInfo(const CommandOptions& options, std::FILE* out, std::FILE* err) {
    OpenedSource source;
    if (!source.open(options.source, err)) {
        return 1;
    }
    RecordIndex& index = source.index();
    const auto& full = index.fullList();
    const store::IndexStats& stats = index.stats();
    const bool card = index.kind() == store::SourceKind::Card;
    const std::uint32_t diskId = card ? index.diskInfo().diskId : full.front()->diskId;
    std::int64_t blockCount = index.diskInfo().blockCount;
    if (!card) {
        const std::int64_t dataBytes = index.reader().Size() - store::kBackupDataBase;
        blockCount =
            dataBytes <= 0 ? 0 : (dataBytes + store::kDataBlockSize - 1) / store::kDataBlockSize;
    }
    const std::uint32_t valid = stats.copyBWon ? stats.validB : stats.validA;
    const std::int64_t first = full.front()->startSeconds();
    const std::int64_t last = full.back()->endSeconds();
    const char* typeName = card ? "card" : "raw backup file";
    if (options.json) {
        JsonObject o;
        o.add("source", source.name())
            .add("type", std::int64_t{source.type()})
            .add("typeName", typeName)
            .add("diskId", std::int64_t{diskId})
            .add("blockCount", blockCount)
            .add("validRecords", std::int64_t{valid})
            .add("validRecordsA", std::int64_t{stats.validA})
            .add("validRecordsB", std::int64_t{stats.validB})
            .add("copyBWon", stats.copyBWon)
            .add("recovered", stats.recovered)
            .add("first", first)
            .add("last", last);
        std::fprintf(out, "%s\n", o.str().c_str());
        return 0;
    }
    std::fprintf(out, "source:        %s\n", source.name().c_str());
    std::fprintf(out, "type:          %s (%d)\n", typeName, static_cast<int>(source.type()));
    std::fprintf(out, "disk id:       %u\n", diskId);
    std::fprintf(out, "blocks:        %lld\n", static_cast<long long>(blockCount));
    if (card) {
        std::fprintf(out, "index records: %u valid (copy A %u, copy B %u%s)%s\n", valid,
                     stats.validA, stats.validB, stats.copyBWon ? ", copy B is newer" : "",
                     stats.recovered ? ", block being written rebuilt" : "");
    } else {
        std::fprintf(out, "index records: %u valid\n", valid);
    }
    std::fprintf(out, "first:         %s (%lld)\n", store::FormatRecorderTime(first).c_str(),
                 static_cast<long long>(first));
    std::fprintf(out, "last:          %s (%lld)\n", store::FormatRecorderTime(last).c_str(),
                 static_cast<long long>(last));
    return 0;
}

int RunList(const CommandOptions& options, std::FILE* out, std::FILE* err) {
    OpenedSource source;
    if (!source.open(options.source, err)) {
        return 1;
    }
    const std::vector<store::RecordingEntry> entries = ListedEntries(source.index());
    if (options.json) {
        std::vector<std::string> items;
        for (const auto& e : entries) {
            JsonObject o;
            o.add("number", std::int64_t{e.number})
                .add("start", e.start)
                .add("end", e.end)
                .add("event", std::int64_t{e.eventCode})
                .add("eventName", store::EventTypeName(e.eventCode))
                .add("firstUnit", std::int64_t{e.firstUnit})
                .add("firstSlot", std::int64_t{e.firstRecord->slot});
            items.push_back(o.str());
        }
        std::fprintf(out, "%s\n", JsonArray(items).c_str());
        return 0;
    }
    std::fprintf(out, "%4s  %-19s  %-19s  %8s  %s\n", "#", "start", "end", "length", "event");
    for (const auto& e : entries) {
        const std::int64_t length = e.end - e.start;
        std::fprintf(out, "%4d  %-19s  %-19s  %02lld:%02d:%02d  %.*s\n", e.number,
                     e.displayStart.c_str(), e.displayEnd.c_str(),
                     static_cast<long long>(length / 3600), static_cast<int>(length / 60 % 60),
                     static_cast<int>(length % 60),
                     static_cast<int>(store::EventTypeName(e.eventCode).size()),
                     store::EventTypeName(e.eventCode).data());
    }
    std::fprintf(out, "%zu recording%s\n", entries.size(), entries.size() == 1 ? "" : "s");
    return 0;
}

int RunUnits(const CommandOptions& options, std::FILE* out, std::FILE* err) {
    OpenedSource source;
    if (!source.open(options.source, err)) {
        return 1;
    }
    RecordIndex& index = source.index();
    store::CStoReader& reader = index.reader();
    std::vector<std::string> items;
    std::uint64_t shown = 0;
    std::uint64_t skipped = 0;
    bool endOfData = false;
    std::string stopNote;
    if (!options.json) {
        std::fprintf(out, "%8s  %-19s  %2s  %-15s  %5s  %3s  %s\n", "unit", "time", "ch", "flags",
                     "event", "g", "gps");
    }
    std::array<std::uint8_t, store::kTrailerSize> bytes{};
    IndexRecord* record = index.FirstRecord();
    while (record != nullptr && !endOfData) {
        // Walks like playback does: every unit of the record in turn, counting only valid
        // trailers that carry the expected unit number.
        const std::uint32_t span =
            record->endUnit >= record->startUnit ? record->endUnit - record->startUnit : 0;
        for (std::uint32_t v = 0; v <= span; ++v) {
            const std::int64_t at = record->dataAddress + std::int64_t{v} * store::kUnitSize +
                                    static_cast<std::int64_t>(store::kFrameAreaSize);
            if (!reader.Seek(at, store::SeekOrigin::Begin) ||
                !reader.Read(bytes.data(), store::kTrailerSize)) {
                endOfData = true;
                break;
            }
            if (!store::ValidateTrailer(bytes, record->diskId)) {
                ++skipped;
                continue;
            }
            const store::UnitTrailer t = store::TrailerToHost(bytes);
            if (t.unitNo != record->startUnit + v) {
                ++skipped;
                continue;
            }
            ++shown;
            const std::int64_t seconds = store::PackedTimeToSeconds(t.unitTime);
            if (options.json) {
                JsonObject o;
                o.add("unit", std::int64_t{t.unitNo})
                    .add("time", seconds)
                    .add("channel", std::int64_t{t.channel})
                    .add("recStart", t.recStartFlag != 0)
                    .add("protect", t.protectFlag != 0)
                    .add("channelOff", t.channelOff != 0)
                    .add("eventType", std::int64_t{t.eventType})
                    .add("gCount", std::int64_t{t.gCount})
                    .add("fps", std::int64_t{t.fps})
                    .add("videoFormat", std::int64_t{t.videoFormat})
                    .add("gps", t.gps())
                    .add("slot", std::int64_t{record->slot});
                items.push_back(o.str());
            } else {
                std::fprintf(out, "%8u  %-19s  %2u  %-15s  %5u  %3u  %s\n", t.unitNo,
                             store::FormatRecorderTime(seconds).c_str(), t.channel,
                             Flags(t).c_str(), t.eventType, t.gCount, t.gps().c_str());
            }
        }
        IndexRecord* next = index.NextRecord(record);
        if (next != nullptr && next->seq == 1) {
            stopNote = "stopped before a record with seq 1 (the recorder restarted its numbering)";
            break;
        }
        record = next;
    }
    if (options.json) {
        std::fprintf(out, "%s\n", JsonArray(items).c_str());
        return 0;
    }
    std::fprintf(out, "%llu units shown, %llu skipped (damaged or out of sequence)%s%s\n",
                 static_cast<unsigned long long>(shown), static_cast<unsigned long long>(skipped),
                 endOfData ? ", end of data reached" : "",
                 stopNote.empty() ? "" : ("; " + stopNote).c_str());
    return 0;
}

int RunRmc(std::FILE* in, std::FILE* out) {
    std::string line;
    int c = 0;
    auto flush = [&] {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
            line.pop_back();
        }
        double lat = 0;
        double lon = 0;
        double speed = 0;
        double course = 0;
        // The decoder reads text up to its NUL, as the recorder stores it.
        if (store::ParseRmc(std::string_view(line.c_str()), &lat, &lon, &speed, &course)) {
            std::fprintf(out, "ok %.9f %.9f %.9f %.9f\n", lat, lon, speed, course);
        } else {
            std::fprintf(out, "fail\n");
        }
        line.clear();
    };
    bool pending = false;
    while ((c = std::fgetc(in)) != EOF) {
        if (c == '\n') {
            flush();
            pending = false;
        } else {
            line.push_back(static_cast<char>(c));
            pending = true;
        }
    }
    if (pending) {
        flush();
    }
    return 0;
}

int RunLengths(const CommandOptions& options, const std::string& output, std::FILE* out,
               std::FILE* err) {
    if (!CheckOutputPath(output, err)) {
        return 1;
    }
    OpenedSource source;
    if (!source.open(options.source, err)) {
        return 1;
    }
    std::vector<std::vector<std::string>> rows;
    for (const store::RecordingEntry& e : ListedEntries(source.index())) {
        rows.push_back({std::to_string(e.number), e.displayStart,
                        std::string(store::EventTypeName(e.eventCode)), e.displayEnd,
                        app::DurationText(e.end - e.start)});
    }
    // The dialog's column titles, untranslated.
    const std::vector<std::string> titles = {"RECORD TIME", "EVENT TYPE", "TIME END",
                                             "Total Times"};
    std::string error;
    if (!exporter::WriteFileAtomically(output, app::LengthTable(titles, rows), error)) {
        std::fprintf(err, "tavero-cli: %s%s (%s)\n", output.c_str(),
                     std::string(app::kLengthTableFailedText).c_str(), error.c_str());
        return 1;
    }
    std::fprintf(out, "%s%s (%zu recording%s)\n", output.c_str(),
                 std::string(app::kLengthTableDoneText).c_str(), rows.size(),
                 rows.size() == 1 ? "" : "s");
    return 0;
}

} // namespace tavero::cli
