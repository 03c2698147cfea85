#pragma once
// The recorder's configuration files in "car_set/" on the card's FAT partition. Fixed records are
// little-endian 32-bit words: a magic first, the payload, and the XOR of all preceding words last.
// A record is valid only when the file holds at least its length, the magic and the checksum
// match; bytes beyond the length are ignored.
//
// Writes follow the recorder's rule: create or truncate, one write of the whole record, close.
// A file that cannot be written is skipped by the save (the write functions report it so a caller
// can tell the user which ones); reads of missing or damaged files give the documented defaults.
//
// Thread: plain functions, used on the UI thread.

#include "recorderconfig/config_sector.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tavero::recorderconfig {

inline constexpr std::string_view kCarSetFolder = "car_set/";

inline constexpr std::string_view kSettingFile = "taverosetting.cbs";
inline constexpr std::string_view kSensorFile = "sensor.gse";
inline constexpr std::string_view kSensorChoiceFile = "sensor2.gse";
inline constexpr std::string_view kFrontCameraFile = "camera1.cfg";
inline constexpr std::string_view kFrontCameraAFile = "camera1A.cfg";
inline constexpr std::string_view kRearCameraFile = "camera2.cfg";
inline constexpr std::string_view kVideoFile = "video.vcf";
inline constexpr std::string_view kRearCamSwitchFile = "rearcam.rcf";
inline constexpr std::string_view kCarDataFile = "cardata.cdf";
inline constexpr std::string_view kAudioSwitchFile = "recaudio.acf";
inline constexpr std::string_view kDstSwitchFile = "User_DST.dst";
inline constexpr std::string_view kClockFile = "cartime.cts";
inline constexpr std::string_view kVideoNormFile = "videonorm.vfg";
inline constexpr std::string_view kRecModeFile = "rec_mode.cfg";
inline constexpr std::string_view kCorrectGFile = "correct_g.cfg";

inline constexpr std::uint32_t kSensorMagic = 0xD8AA55D9;
inline constexpr std::uint32_t kSensorChoiceMagic = 0xD8AA55F0;
inline constexpr std::uint32_t kVideoMagic = 0x115533AB;
inline constexpr std::uint32_t kRearCamMagic = 0x77BB88CC;
inline constexpr std::uint32_t kCarDataMagic = 0x45789436;
inline constexpr std::uint32_t kAudioMagic = 0x115533AA;
inline constexpr std::uint32_t kDstMagic = 0xDD4455DD;
inline constexpr std::uint32_t kVideoNormMagic = 0x21BA54AB;
inline constexpr std::uint32_t kRecModeMagic = 0x08130922;

inline constexpr std::size_t kSettingRecordSize = 104;
inline constexpr std::size_t kSensorRecordSize = 20;
inline constexpr std::size_t kSwitchRecordSize = 12;
inline constexpr std::size_t kVideoRecordSize = 56;
inline constexpr std::size_t kCarDataSize = 80;
inline constexpr std::size_t kClockRecordSize = 20;
inline constexpr std::size_t kCarDataPlateBytes = 16; // NUL-terminated
inline constexpr std::size_t kCarDataInfoBytes = 48;  // NUL-terminated

// A card that is reachable only raw: no root at all, a device path ("/dev/..."), or any other
// text that is not a folder (a whole-card image file, a path that does not exist). Only the
// configuration sector is read or written there, never a file. A text ending in "/" is a folder
// text. The card tools use the same rule for their device texts.
[[nodiscard]] bool IsRawOnlyRoot(std::string_view cardRoot);
// cardRoot + "car_set/" + name; a root without its trailing "/" gets one.
[[nodiscard]] std::string CarSetPath(std::string_view cardRoot, std::string_view name);
// The same name with "2" appended: the second copy the recorder falls back on.
[[nodiscard]] std::string SecondCopy(std::string_view path);
// Creates cardRoot + "car_set/" (an existing folder is fine); a new one is synced into the root.
[[nodiscard]] bool CreateCarSetFolder(std::string_view cardRoot);

// Create-or-truncate and one write, then the file and its folder synced. False when the file
// could not be created, fully written or synced.
[[nodiscard]] bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);
[[nodiscard]] bool CreateEmptyFile(const std::string& path);

// 12-byte switch records ("rearcam.rcf", "recaudio.acf", "User_DST.dst", "videonorm.vfg",
// "rec_mode.cfg"). lowByteOnly: only the value's low byte is written and read (audio, norm).
[[nodiscard]] bool WriteSwitchRecord(const std::string& path, std::uint32_t magic,
                                     std::uint32_t value, bool lowByteOnly = false);
