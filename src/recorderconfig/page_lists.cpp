#include "recorderconfig/page_lists.h"

#include "recorderconfig/config_sector.h"

#include <array>
#include <ctime>

namespace tavero::recorderconfig {
namespace {

struct ZoneText {
    std::string_view text;
    int hours;
    int quarters;
};

constexpr std::array<ZoneText, kTimeZoneRows> kZones = {{
    {"Local System TimeZone", 0, 0},
    {"+00:00 GMT Greenwich Mean Time", 0, 0},
    {"+01:00 CET Central European Time", 1, 0},
    {"+02:00 EET Eastern European Time", 2, 0},
    {"+03:00 EAT East Africa Time", 3, 0},
    {"+03:30 IRST Iran Standard Time", 3, 2},
    {"+04:00 AST Arabian Standard Time", 4, 0},
    {"+04:30 AFT Afghanistan Time", 4, 2},
    {"+05:00 AMST Armenia Summer Time", 5, 0},
    {"+05:30 IST Indian Standard Time", 5, 2},
    {"+05:45 NPT Nepal Time", 5, 3},
    {"+06:00 BST Bangladesh Standard Time", 6, 0},
    {"+06:30 MST Myanmar Standard Time", 6, 2},
    {"+07:00 CXT Christmas Island Time", 7, 0},
    {"+08:00 CST China Standard Time", 8, 0},
    {"+09:00 JST Japan Standard Time", 9, 0},
    {"+09:30 ACST Australian Central Standard Time", 9, 2},
    {"+10:00 AEST Australian Eastern Standard Time", 10, 0},
    {"+10:30 ACDT Australian Central Daylight Time", 10, 2},
    {"+11:00 AEDT Australian Eastern Daylight Time", 11, 0},
    {"+11:30 NFT Norfolk Time", 11, 2},
    {"+12:00 FJT Fiji Time", 12, 0},
    {"+12:45 CHAST Chatham Standard Time", 12, 3},
    {"+13:00 PHOT Phoenix Island Time", 13, 0},
    {"+14:00 LINT Line Islands Time", 14, 0},
    {"-01:00 CVT Cape Verde Time", -1, 0},
    {"-02:00 GST South Georgia and the South Sandwich Islands", -2, 0},
    {"-02:30 NDT Newfoundland Daylight Time", -2, -2},
    {"-03:00 ART Argentina Time", -3, 0},
    {"-03:30 NST Newfoundland Standard Time", -3, -2},
    {"-04:00 AST Atlantic Standard Time", -4, 0},
    {"-04:30 VET Venezuelan Standard Time", -4, -2},
    {"-05:00 EST Eastern Standard Time (North America)", -5, 0},
    {"-06:00 CST Central Standard Time (North America)", -6, 0},
    {"-07:00 MST Mountain Standard Time (North America)", -7, 0},
    {"-08:00 PST Pacific Standard Time (North America)", -8, 0},
    {"-09:00 AKST Alaska Standard Time", -9, 0},
    {"-09:30 MIT Marquesas Islands Time", -9, -2},
    {"-10:00 HST Hawaii Standard Time", -10, 0},
    {"-11:00 SST Samoa Standard Time", -11, 0},
    {"-12:00 BIT Baker Island Time", -12, 0},
}};

} // namespace

PageLists BuildPageLists(int videoFormatSet, int frontSet, int rearSet, int carModeSet) {
    PageLists lists;
    switch (videoFormatSet) {
    case 1:
        lists.videoFormats = {"720P", "D1"};
        break;
    case 3:
        lists.videoFormats = {"720P", "VGA"};
        break;
    default:
        lists.videoFormats = {"D1", "CIF"};
        break;
    }
    switch (frontSet) {
    case 2:
        lists.frontRates = {"5", "10", "15", "20", "30"};
        break;
    case 3:
        lists.frontRates = {"5", "10", "15"};
        break;
    case 4:
        lists.frontRates = {"10", "15", "25(PAL) / 30(NTSC)"};
        break;
    case 5:
        lists.frontRates = {"5", "10", "15", "20", "25(PAL) / 30(NTSC)"};
        break;
    case 6:
        lists.frontRates = {"5", "10", "15", "20", "25", "30"};
        break;
    default:
        lists.frontRates = {"15", "30"};
        break;
    }
    if (rearSet == 1) {
        lists.rearRates = {"5", "10", "15"};
    } else {
        lists.rearRates = {"5", "10", "15", "20", "25", "30"};
    }
    switch (carModeSet) {
    case 1:
        lists.carTypes = {"Car", "Truck"};
        break;
    case 3:
        lists.carTypes = {"Truck", "Motorcycle", "Special"};
        break;
    default:
        lists.carTypes = {"Car", "Truck", "Motorcycle", "Alarm"};
        break;
    }
    return lists;
}

const std::vector<std::string>& GsensorLevelNames() {
    static const std::vector<std::string> names = {"Off",    "Heavy", "High",
                                                   "Normal", "Low",   "Light"};
    return names;
}

const std::vector<std::string>& VideoQualityNames() {
    static const std::vector<std::string> names = {"High", "Normal", "Low"};
    return names;
}

const std::vector<std::string>& ParkingModeNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (int halfHours = 0; halfHours <= 48; ++halfHours) {
            const int h = halfHours / 2;
            list.push_back((h < 10 ? "0" : "") + std::to_string(h) +
                           (halfHours % 2 != 0 ? ":30" : ":00"));
        }
        list.emplace_back("Never Power off");
        return list;
    }();
    return names;
}

