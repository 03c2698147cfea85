// Fuzz target: the GPS offset grid "offset_min.bin" read from arbitrary bytes, and looked up at
// positions taken from the input, from the grid's own rows and around them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "app/gps_offset.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavero::app::GpsOffsetTable table;
    if (!table.Parse(std::span(data, size))) {
        if (!table.empty() || table.Lookup(0, 0)) {
            __builtin_trap(); // a refused file leaves nothing behind
        }
        return 0;
    }
    double probe[2] = {0, 0};
    std::memcpy(probe, data + 8, std::min<std::size_t>(size - 8, sizeof probe));
    for (const double lng : {probe[0], probe[1], 0.0, 116.4, -73.9, 1e308, -1e308}) {
        for (const double lat : {probe[1], probe[0], 0.0, 39.9, 40.7, 1e-308}) {
            (void)table.Lookup(lng, lat);
        }
    }
    return 0;
}
