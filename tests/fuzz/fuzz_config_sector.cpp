// Fuzz target: the card's configuration sector read as the configuration page reads it, and
// written back: what is written must be valid and read back to the same image.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "recorderconfig/config_sector.h"

using namespace tavero::recorderconfig;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, kConfigSectorSize> image{};
    std::copy_n(data, std::min(size, image.size()), image.begin());
    (void)ConfigSectorOuterValid(image);
    (void)ConfigSectorRecordValid(image);
    const ConfigSector sector = ParseConfigSector(image);
    (void)FieldText(sector.plate);
    const auto written = SerializeConfigSector(sector);
    if (!ConfigSectorOuterValid(written) || !ConfigSectorRecordValid(written)) {
        __builtin_trap();
    }
    if (SerializeConfigSector(ParseConfigSector(written)) != written) {
        __builtin_trap();
    }
    return 0;
}
