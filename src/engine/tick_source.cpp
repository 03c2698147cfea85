#include "engine/tick_source.h"

#include <time.h>

namespace tavero::engine {

TickSource::~TickSource() = default;

std::int64_t MonotonicTickSource::nowMs() const {
    timespec ts{};
    // CLOCK_MONOTONIC cannot fail with a valid timespec pointer.
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

const TickSource& SystemTicks() {
    static const MonotonicTickSource ticks;
    return ticks;
}

} // namespace tavero::engine