// 0 or 1: the default when the record is not valid, else (value != 0).
[[nodiscard]] int ReadSwitchRecord(const std::string& path, std::uint32_t magic, int defaultValue,
                                   bool lowByteOnly = false);

// "taverosetting.cbs": the setting fields of the sector, little-endian, the plate padded with
// spaces instead of NULs.
struct SettingRecord {
    std::uint32_t videoFormat = 0;
    std::uint32_t frameRate = 0;
    std::uint32_t videoQuality = 0;
    std::uint32_t parkFrameRate = 0;
    std::array<std::uint32_t, kFixedTableWords> fixedTable{};
    std::uint32_t parkMode = 0;
    std::uint32_t fixedOne = 0;
    std::uint32_t zoneCode = 0;
    PlateField plate{};
};
[[nodiscard]] std::array<std::uint8_t, kSettingRecordSize>
SerializeSettingRecord(const ConfigSector& sector);
[[nodiscard]] bool WriteSettingRecord(const std::string& path, const ConfigSector& sector);
// False (and `out` untouched) unless the record is valid.
[[nodiscard]] bool ReadSettingRecord(const std::string& path, SettingRecord& out);

// G-sensor thresholds in the recorder's units, per car type (0..3) and level (1..5).
struct GsensorThresholds {
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::int16_t z = 0;
};
inline constexpr int kGsensorCarTypes = 4;
inline constexpr int kGsensorLevels = 5; // 1..5; level 0 is Off
using GsensorTable = std::array<std::array<GsensorThresholds, kGsensorLevels>, kGsensorCarTypes>;
// Parameter set 1 or 2 ("GsensorParameterArray_DfSet"); any other value gives set 1.
[[nodiscard]] const GsensorTable& GsensorParameterTable(int set);

struct GsensorChoice {
    int carType = 0; // 0..3
    int level = 0;   // 0 Off, 1..5
};
// Writes "sensor.gse", "sensor.gse2", "sensor2.gse", "sensor2.gse2" in this order. Level 0
// writes the thresholds of level 3 with the sensor disabled. Returns how many files failed.
int WriteGsensorFiles(std::string_view cardRoot, const GsensorChoice& choice, int parameterSet);
// What the card's G-sensor files say, falling back as the recorder's files require: a damaged
// "sensor.gse" (right magic, wrong checksum) gives the defaults outright.
[[nodiscard]] GsensorChoice ReadGsensorChoice(std::string_view cardRoot, int parameterSet,
                                              const GsensorChoice& defaults);

// Camera register value per sensitivity index (0 Light, 1 Low, 2 Normal, 3 High, 4 Heavy).
inline constexpr int kCameraLevels = 5;
using CameraTable = std::array<std::int32_t, kCameraLevels>;
inline constexpr CameraTable kDefaultCameraTable = {1, 11, 21, 31, 41};
inline constexpr int kNormalSensitivity = 2;
// "carcam01\nw 0x14 0x%d\n" with the table's value for `index` (no terminating NUL).
[[nodiscard]] std::string CameraScriptText(const CameraTable& table, int index);
[[nodiscard]] bool WriteCameraScript(const std::string& path, const CameraTable& table, int index);
// The sensitivity index whose value the script names; 2 (Normal) when the file is missing, does
// not match the pattern, or names a value that is not in the table.
[[nodiscard]] int ReadCameraScript(const std::string& path, const CameraTable& table);

// "video.vcf": format, frame rate (frames per second) and quality, each four times.
[[nodiscard]] bool WriteVideoRecord(const std::string& path, std::uint32_t videoFormat,
                                    std::uint32_t frameRate, std::uint32_t videoQuality);

// "cardata.cdf". Texts longer than their fields are cut to keep the terminating NUL.
struct CarData {
    bool platePresent = false;
    std::string plate; // as typed, without the prefix code
    bool infoPresent = false;
    std::string info;
};
[[nodiscard]] bool WriteCarData(const std::string& path, const CarData& data);

// A calendar date and time of day; months 1..12.
struct ClockFields {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
// True when the fields name a moment that exists: a month 1..12, a day the month has (29
// February in leap years only), hours 0..23, minutes and seconds 0..59.
[[nodiscard]] bool ClockFieldsValid(const ClockFields& time);
// The wall-clock time `local` of a zone `offsetSeconds` east of UTC, expressed in UTC.
[[nodiscard]] ClockFields ClockInUtc(const ClockFields& local, std::int32_t offsetSeconds);
// "cartime.cts": "TAVEROTIME", year - 1900, month - 1, day, hour, minute, second, checksum.
// Years outside 1900..2155 do not fit the record; such a write fails without touching the file.
[[nodiscard]] bool WriteClockSetting(const std::string& path, const ClockFields& time);

} // namespace tavero::recorderconfig
