#pragma once
// The recorder's configuration sector: 512 bytes at byte 0xA000000 of the card holding the
// recorder's settings (the same fields as "taverosetting.cbs"), the two card users, the time zone
// and the card's disk identifier. The image is held in host order; the on-card form has most
// numbers big-endian and two checksums (an inner one over the setting record, an outer block
// checksum).
//
// Thread: plain functions; the sector image belongs to whoever holds it (the main window, the
// configuration page, the format tool), all on the UI thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tavero::store {
class CStoReader;
}

namespace tavero::recorderconfig {

inline constexpr std::size_t kConfigSectorSize = 512;
inline constexpr std::int64_t kConfigSectorOffset = 0xA000000; // sector 327680 of the card
inline constexpr std::uint32_t kConfigSectorMagic = 0xABABABAB;
inline constexpr std::uint32_t kSettingRecordMagic = 0xABCDAA55;
inline constexpr std::size_t kFixedTableWords = 12;
inline constexpr std::uint32_t kFixedTableValue = 10;
inline constexpr std::size_t kPlateBytes = 20;
inline constexpr std::size_t kUserFieldBytes = 16; // 15 characters and a NUL
inline constexpr std::size_t kUserTextMax = kUserFieldBytes - 1;
inline constexpr std::size_t kPlaybackPasswordBytes = 4;
inline constexpr std::size_t kReservedBytes = 312;
// Default frame rate of a fresh sector, frames per second.
inline constexpr std::uint32_t kDefaultFrameRate = 15;
// zoneSeconds = kZoneSecondsBias + the zone's UTC offset in seconds.
inline constexpr std::int32_t kZoneSecondsBias = 43200;
// "1000" in layoutMark says that zoneSeconds holds a precise offset.
inline constexpr std::array<std::uint8_t, 4> kLayoutMarkCurrent = {'1', '0', '0', '0'};

using UserField = std::array<std::uint8_t, kUserFieldBytes>;
using PlateField = std::array<std::uint8_t, kPlateBytes>;

// The configuration sector in host order. Field names follow the recorder's vocabulary.
struct ConfigSector {
    std::uint32_t magic = 0;
    std::uint32_t recordMagic = 0;   // 0 when the inner setting record was discarded
    std::uint32_t videoFormat = 0;   // index into the page's video format list
    std::uint32_t frameRate = 0;     // front camera, frames per second
    std::uint32_t videoQuality = 0;  // 0 High, 1 Normal, 2 Low
    std::uint32_t parkFrameRate = 0; // frames per second while parked
    std::array<std::uint32_t, kFixedTableWords> fixedTable{};
    std::uint32_t parkMode = 0; // index into the parking power-off list
    std::uint32_t fixedOne = 0;
    std::uint32_t zoneCode = 0; // recorder time-zone code, see ZoneCodeForHours
    PlateField plate{};         // zero-padded here; the first byte may be a prefix code
    UserField user1Name{};
    UserField user2Name{};
    UserField user1Password{};
    UserField user2Password{};
    std::uint32_t blockZoneCode = 0;
    std::uint32_t speedUnit = 0; // 0 km/h, 1 mile/h, 2 knot
    std::array<std::uint8_t, 4> layoutMark{};
    std::uint32_t zoneSeconds = 0; // kZoneSecondsBias + UTC offset; valid with layoutMark "1000"
    std::array<std::uint8_t, kPlaybackPasswordBytes> playbackPassword{}; // digits or 0 bytes
    std::array<std::uint8_t, kReservedBytes> reserved{}; // kept as found on the card
    std::uint32_t diskId = 0;

    friend bool operator==(const ConfigSector&, const ConfigSector&) = default;
};

// The default sector: zeros, the magic, frame rate 15, the fixed table and the disk identifier.
void MakeDefaultConfigSector(ConfigSector& out, std::uint32_t diskId);

// On-card image with the magic, the record magic and both checksums stamped. The sector itself
// is not changed.
[[nodiscard]] std::array<std::uint8_t, kConfigSectorSize>
SerializeConfigSector(const ConfigSector& sector);
// Host-order fields of an on-card image, with no validation (see ReadConfigSector for that).
[[nodiscard]] ConfigSector
ParseConfigSector(std::span<const std::uint8_t, kConfigSectorSize> image);
// Magic and outer block checksum of an on-card image.
[[nodiscard]] bool ConfigSectorOuterValid(std::span<const std::uint8_t, kConfigSectorSize> image);
// The inner checksum at offset 104 over the 25 words of the setting record.
[[nodiscard]] bool ConfigSectorRecordValid(std::span<const std::uint8_t, kConfigSectorSize> image);

// Reads the sector of drive `drive` (opened read-only) and checks it against the card's disk
// information. False when the disk information or the sector cannot be read, the magic or the
// outer checksum is wrong, or the sector belongs to another card; `out` is then the default sector
// bearing the card's disk identifier, so it is always usable. A wrong inner checksum alone only
// discards the setting record (zeroed), keeping users and zone fields. error (optional) says why
// the read reported invalid.
[[nodiscard]] bool ReadConfigSector(int drive, ConfigSector& out, std::string* error = nullptr);
// The same on a drive or card image the caller has open.
[[nodiscard]] bool ReadConfigSector(store::CStoReader& drive, ConfigSector& out,
                                    std::string* error = nullptr);

// Writes the sector to drive `drive` (opened read/write; never created). Stamps the magic and the
// record magic into `sector`, as the recorder's image always carries them; the other fields stay
// as given, and syncs the card. False on any failed open, seek, write or sync, with the reason
// in error (optional).
[[nodiscard]] bool WriteConfigSector(int drive, ConfigSector& sector, std::string* error = nullptr);
[[nodiscard]] bool WriteConfigSector(store::CStoReader& drive, ConfigSector& sector,
                                     std::string* error = nullptr);

// Recorder time-zone code for a UTC offset of `hours` whole hours: 0 gives 1, -1..-12 give
// 2..13, 1..12 give 14..25, above 12 gives 25. Code 0 (the computer's own zone) is not produced
// here. Below -12 is not a zone; it gives 13, the westmost code.
[[nodiscard]] std::uint32_t ZoneCodeForHours(int hours);
// The whole-hour offset a code stands for, for sectors without a precise zoneSeconds; code 0
// and codes above 25 give 0.
[[nodiscard]] int ZoneHoursForCode(std::uint32_t code);

// Text of a NUL-padded field: the bytes up to the first NUL.
[[nodiscard]] std::string FieldText(std::span<const std::uint8_t> field);
// Stores at most field.size() - 1 bytes of text, NUL-padded (plate: at most field.size()).
void SetFieldText(std::span<std::uint8_t> field, std::string_view text, bool keepTerminator = true);

} // namespace tavero::recorderconfig
