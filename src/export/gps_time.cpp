#include "export/gps_time.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace tavero::exporter {
namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kSecondsPerDay = 86400;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

bool ValidDate(int year, int month, int day) {
    return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

// Digits only; false on an empty field or any other character.
bool Digits(std::string_view field, int& value) {
    if (field.empty()) {
        return false;
    }
    value = 0;
    for (const char c : field) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

// Field `wanted` (1-based after the sentence name) of the sentence starting at `start`, up to
// the checksum marker or the end of the text.
bool RmcField(std::string_view text, int wanted, std::string_view& out) {
    std::size_t start = text.find("$GPRMC");
    if (start == std::string_view::npos) {
        start = text.find("$GNRMC");
    }
    if (start == std::string_view::npos) {
        return false;
    }
    std::string_view sentence = text.substr(start);
    sentence = sentence.substr(0, sentence.find('*'));
    std::size_t comma = sentence.find(',');
    for (int field = 1; comma != std::string_view::npos; ++field) {
        const std::size_t next = sentence.find(',', comma + 1);
        if (field == wanted) {
            out = sentence.substr(comma + 1, next == std::string_view::npos ? std::string_view::npos
                                                                            : next - comma - 1);
            return true;
        }
        comma = next;
    }
    return false;
}

} // namespace

std::int64_t DaysFromCivil(int year, int month, int day) {
    // Counts from 1 March so the leap day falls at the end of the counted year.
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool PackedTimeAsUtc(const store::PackedTime& t, std::int64_t& seconds) {
    if (!ValidDate(t.year(), t.month(), t.day()) || t.hour() > 23 || t.minute() > 59 ||
        t.second() > 59) {
        return false;
    }
    seconds = DaysFromCivil(t.year(), t.month(), t.day()) * kSecondsPerDay + t.hour() * 3600 +
              t.minute() * 60 + t.second();
    return true;
}

bool RecorderTimeToUtcMs(const store::PackedTime& t, std::uint8_t zoneHours, std::int64_t& utcMs) {
    std::int64_t wall = 0;
    if (!PackedTimeAsUtc(t, wall)) {
        return false;
    }
    const std::int64_t offset = zoneHours <= kMaxZoneHours ? std::int64_t{zoneHours} * 3600 : 0;
    utcMs = (wall - offset) * kMsPerSecond;
    return true;
}

bool RmcUtcMs(std::string_view text, std::int64_t& utcMs) {
    std::string_view time;
    std::string_view date;
    if (!RmcField(text, 1, time) || !RmcField(text, 9, date)) {
        return false;
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    int day = 0;
    int month = 0;
    int year = 0;
    if (time.size() < 6 || !Digits(time.substr(0, 2), hour) || !Digits(time.substr(2, 2), minute) ||
        !Digits(time.substr(4, 2), second) || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    int millis = 0;
    if (time.size() > 6) {
        // A fraction of any length; digits past the third are dropped, not rounded, so a time
        // never moves into the next second.
        const std::string_view fraction = time.substr(6);
        if (fraction[0] != '.') {
            return false;
        }
        int scale = 100;
        for (const char c : fraction.substr(1)) {
            if (c < '0' || c > '9') {
                return false;
            }
            millis += (c - '0') * scale;
            scale /= 10;
        }
    }
    if (date.size() != 6 || !Digits(date.substr(0, 2), day) || !Digits(date.substr(2, 2), month) ||
        !Digits(date.substr(4, 2), year)) {
        return false;
    }
    year += year >= 80 ? 1900 : 2000;
    if (!ValidDate(year, month, day)) {
        return false;
    }
    const std::int64_t seconds =
        DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    utcMs = seconds * kMsPerSecond + millis;
    return true;
}

std::string FormatIsoUtc(std::int64_t utcMs) {
    // Floor division so instants before 1970 still split into a day and a time of day.
    std::int64_t seconds = utcMs / kMsPerSecond;
    std::int64_t millis = utcMs % kMsPerSecond;
    if (millis < 0) {
        millis += kMsPerSecond;
        --seconds;
    }
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t secondOfDay = seconds % kSecondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDay;
        --days;
    }
    // Inverse of DaysFromCivil.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    std::array<char, 48> text{};
    int length = std::snprintf(
        text.data(), text.size(), "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld",
        static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
        static_cast<long long>(secondOfDay / 3600), static_cast<long long>(secondOfDay / 60 % 60),
        static_cast<long long>(secondOfDay % 60));
    std::string out(text.data(), static_cast<std::size_t>(length > 0 ? length : 0));
    if (millis != 0) {
        length = std::snprintf(text.data(), text.size(), ".%03lld", static_cast<long long>(millis));
        out.append(text.data(), static_cast<std::size_t>(length > 0 ? length : 0));
    }
    out += 'Z';
    return out;
}

std::string FormatFixed(double value, int decimals) {
    if (!std::isfinite(value)) {
        return "0";
    }
    std::array<char, 64> text{};
    auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value,
                                   std::chars_format::fixed, decimals);
    if (ec != std::errc()) {
        return "0";
    }
    std::string out(text.data(), end);
    // "-0.000" after rounding reads as a sign error in a track file.
    if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos) {
        out.erase(0, 1);
    }
    return out;
}

} // namespace tavero::exporter
