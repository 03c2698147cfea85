// A player that records the commands it gets, with recordings made up by the test, for checking
// what the window's rules send to the engine.
//
// Thread: the test's thread.
#pragma once

#include "app/player_commands.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace tavero::test {

struct FakeRecording {
    std::int64_t start = 0;
    std::int64_t end = 0;
    int eventCode = store::kEventCodeRecordStart;
};

class FakePlayer final : public app::PlayerCommands {
public:
    // Replaces the recordings of the "opened" source.
    void setRecordings(const std::vector<FakeRecording>& recordings) {
        m_recordings = recordings;
        m_records.clear();
        for (std::size_t i = 0; i < recordings.size(); ++i) {
            m_records.emplace_back();
            m_records.back().slot = static_cast<std::uint32_t>(i);
        }
    }
    store::IndexRecord* record(int i) { return &m_records.at(static_cast<std::size_t>(i)); }

    void Open(const std::string& path) override {
        log.push_back("Open " + path);
        path_ = path;
        playing = false;
    }
    void Close() override {
        log.push_back("Close");
        playing = false;
        current = nullptr;
    }
    store::IndexRecord* LoadIndex() override {
        ++loadCount;
        return loadFails || m_records.empty() ? nullptr : &m_records.front();
    }
    std::string LoadError() override { return loadFails ? "damaged index" : std::string(); }
    store::RecordingEntry BuildEntry(store::IndexRecord* first, std::int32_t number) override {
        store::RecordingEntry e;
        e.number = number;
        e.firstRecord = first;
        const std::size_t i = first->slot;
        e.start = m_recordings[i].start;
        e.end = m_recordings[i].end;
        e.eventCode = m_recordings[i].eventCode;
        e.next = i + 1 < m_records.size() ? &m_records[i + 1] : nullptr;
        return e;
    }
    store::IndexRecord* CurrentEntry() override { return current; }
    bool Play(store::IndexRecord* entry, int parameter) override {
        log.push_back("Play " + std::to_string(entry == nullptr ? -1 : int(entry->slot)) + " " +
                      std::to_string(parameter));
        if (!playOk) {
            return false;
        }
        playing = true;
        current = entry;
        return true;
    }
    void Pause(int paused) override { log.push_back("Pause " + std::to_string(paused)); }
    void SetSpeed(double value) override {
        char text[40];
        std::snprintf(text, sizeof text, "SetSpeed %g", value);
        log.push_back(text);
        speed = value;
    }
    void Seek(std::int32_t seconds) override {
        log.push_back("Seek " + std::to_string(seconds));
        time = static_cast<std::uint32_t>(seconds);
    }
    void SetVolume(int volume, int channel) override {
        volumes.at(static_cast<std::size_t>(channel)) = volume;
        ++volumeCalls;
    }
    std::uint32_t GetTime(int) override { return time; }
    void Tick(int step) override { log.push_back("Tick " + std::to_string(step)); }
    std::uint32_t GetLastTime(int) override { return lastTime; }
    std::uint8_t IsChannelIdle(int channel) override {
        return idle.at(static_cast<std::size_t>(channel));
    }
    std::uint32_t GetVideoWidth(int) override { return 1280; }
    std::uint32_t GetVideoHeight(int) override { return 720; }
    std::string GetPath() override { return path_; }
    bool GetUnitTrailer(std::uint8_t* trailer512) override {
        if (!trailerOk) {
            return false;
        }
        std::copy(trailer.begin(), trailer.end(), trailer512);
        return true;
    }

    // Drops what was logged so far.
    void clearLog() { log.clear(); }

    std::vector<std::string> log;
    bool playOk = true;
    bool loadFails = false;
    bool playing = false;
    int loadCount = 0;
    double speed = 1.0;
    std::uint32_t time = 0;
    std::uint32_t lastTime = 0;
    std::array<int, app::kChannelCount> volumes{};
    int volumeCalls = 0;
    std::array<std::uint8_t, app::kChannelCount> idle{1, 1, 1, 1, 1, 1, 1, 1};
    std::array<std::uint8_t, 512> trailer{};
    bool trailerOk = false;
    store::IndexRecord* current = nullptr;
    std::string path_;

private:
    std::vector<FakeRecording> m_recordings;
    std::deque<store::IndexRecord> m_records; // stable addresses
};

} // namespace tavero::test
