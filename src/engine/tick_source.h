#pragma once
// Millisecond ticks for pacing and the cross-channel clock. Injected so that tests drive time
// themselves; the engine never reads a clock behind the back of its tick source.

#include <atomic>
#include <cstdint>

namespace tavero::engine {

class TickSource {
public:
    TickSource() = default;
    TickSource(const TickSource&) = delete;
    TickSource& operator=(const TickSource&) = delete;
    virtual ~TickSource();

    // Milliseconds on a clock that never goes back; the origin is arbitrary. Any thread.
    [[nodiscard]] virtual std::int64_t nowMs() const = 0;
};

// CLOCK_MONOTONIC in milliseconds. Stateless, so one instance serves every thread.
class MonotonicTickSource final : public TickSource {
public:
    [[nodiscard]] std::int64_t nowMs() const override;
};

// The process-wide real tick source, used where a caller passes none.
[[nodiscard]] const TickSource& SystemTicks();

// Time that moves only when told to. Any thread may read or move it.
class FakeTickSource final : public TickSource {
public:
    explicit FakeTickSource(std::int64_t startMs = 0) : m_nowMs(startMs) {}

    [[nodiscard]] std::int64_t nowMs() const override { return m_nowMs.load(); }
    void set(std::int64_t ms) { m_nowMs.store(ms); }
    void advance(std::int64_t ms) { m_nowMs.fetch_add(ms); }

private:
    std::atomic<std::int64_t> m_nowMs;
};

} // namespace tavero::engine
