#pragma once
// The value lists of the configuration page, chosen by the settings section "Default", the
// time-zone table and the text-input rule of its edits.
//
// Thread: plain data and functions; the page runs on the UI thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::recorderconfig {

// Keys of section "Default" with the defaults an absent key gives.
inline constexpr std::string_view kDefaultSectionName = "Default";
inline constexpr std::string_view kConfigSectionName = "Config";

struct PageLists {
    std::vector<std::string> videoFormats;
    std::vector<std::string> frontRates; // "Video Frame Rate" when the format index is 0
    std::vector<std::string> rearRates;  // the other format, and the hidden rear list
    std::vector<std::string> carTypes;   // position = car type 0..3
};

// videoFormatSet: "VideoFormat_DfSet"; frontSet: "VideoFrameRateFront_DfSet"; rearSet:
// "VideoFrameRateRear_DfSet"; carModeSet: "CarMode_DfSet".
[[nodiscard]] PageLists BuildPageLists(int videoFormatSet, int frontSet, int rearSet,
                                       int carModeSet);

// "Off", "Heavy", "High", "Normal", "Low", "Light": position = sensitivity level 0..5.
[[nodiscard]] const std::vector<std::string>& GsensorLevelNames();
// "High", "Normal", "Low".
[[nodiscard]] const std::vector<std::string>& VideoQualityNames();
// "00:00" .. "24:00" in 30-minute steps, then "Never Power off" (50 entries).
[[nodiscard]] const std::vector<std::string>& ParkingModeNames();
// "3" .. "30" (7 entries) when the video format index is not 0, else "3" .. "15" (4 entries).
[[nodiscard]] std::vector<std::string> ParkingRateNames(int videoFormatIndex);
// "Light", "Low", "Normal", "High", "Heavy": camera sensitivity index 0..4.
[[nodiscard]] const std::vector<std::string>& CameraSensitivityNames();
// "Km/h", "Mile/h", "Knot".
[[nodiscard]] const std::vector<std::string>& SpeedUnitNames();
// "1920*1080", "1440*800", "1024*576".
[[nodiscard]] const std::vector<std::string>& UiModeNames();

// The decimal number at the start of a frame-rate entry ("25(PAL) / 30(NTSC)" gives 25); 0 when
// it starts with no digit.
[[nodiscard]] std::uint32_t EntryNumber(std::string_view entry);

struct TimeZoneRow {
    std::string_view text;
    int hours = 0;
    int quarters = 0; // quarter-hours, negative west of UTC
    std::int32_t offsetSeconds = 0;
    std::uint32_t code = 0; // recorder zone code; 0 for the computer's own zone (row 0)
};
inline constexpr int kTimeZoneRows = 41;
// The 41 rows; row 0 is the computer's zone, from its standard-time offset east of UTC.
[[nodiscard]] std::vector<TimeZoneRow> BuildTimeZoneTable(std::int32_t localOffsetSeconds);
// The computer's standard-time offset east of UTC in seconds (daylight saving left out).
[[nodiscard]] std::int32_t LocalStandardOffsetSeconds();

// The edits' rule: the text is cut at `maxChars` characters, or earlier at the first byte whose
// value read as a signed 8-bit number is 30 or less (control characters and every byte of
// 0x80 or more, so non-ASCII text).
[[nodiscard]] std::string CutEditText(std::string_view text, std::size_t maxChars);
inline constexpr std::size_t kPlateEditChars = 10;
inline constexpr std::size_t kCarInfoEditChars = 39;

// Plate prefix code: 0x80 + position in this string for the first character (non-Chinese
// interfaces), 0x80 + province index in the Chinese one.
inline constexpr std::string_view kPlateCodeChars = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
inline constexpr std::uint8_t kPlateCodeBase = 0x80;
inline constexpr std::uint8_t kNoProvinceCode = 0x7F;

} // namespace tavero::recorderconfig