std::vector<std::string> ParkingRateNames(int videoFormatIndex) {
    if (videoFormatIndex == 0) {
        return {"3", "5", "10", "15"};
    }
    return {"3", "5", "10", "15", "20", "25", "30"};
}

const std::vector<std::string>& CameraSensitivityNames() {
    static const std::vector<std::string> names = {"Light", "Low", "Normal", "High", "Heavy"};
    return names;
}

const std::vector<std::string>& SpeedUnitNames() {
    static const std::vector<std::string> names = {"Km/h", "Mile/h", "Knot"};
    return names;
}

const std::vector<std::string>& UiModeNames() {
    static const std::vector<std::string> names = {"1920*1080", "1440*800", "1024*576"};
    return names;
}

std::uint32_t EntryNumber(std::string_view entry) {
    std::uint32_t n = 0;
    for (const char c : entry) {
        if (c < '0' || c > '9' || n > 100000) {
            break;
        }
        n = n * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return n;
}

std::vector<TimeZoneRow> BuildTimeZoneTable(std::int32_t localOffsetSeconds) {
    std::vector<TimeZoneRow> rows;
    rows.reserve(kZones.size());
    for (const ZoneText& z : kZones) {
        TimeZoneRow row;
        row.text = z.text;
        row.hours = z.hours;
        row.quarters = z.quarters;
        row.code = ZoneCodeForHours(z.hours);
        rows.push_back(row);
    }
    // Truncating division, as the recorder's zone codes know whole hours only.
    rows[0].hours = localOffsetSeconds / 3600;
    rows[0].quarters = (localOffsetSeconds % 3600) / 900;
    rows[0].code = 0;
    for (TimeZoneRow& row : rows) {
        row.offsetSeconds = row.hours * 3600 + row.quarters * 900;
    }
    return rows;
}

std::int32_t LocalStandardOffsetSeconds() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) {
        return 0;
    }
    const long dst = local.tm_isdst > 0 ? 3600 : 0;
    return static_cast<std::int32_t>(local.tm_gmtoff - dst);
}

std::string CutEditText(std::string_view text, std::size_t maxChars) {
    std::size_t n = 0;
    while (n < text.size() && n<maxChars&& static_cast<signed char>(text[n])> 30) {
        ++n;
    }
    return std::string(text.substr(0, n));
}

} // namespace tavero::recorderconfig
