#pragma once
// A sound output that records what the worker does with it. The test keeps the shared state;
// the worker owns the output.

#include "engine/sound_output.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavero::engine::test {

struct FakeOutputState {
    struct Block {
        std::uint32_t offset;
        std::vector<std::uint8_t> bytes;
    };

    std::mutex mutex; // guards everything below
    bool initOk = true;
    bool createOk = true;
    // positions() reports these when set; otherwise it fails (no underrun check).
    bool reportPositions = false;
    std::uint32_t play = 0;
    std::uint32_t deviceWrite = 0;

    std::vector<std::string> log; // "create", "unlock N", "play", "stop", "pos N", "volume V", ...
    std::vector<Block> blocks;    // in the order they were unlocked
    int volume = 0;
    int factoryCalls = 0;

    std::vector<std::string> logCopy() {
        std::lock_guard<std::mutex> lock(mutex);
        return log;
    }
    std::vector<Block> blocksCopy() {
        std::lock_guard<std::mutex> lock(mutex);
        return blocks;
    }
    std::size_t blockCount() {
        std::lock_guard<std::mutex> lock(mutex);
        return blocks.size();
    }
};

class FakeSoundOutput final : public SoundOutput {
public:
    explicit FakeSoundOutput(std::shared_ptr<FakeOutputState> state) : m_state(std::move(state)) {}

    bool Init() override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->initOk;
    }
    bool CreateBuffer() override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->log.emplace_back("create");
        if (m_state->createOk) {
            m_ring.assign(kBufferBytes, 0xEE); // anything left unwritten shows up
        }
        return m_state->createOk;
    }
    void ReleaseBuffer() override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->log.emplace_back("release");
        m_ring.clear();
    }
    bool Lock(std::uint32_t offset, std::uint32_t bytes, Region& region) override {
        if (m_ring.empty() || offset >= kBufferBytes || bytes > kBufferBytes) {
            return false;
        }
        const std::uint32_t first = std::min(bytes, kBufferBytes - offset);
        region = Region{m_ring.data() + offset, first, nullptr, 0};
        if (first < bytes) {
            region.second = m_ring.data();
            region.secondBytes = bytes - first;
        }
        m_lockOffset = offset;
        return true;
    }
    void Unlock(const Region& region) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->log.push_back("unlock " + std::to_string(m_lockOffset));
        m_state->blocks.push_back(
            {m_lockOffset,
             std::vector<std::uint8_t>(region.first, region.first + region.firstBytes)});
    }
    bool positions(std::uint32_t& play, std::uint32_t& write) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        play = m_state->play;
        write = m_state->deviceWrite;
        return m_state->reportPositions;
    }
    bool Play() override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->log.emplace_back("play");
        return true;
    }
    void Stop() override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->log.emplace_back("stop");
    }
    void SetPosition(std::uint32_t play) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->log.push_back("pos " + std::to_string(play));
    }
    void SetVolume(int hundredthsDb) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->volume = hundredthsDb;
        m_state->log.push_back("volume " + std::to_string(hundredthsDb));
    }
    // A notification every couple of milliseconds: the worker runs far faster than real time.
    bool WaitNotification(int /*timeoutMs*/) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return true;
    }
    void SignalNotification() override {}
    std::string error() const override { return "fake output failed"; }

private:
    std::shared_ptr<FakeOutputState> m_state;
    std::vector<std::uint8_t> m_ring; // the worker's thread only
    std::uint32_t m_lockOffset = 0;
};

inline SoundOutputFactory FakeFactory(const std::shared_ptr<FakeOutputState>& state) {
    return [state](int) -> std::unique_ptr<SoundOutput> {
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            ++state->factoryCalls;
        }
        return std::make_unique<FakeSoundOutput>(state);
    };
}

} // namespace tavero::engine::test
