#include "recorderconfig/car_set_files.h"

#include "platform/unique_fd.h"
#include "store/byte_io.h"
#include "store/checksum.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavero::recorderconfig {
namespace {

static_assert(kSettingRecordSize == 104 && kVideoRecordSize == 56 && kCarDataSize == 80);

// The recorder's record checksum: XOR of every word before the last, stored in the last.
template <std::size_t N> void SealRecord(std::array<std::uint8_t, N>& record) {
    static_assert(N % 4 == 0 && N >= 8);
    store::StoreLe32(record.data() + N - 4, store::BlockChecksum(record, N));
}

bool RecordChecksumMatches(std::span<const std::uint8_t> record) {
    return store::LoadLe32(record.data() + record.size() - 4) ==
           store::BlockChecksum(record, record.size());
}

void StoreLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
std::uint16_t LoadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Reads the first `length` bytes of a file; false when it cannot be opened or is shorter.
bool ReadPrefix(const std::string& path, std::span<std::uint8_t> out) {
    const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        return false;
    }
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd.get(), out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Up to `limit` bytes of a file; empty when it cannot be read.
std::vector<std::uint8_t> ReadUpTo(const std::string& path, std::size_t limit) {
    std::vector<std::uint8_t> bytes(limit);
    const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::size_t done = 0;
    while (fd.valid() && done < limit) {
        const ssize_t n = ::read(fd.get(), bytes.data() + done, limit - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

constexpr GsensorTable kGsensorSet1 = {{
    {{{230, 230, 307}, {256, 256, 358}, {307, 307, 410}, {358, 358, 461}, {410, 410, 486}}},
    {{{77, 77, 128}, {102, 102, 154}, {128, 128, 179}, {154, 154, 230}, {179, 179, 256}}},
    {{{77, 77, 128}, {102, 102, 154}, {128, 128, 179}, {154, 154, 230}, {179, 179, 256}}},
    {{{26, 26, 26}, {51, 51, 51}, {77, 77, 77}, {128, 128, 128}, {154, 154, 154}}},
}};
constexpr GsensorTable kGsensorSet2 = {{
    {{{154, 128, 1020}, {179, 128, 1021}, {179, 154, 1022}, {205, 154, 1023}, {205, 179, 1024}}},
    {{{128, 128, 1020}, {154, 154, 1021}, {179, 179, 1022}, {205, 205, 1023}, {230, 230, 1024}}},
    {{{179, 154, 1020}, {205, 154, 1021}, {205, 179, 1022}, {230, 179, 1023}, {256, 205, 1024}}},
    {{{1024, 1024, 1020},
      {1024, 1024, 1021},
      {1024, 1024, 1022},
      {1024, 1024, 1023},
      {1024, 1024, 1024}}},
}};
// Level 0 (Off) still writes thresholds: those of the middle level.
constexpr int kOffThresholdLevel = 3;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// Syncs the folder that holds path, so that the entry of a new or truncated file is written.
bool SyncFolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : path.substr(0, slash);
    const platform::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.valid() && ::fsync(dir.get()) == 0;
}

} // namespace

bool IsRawOnlyRoot(std::string_view cardRoot) {
    if (cardRoot.empty() || cardRoot.starts_with("/dev/")) {
        return true;
    }
    if (cardRoot.back() == '/') {
        return false; // a folder text, even when the folder is gone: its writes fail and say so
    }
    struct stat st {};
    const std::string path(cardRoot);
    return !(::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

std::string CarSetPath(std::string_view cardRoot, std::string_view name) {
    std::string path(cardRoot);
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += kCarSetFolder;
    path += name;
    return path;
}

std::string SecondCopy(std::string_view path) {
    return std::string(path) + "2";
}

bool CreateCarSetFolder(std::string_view cardRoot) {
    std::string folder = CarSetPath(cardRoot, "");
    folder.pop_back();
    if (::mkdir(folder.c_str(), 0777) == 0) {
        // The new folder's entry in the root is on the card before anything is put in it.
        return SyncFolderOf(folder);
    }
    return errno == EEXIST;
}

bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    const platform::UniqueFd fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    // Reported as written only once it is on the card: a card pulled at once, or a late I/O
    // error, must not pass for a save. The folder holds the file's entry and size.
    return ::fsync(fd.get()) == 0 && SyncFolderOf(path);
}

bool CreateEmptyFile(const std::string& path) {
    return WriteWholeFile(path, {});
}

bool WriteSwitchRecord(const std::string& path, std::uint32_t magic, std::uint32_t value,
                       bool lowByteOnly) {
    std::array<std::uint8_t, kSwitchRecordSize> record{};
    store::StoreLe32(record.data(), magic);
    store::StoreLe32(record.data() + 4, lowByteOnly ? value & 0xFFu : value);
    SealRecord(record);
    return WriteWholeFile(path, record);
}

int ReadSwitchRecord(const std::string& path, std::uint32_t magic, int defaultValue,
                     bool lowByteOnly) {
    std::array<std::uint8_t, kSwitchRecordSize> record{};
    if (!ReadPrefix(path, record) || store::LoadLe32(record.data()) != magic ||
        !RecordChecksumMatches(record)) {
        return defaultValue;
    }
    const std::uint32_t value = store::LoadLe32(record.data() + 4);
    return (lowByteOnly ? value & 0xFFu : value) != 0 ? 1 : 0;
}

std::array<std::uint8_t, kSettingRecordSize> SerializeSettingRecord(const ConfigSector& sector) {
    std::array<std::uint8_t, kSettingRecordSize> record{};
    store::ByteWriter w(record);
    w.le32(kSettingRecordMagic);
    w.le32(sector.videoFormat);
    w.le32(sector.frameRate);
    w.le32(sector.videoQuality);
    w.le32(sector.parkFrameRate);
    for (const std::uint32_t word : sector.fixedTable) {
        w.le32(word);
    }
    w.le32(sector.parkMode);
    w.le32(sector.fixedOne);
    w.le32(sector.zoneCode);
    // The file pads the plate with spaces where the sector has NULs.
    PlateField plate;
    plate.fill(' ');
    const std::string text = FieldText(sector.plate);
    std::copy(text.begin(), text.end(), plate.begin());
    w.bytes(plate.data(), plate.size());
    SealRecord(record);
    return record;
}

bool WriteSettingRecord(const std::string& path, const ConfigSector& sector) {
    return WriteWholeFile(path, SerializeSettingRecord(sector));
}

bool ReadSettingRecord(const std::string& path, SettingRecord& out) {
    std::array<std::uint8_t, kSettingRecordSize> record{};
    if (!ReadPrefix(path, record) || store::LoadLe32(record.data()) != kSettingRecordMagic ||
        !RecordChecksumMatches(record)) {
        return false;
    }
    store::ByteReader r(record);
    r.skip(4);
    out.videoFormat = r.le32();
    out.frameRate = r.le32();
    out.videoQuality = r.le32();
    out.parkFrameRate = r.le32();
    for (std::uint32_t& word : out.fixedTable) {
        word = r.le32();
    }
    out.parkMode = r.le32();
    out.fixedOne = r.le32();
    out.zoneCode = r.le32();
    r.bytes(out.plate.data(), out.plate.size());
    return true;
}

const GsensorTable& GsensorParameterTable(int set) {
    return set == 2 ? kGsensorSet2 : kGsensorSet1;
}

int WriteGsensorFiles(std::string_view cardRoot, const GsensorChoice& choice, int parameterSet) {
    const int car = std::clamp(choice.carType, 0, kGsensorCarTypes - 1);
    const int level = std::clamp(choice.level, 0, kGsensorLevels);
    const GsensorThresholds& t = GsensorParameterTable(parameterSet)[static_cast<std::size_t>(
        car)][static_cast<std::size_t>((level == 0 ? kOffThresholdLevel : level) - 1)];
    std::array<std::uint8_t, kSensorRecordSize> thresholds{};
    store::StoreLe32(thresholds.data(), kSensorMagic);
    StoreLe16(thresholds.data() + 4, static_cast<std::uint16_t>(t.x));
    StoreLe16(thresholds.data() + 6, static_cast<std::uint16_t>(t.y));
    StoreLe16(thresholds.data() + 8, static_cast<std::uint16_t>(t.z));
    thresholds[10] = level == 0 ? 0 : 1;
    SealRecord(thresholds);

    std::array<std::uint8_t, kSwitchRecordSize> chosen{};
    store::StoreLe32(chosen.data(), kSensorChoiceMagic);
    StoreLe16(chosen.data() + 4, static_cast<std::uint16_t>(level));
    StoreLe16(chosen.data() + 6, static_cast<std::uint16_t>(car));
    SealRecord(chosen);

    const std::string sensor = CarSetPath(cardRoot, kSensorFile);
    const std::string sensorChoice = CarSetPath(cardRoot, kSensorChoiceFile);
    int failed = 0;
    failed += WriteWholeFile(sensor, thresholds) ? 0 : 1;
    failed += WriteWholeFile(SecondCopy(sensor), thresholds) ? 0 : 1;
    failed += WriteWholeFile(sensorChoice, chosen) ? 0 : 1;
    failed += WriteWholeFile(SecondCopy(sensorChoice), chosen) ? 0 : 1;
    return failed;
}

GsensorChoice ReadGsensorChoice(std::string_view cardRoot, int parameterSet,
                                const GsensorChoice& defaults) {
    GsensorChoice result;
    std::array<std::uint8_t, kSwitchRecordSize> chosen{};
    if (ReadPrefix(CarSetPath(cardRoot, kSensorChoiceFile), chosen) &&
        store::LoadLe32(chosen.data()) == kSensorChoiceMagic) {
        const int car = RecordChecksumMatches(chosen) ? LoadLe16(chosen.data() + 6) : 0;
        result.carType = std::min(car, kGsensorCarTypes - 1);
    }

    std::array<std::uint8_t, kSensorRecordSize> thresholds{};
    if (!ReadPrefix(CarSetPath(cardRoot, kSensorFile), thresholds) ||
        store::LoadLe32(thresholds.data()) != kSensorMagic) {
        return result;
    }
    if (!RecordChecksumMatches(thresholds)) {
        return defaults;
    }
    if (thresholds[10] == 0) {
        result.level = 0;
        return result;
    }
    const auto x = static_cast<std::int16_t>(LoadLe16(thresholds.data() + 4));
    const auto y = static_cast<std::int16_t>(LoadLe16(thresholds.data() + 6));
    const auto z = static_cast<std::int16_t>(LoadLe16(thresholds.data() + 8));
    const auto& rows =
        GsensorParameterTable(parameterSet)[static_cast<std::size_t>(result.carType)];
    for (int n = 0; n < kGsensorLevels; ++n) {
        const GsensorThresholds& row = rows[static_cast<std::size_t>(n)];
        if (row.x == x && row.y == y && row.z == z) {
            result.level = n + 1;
            break;
        }
    }
    return result;
}

std::string CameraScriptText(const CameraTable& table, int index) {
    const int value = table[static_cast<std::size_t>(std::clamp(index, 0, kCameraLevels - 1))];
    return "carcam01\nw 0x14 0x" + std::to_string(value) + "\n";
}

bool WriteCameraScript(const std::string& path, const CameraTable& table, int index) {
    const std::string text = CameraScriptText(table, index);
    return WriteWholeFile(
        path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

int ReadCameraScript(const std::string& path, const CameraTable& table) {
    // The recorder's own reader scans the first 512 bytes with the writing pattern; a white
    // space in the pattern matches any run of white space, also none, and the number may carry
    // a sign and leading white space.
    const std::vector<std::uint8_t> bytes = ReadUpTo(path, 512);
    const std::string text(bytes.begin(), std::find(bytes.begin(), bytes.end(), std::uint8_t{0}));
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    constexpr std::string_view kPattern = "carcam01\nw 0x14 0x";
    std::size_t pos = 0;
    for (const char p : kPattern) {
        if (isSpace(p)) {
            while (pos < text.size() && isSpace(text[pos])) {
                ++pos;
            }
        } else if (pos < text.size() && text[pos] == p) {
            ++pos;
        } else {
            return kNormalSensitivity;
        }
    }
    while (pos < text.size() && isSpace(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') {
        return kNormalSensitivity;
    }
    std::int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = std::min<std::int64_t>(value * 10 + (text[pos] - '0'), INT64_C(1) << 40);
    }
    if (negative) {
        value = -value;
    }
    for (int i = 0; i < kCameraLevels; ++i) {
        if (table[static_cast<std::size_t>(i)] == value) {
            return i;
        }
    }
    return kNormalSensitivity;
}

bool WriteVideoRecord(const std::string& path, std::uint32_t videoFormat, std::uint32_t frameRate,
                      std::uint32_t videoQuality) {
    std::array<std::uint8_t, kVideoRecordSize> record{};
    store::ByteWriter w(record);
    w.le32(kVideoMagic);
    for (const std::uint32_t value : {videoFormat, frameRate, videoQuality}) {
        for (int copy = 0; copy < 4; ++copy) {
            w.le32(value);
        }
    }
    SealRecord(record);
    return WriteWholeFile(path, record);
}

bool WriteCarData(const std::string& path, const CarData& data) {
    std::array<std::uint8_t, kCarDataSize> record{};
    store::StoreLe32(record.data(), kCarDataMagic);
    store::StoreLe32(record.data() + 4, data.platePresent ? 1 : 0);
    store::StoreLe32(record.data() + 8, data.infoPresent ? 1 : 0);
    if (data.platePresent) {
        SetFieldText(std::span(record).subspan(12, kCarDataPlateBytes), data.plate);
    }
    if (data.infoPresent) {
        SetFieldText(std::span(record).subspan(28, kCarDataInfoBytes), data.info);
    }
    SealRecord(record);
    return WriteWholeFile(path, record);
}

bool ClockFieldsValid(const ClockFields& t) {
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
        t.minute > 59 || t.second < 0 || t.second > 59) {
        return false;
    }
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    const int days = kDays[static_cast<std::size_t>(t.month - 1)] + (t.month == 2 && leap ? 1 : 0);
    return t.day <= days;
}

ClockFields ClockInUtc(const ClockFields& local, std::int32_t offsetSeconds) {
    const std::int64_t seconds = DaysFromCivil(local.year, local.month, local.day) * 86400 +
                                 local.hour * 3600 + local.minute * 60 + local.second -
                                 offsetSeconds;
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    ClockFields utc;
    CivilFromDays(days, utc.year, utc.month, utc.day);
    utc.hour = static_cast<int>(rest / 3600);
    utc.minute = static_cast<int>(rest / 60 % 60);
    utc.second = static_cast<int>(rest % 60);
    return utc;
}

bool WriteClockSetting(const std::string& path, const ClockFields& time) {
    if (time.year < 1900 || time.year > 1900 + 255) {
        return false;
    }
    std::array<std::uint8_t, kClockRecordSize> record{};
    constexpr std::string_view kTag = "TAVEROTIME";
    std::copy(kTag.begin(), kTag.end(), record.begin());
    record[10] = static_cast<std::uint8_t>(time.year - 1900);
    record[11] = static_cast<std::uint8_t>(time.month - 1);
    record[12] = static_cast<std::uint8_t>(time.day);
    record[13] = static_cast<std::uint8_t>(time.hour);
    record[14] = static_cast<std::uint8_t>(time.minute);
    record[15] = static_cast<std::uint8_t>(time.second);
    SealRecord(record);
    return WriteWholeFile(path, record);
}

} // namespace tavero::recorderconfig
