// Fuzz target: the RMC sentence decoder on arbitrary text, as a unit trailer's GPS field or a
// track file carries it.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "store/metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tavero::store::GpsFix fix;
    if (tavero::store::ParseRmc(text, fix)) {
        // A decoded position is a place on the earth.
        if (!(std::fabs(fix.latitude) <= 90.0) || !(std::fabs(fix.longitude) <= 180.0)) {
            __builtin_trap();
        }
    }
    double lat = 0;
    double lng = 0;
    (void)tavero::store::ParseRmc(text, &lat, &lng, nullptr, nullptr);
    return 0;
}
