#include "store/metadata.h"

#include <cstdlib>
#include <string>

namespace tavero::store {
namespace {

// The standard decimal conversion of a field: leading number, empty or junk reads as 0.
double FieldNumber(std::string_view field) {
    const std::string text(field);
    return std::strtod(text.c_str(), nullptr);
}

} // namespace

bool ParseRmc(std::string_view text, double* latitude, double* longitude, double* speedKmh,
              double* course) {
    std::size_t start = text.find("$GPRMC");
    if (start == std::string_view::npos) {
        start = text.find("$GNRMC");
    }
    if (start == std::string_view::npos) {
        return false;
    }
    const std::size_t star = text.find('*', start);
    if (star == std::string_view::npos) {
        return false;
    }
    if (star > start && text[star - 1] == 'N') {
        return false; // mode indicator: data not valid
    }
    // Fields are walked up to the checksum marker, so a following sentence is never read.
    const std::string_view sentence = text.substr(start, star - start);
    std::size_t comma = sentence.find(',');
    int lastField = 0;
    double lat = 0;
    double lon = 0;
    for (int field = 1; field <= 12 && comma != std::string_view::npos; ++field) {
        const std::size_t next = sentence.find(',', comma + 1);
        const std::string_view value = sentence.substr(
            comma + 1, next == std::string_view::npos ? std::string_view::npos : next - comma - 1);
        switch (field) {
        case 2:
            if (value.empty() || value[0] != 'A') {
                return false;
            }
            break;
        case 3:
            if (value.size() < 5 || value[4] != '.') {
                return false;
            }
            lat = FieldNumber(value.substr(0, 2)) + FieldNumber(value.substr(2)) / 60.0;
            if (!(lat >= 0.0 && lat <= 90.0)) {
                return false; // no place on the earth: a damaged sentence
            }
            if (latitude != nullptr) {
                *latitude = lat;
            }
            break;
        case 4:
            if (value.empty() || (value[0] != 'N' && value[0] != 'S')) {
                return false;
            }
            if (value[0] == 'S' && latitude != nullptr) {
                *latitude = -lat;
            }
            break;
        case 5:
            if (value.size() < 6 || value[5] != '.') {
                return false;
            }
            lon = FieldNumber(value.substr(0, 3)) + FieldNumber(value.substr(3)) / 60.0;
            if (!(lon >= 0.0 && lon <= 180.0)) {
                return false;
            }
            if (longitude != nullptr) {
                *longitude = lon;
            }
            break;
        case 6:
            if (value.empty() || (value[0] != 'E' && value[0] != 'W')) {
                return false;
            }
            if (value[0] == 'W' && longitude != nullptr) {
                *longitude = -lon;
            }
            break;
        case 7:
            if (speedKmh != nullptr) {
                *speedKmh = FieldNumber(value) * kKmhPerKnot;
            }
            break;
        case 8:
            if (course != nullptr) {
                *course = FieldNumber(value);
            }
            break;
        default:
            break;
        }
        lastField = field;
        comma = next;
    }
    // A sentence cut off before its position is no fix, whatever the status said.
    return lastField >= 6;
}

bool ParseRmc(std::string_view text, GpsFix& fix) {
    GpsFix decoded;
    if (!ParseRmc(text, &decoded.latitude, &decoded.longitude, &decoded.speed, &decoded.course)) {
        return false;
    }
    fix = decoded;
    return true;
}

void AppendGSamples(const UnitTrailer& trailer, GSampleLists& lists) {
    auto append = [](std::vector<std::int32_t>& list, std::int16_t v) {
        if (v != 0 || list.empty()) {
            list.push_back(v);
        } else {
            list.push_back(list.back());
        }
    };
    const int count = trailer.sampleCount();
    for (int i = 0; i < count; ++i) {
        const GSample& s = trailer.gSamples[static_cast<std::size_t>(i)];
        append(lists.x, s.x);
        append(lists.y, s.y);
        append(lists.z, s.z);
    }
}

GSample PlausibleSample(GSample s) {
    auto tooLarge = [](std::int16_t v) {
        return v > kMaxPlausibleSample || v < -kMaxPlausibleSample;
    };
    if (tooLarge(s.x) || tooLarge(s.y) || tooLarge(s.z)) {
        return GSample{};
    }
    return s;
}

} // namespace tavero::store
