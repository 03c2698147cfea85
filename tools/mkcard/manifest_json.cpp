// JSON form of the manifest, for tests and tools outside C++.
#include "mkcard/card_writer.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace tavero::sim {

namespace {

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string packedHex(const PackedTime& packed) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", packed[0], packed[1], packed[2],
                  packed[3], packed[4], packed[5]);
    return quoted(text);
}

std::string hashHex(uint64_t hash) {
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return quoted(text);
}

const char* boolText(bool value) {
    return value ? "true" : "false";
}

const char* cutOffName(CutOff cutOff) {
    switch (cutOff) {
    case CutOff::None:
        return "none";
    case CutOff::NoRecord:
        return "no-record";
    case CutOff::EndUnitZero:
        return "end-unit-zero";
    }
    return "none";
}

void writeSlot(std::ostream& out, const ManifestSlot& slot) {
    out << "{\"slot\":" << slot.slot << ",\"seq\":" << slot.seq
        << ",\"startUnit\":" << slot.startUnit << ",\"endUnit\":" << slot.endUnit
        << ",\"startPacked\":" << packedHex(slot.startPacked)
        << ",\"startTime\":" << quoted(formatWallTime(slot.startTime))
        << ",\"endPacked\":" << packedHex(slot.endPacked)
        << ",\"endTime\":" << quoted(formatWallTime(slot.endTime))
        << ",\"recStart\":" << boolText(slot.recStart) << ",\"protect\":" << int{slot.protect}
        << ",\"inCopyA\":" << boolText(slot.inCopyA) << ",\"inCopyB\":" << boolText(slot.inCopyB)
        << ",\"events\":[";
    for (size_t i = 0; i < slot.events.size(); ++i) {
        const ManifestEvent& event = slot.events[i];
        out << (i ? "," : "") << "{\"unit\":" << event.unit
            << ",\"packed\":" << packedHex(event.packed)
            << ",\"time\":" << quoted(formatWallTime(event.time)) << ",\"type\":" << event.type
            << "}";
    }
    out << "]}";
}

void writeUnit(std::ostream& out, const ManifestUnit& unit) {
    out << "{\"unit\":" << unit.unitNo << ",\"slot\":" << unit.slot
        << ",\"indexInBlock\":" << unit.indexInBlock << ",\"offset\":" << unit.fileOffset
        << ",\"recording\":" << unit.recording << ",\"channel\":" << int{unit.channel}
        << ",\"timeUs\":" << unit.timeUs << ",\"packed\":" << packedHex(unit.packed)
        << ",\"time\":" << quoted(formatWallTime(unit.time))
        << ",\"recStart\":" << boolText(unit.recStart) << ",\"protect\":" << boolText(unit.protect)
        << ",\"eventType\":" << unit.eventType << ",\"channelOff\":" << boolText(unit.channelOff)
        << ",\"gCount\":" << int{unit.gCount} << ",\"gps\":" << quoted(unit.gpsText)
        << ",\"badChecksum\":" << boolText(unit.badChecksum) << "}";
}

void writeFrame(std::ostream& out, const ManifestFrame& frame) {
    out << "{\"media\":\"" << (frame.media == FrameMedia::Video ? "video" : "audio")
        << "\",\"recording\":" << frame.recording << ",\"size\":" << frame.size
        << ",\"key\":" << boolText(frame.key) << ",\"timestampUs\":" << frame.timestampUs
        << ",\"hash\":" << hashHex(frame.hash) << ",\"firstUnit\":" << frame.firstUnit
        << ",\"lastUnit\":" << frame.lastUnit << ",\"onCard\":" << boolText(frame.onCard)
        << ",\"intact\":" << boolText(frame.intact) << "}";
}

} // namespace

bool writeManifestJson(const Manifest& manifest, const std::string& path, std::string& error) {
    std::ostringstream out;
    out << "{\n\"kind\":\"" << (manifest.kind == OutputKind::CardImage ? "card" : "sd")
        << "\",\n\"fileSize\":" << manifest.fileSize << ",\n\"diskId\":" << manifest.diskId
        << ",\n\"blockCount\":" << manifest.blockCount
        << ",\n\"zoneHours\":" << int{manifest.zoneHours} << ",\n\"cutOff\":\""
        << cutOffName(manifest.cutOff) << "\",\n\"lastBlockSlot\":";
    if (manifest.lastBlockSlot)
        out << *manifest.lastBlockSlot;
    else
        out << "null";
    out << ",\n\"unitsWritten\":" << manifest.unitsWritten
        << ",\n\"unitsOverwritten\":" << manifest.unitsOverwritten << ",\n\"slots\":[\n";
    for (size_t i = 0; i < manifest.slots.size(); ++i) {
        out << (i ? ",\n" : "");
        writeSlot(out, manifest.slots[i]);
    }
    out << "\n],\n\"units\":[\n";
    for (size_t i = 0; i < manifest.units.size(); ++i) {
        out << (i ? ",\n" : "");
        writeUnit(out, manifest.units[i]);
    }
    out << "\n],\n\"channels\":[\n";
    for (size_t c = 0; c < manifest.channels.size(); ++c) {
        const ManifestChannel& channel = manifest.channels[c];
        out << (c ? ",\n" : "") << "{\"channel\":" << int{channel.channel}
            << ",\"width\":" << channel.width << ",\"height\":" << channel.height
            << ",\"fps\":" << channel.fps << ",\"videoFormat\":" << int{channel.videoFormat}
            << ",\"audio\":" << boolText(channel.audio) << ",\"frames\":[\n";
        for (size_t f = 0; f < channel.frames.size(); ++f) {
            out << (f ? ",\n" : "");
            writeFrame(out, channel.frames[f]);
        }
        out << "\n]}";
    }
    out << "\n]\n}\n";

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << out.str();
    file.close();
    if (!file) {
        error = "cannot write manifest " + path;
        return false;
    }
    return true;
}

} // namespace tavero::sim
