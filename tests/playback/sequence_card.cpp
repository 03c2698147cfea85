#include "sequence_card.h"

#include "card_fixture.h"
#include "store/packed_time.h"

#include <filesystem>
#include <fstream>

namespace tavero::testing {
namespace {

constexpr std::int64_t kIndexA = 0x6000000;
constexpr std::int64_t kIndexB = 0x8000000;

// Gives the index record in `slot` the start time of the record in `nextSlot` as its end time,
// in both copies, as a recorder does that closes a block with the time it opens the next.
bool CloseWithNextStart(const std::string& image, std::uint32_t slot, std::uint32_t nextSlot) {
    std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
    for (const std::int64_t base : {kIndexA, kIndexB}) {
        Bytes512 record{};
        Bytes512 next{};
        f.seekg(base + std::int64_t{slot} * 512);
        f.read(reinterpret_cast<char*>(record.data()), 512);
        f.seekg(base + std::int64_t{nextSlot} * 512);
        f.read(reinterpret_cast<char*>(next.data()), 512);
        std::copy(next.begin() + 204, next.begin() + 210, record.begin() + 220); // endTime
        Seal(record);
        f.seekp(base + std::int64_t{slot} * 512);
        f.write(reinterpret_cast<const char*>(record.data()), 512);
    }
    return static_cast<bool>(f);
}

std::int64_t Seconds(const sim::WallTime& t) {
    store::PackedTime p;
    p.bytes = {static_cast<std::uint8_t>(t.year - 1800), static_cast<std::uint8_t>(t.month),
               static_cast<std::uint8_t>(t.day),         static_cast<std::uint8_t>(t.hour),
               static_cast<std::uint8_t>(t.minute),      static_cast<std::uint8_t>(t.second)};
    return store::PackedTimeToSeconds(p);
}

} // namespace

bool MakeSequenceCard(const std::string& path, int secondsPerRecording, SequenceCard& card,
                      std::string& error) {
    sim::CardSpec plan;
    plan.outPath = path;
    plan.blockCount = 8;
    sim::ChannelSpec c0;
    c0.channel = 0;
    c0.width = 160;
    c0.height = 96;
    c0.fps = 10;
    c0.gop = 5;
    c0.audio.kind = sim::AudioKind::Tone;
    sim::ChannelSpec c1 = c0;
    c1.channel = 1;
    c1.width = 96;
    c1.height = 64;
    c1.gop = 5;
    c1.audio.kind = sim::AudioKind::None;
    const auto bStream = std::filesystem::path(TAVERO_CORPUS_DIR) / "h264" /
                         "Cisco_Men_whisper_640x320_CABAC_Bframe_9.264";
    if (std::filesystem::exists(bStream)) {
        c1.source = sim::VideoSource::File;
        c1.filePath = bStream.string();
        c1.fps = 15;
        card.bFrames = true;
    }
    plan.channels = {c0, c1};
    const sim::WallTime starts[3] = {
        {2024, 5, 1, 8, 0, 0}, {2024, 5, 1, 8, 0, 40}, {2024, 5, 1, 8, 2, 0}};
    for (const auto& s : starts) {
        plan.recordings.push_back({s, static_cast<std::uint32_t>(secondsPerRecording)});
    }
    // Off from 5 s to 8 s into the first recording.
    plan.hard.channelOff = {{1, 5.0, 8.0}};
    if (!sim::writeCard(plan, card.manifest, error)) {
        return false;
    }
    // The last block of the first recording, and the first of the second.
    const sim::ManifestSlot* last = nullptr;
    const sim::ManifestSlot* next = nullptr;
    for (const sim::ManifestSlot& slot : card.manifest.slots) {
        const std::int64_t t = Seconds(slot.startTime);
        if (t < Seconds(starts[1]) && (last == nullptr || t > Seconds(last->startTime))) {
            last = &slot;
        }
        if (t == Seconds(starts[1])) {
            next = &slot;
        }
    }
    if (last == nullptr || next == nullptr || !CloseWithNextStart(path, last->slot, next->slot)) {
        error = "cannot patch the index of " + path;
        return false;
    }
    card.image = path;
    for (int r = 0; r < 3; ++r) {
        card.start[r] = Seconds(starts[r]);
        card.end[r] = card.start[r] + secondsPerRecording - 1;
    }
    card.offFrom = card.start[0] + 5;
    card.offTo = card.start[0] + 8;
    return true;
}

} // namespace tavero::testing
