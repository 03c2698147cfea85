#include "mkcard/sensor_data.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>

namespace tavero::sim {

namespace {

constexpr double kMetresPerDegree = 111320.0;
constexpr double kKnotsToKmh = 1.852;

// ddmm.mmmm with the minutes rounded to 1/10000 before splitting, so 59.99996 never prints 60.
std::string formatAngle(double degrees, int degreeDigits) {
    const auto units = static_cast<int64_t>(std::llround(std::fabs(degrees) * 60.0 * 10000.0));
    const int64_t whole = units / 600000;
    const int64_t minutes = units % 600000 / 10000;
    const int64_t fraction = units % 10000;
    char text[32];
    std::snprintf(text, sizeof text, "%0*lld%02lld.%04lld", degreeDigits,
                  static_cast<long long>(whole), static_cast<long long>(minutes),
                  static_cast<long long>(fraction));
    return text;
}

// Speed in km/h over one 120 s lap of the generated drive, and the turn rate in degrees/s.
void driveProfile(uint64_t second, double& speedKmh, double& turnDegPerS) {
    const auto t = static_cast<double>(second % 120);
    turnDegPerS = 0;
    if (t < 10) {
        speedKmh = 5.0 * t;
    } else if (t < 40) {
        speedKmh = 50;
    } else if (t < 45) {
        speedKmh = 50 - 6 * (t - 40);
    } else if (t < 55) {
        speedKmh = 20;
        turnDegPerS = 9; // a right turn of 90 degrees
    } else if (t < 65) {
        speedKmh = 20 + 4 * (t - 55);
    } else if (t < 100) {
        speedKmh = 60;
        turnDegPerS = -0.8; // a long left-hand curve
    } else if (t < 110) {
        speedKmh = 60 - 6 * (t - 100);
    } else {
        speedKmh = 0;
    }
}

} // namespace

std::string formatRmc(const WallTime& utc, const GpsFix& fix) {
    char body[160];
    std::snprintf(body, sizeof body,
                  "GPRMC,%02d%02d%02d.00,A,%s,%c,%s,%c,%.1f,%.1f,%02d%02d%02d,,,A", utc.hour,
                  utc.minute, utc.second, formatAngle(fix.latitudeDeg, 2).c_str(),
                  fix.latitudeDeg < 0 ? 'S' : 'N', formatAngle(fix.longitudeDeg, 3).c_str(),
                  fix.longitudeDeg < 0 ? 'W' : 'E', fix.speedKmh / kKnotsToKmh, fix.courseDeg,
                  utc.day, utc.month, utc.year % 100);
    uint8_t checksum = 0;
    for (const char* c = body; *c != '\0'; ++c)
        checksum ^= static_cast<uint8_t>(*c);
    char sentence[176];
    std::snprintf(sentence, sizeof sentence, "$%s*%02X", body, checksum);
    return sentence;
}

void GpsTrack::openGenerated() {
    m_lines.clear();
    m_fixes.clear();
}

bool GpsTrack::openNmeaFile(const std::string& path, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot open NMEA file " + path;
        return false;
    }
    m_lines.clear();
    std::string line;
    while (std::getline(file, line)) {
        const size_t start = line.find('$');
        if (start == std::string::npos)
            continue;
        const size_t end = line.find_first_of(" \t\r", start);
        std::string sentence = line.substr(start, end == std::string::npos ? end : end - start);
        if (sentence.rfind("$GPRMC", 0) == 0 || sentence.rfind("$GNRMC", 0) == 0) {
            if (sentence.size() >= kGpsTextSize)
                sentence.resize(kGpsTextSize - 1);
            m_lines.push_back(std::move(sentence));
        }
    }
    if (m_lines.empty()) {
        error = "no $GPRMC or $GNRMC sentence in " + path;
        return false;
    }
    return true;
}

GpsFix GpsTrack::generatedFix(uint64_t recordedSecond) {
    if (m_fixes.empty())
        m_fixes.push_back({48.137154, 11.576124, 0, 45});
    while (m_fixes.size() <= recordedSecond) {
        const GpsFix& last = m_fixes.back();
        double speedKmh = 0;
        double turn = 0;
        driveProfile(m_fixes.size(), speedKmh, turn);
        GpsFix next = last;
        next.speedKmh = speedKmh;
        next.courseDeg = std::fmod(last.courseDeg + turn + 360.0, 360.0);
        const double metres = speedKmh / 3.6;
        const double heading = next.courseDeg * std::numbers::pi / 180.0;
        next.latitudeDeg += metres * std::cos(heading) / kMetresPerDegree;
        next.longitudeDeg +=
            metres * std::sin(heading) /
            (kMetresPerDegree * std::cos(last.latitudeDeg * std::numbers::pi / 180));
        m_fixes.push_back(next);
    }
    return m_fixes[recordedSecond];
}

std::string GpsTrack::sentence(uint64_t recordedSecond, const WallTime& utc) {
    if (!m_lines.empty())
        return m_lines[recordedSecond % m_lines.size()];
    return formatRmc(utc, generatedFix(recordedSecond));
}

std::vector<TimedSample> makeGSamples(uint32_t durationUs, std::span<const uint32_t> spikeTimesUs,
                                      uint32_t seed) {
    constexpr uint32_t kPeriodUs = 100000;
    constexpr double kSpikeHalfWidthUs = 300000;
    uint32_t state = seed * 2654435761u + 1;
    auto noise = [&state](int span) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<int>(state % static_cast<uint32_t>(2 * span + 1)) - span;
    };
    auto avoidTwo = [](int value) { return static_cast<int16_t>(value == 2 ? 3 : value); };

    std::vector<TimedSample> samples;
    for (uint32_t t = 0; t < durationUs; t += kPeriodUs) {
        double shape = 0; // 0..1, peaks at an event
        for (uint32_t spike : spikeTimesUs) {
            const double distance = std::fabs(static_cast<double>(t) - spike);
            shape = std::max(shape, 1.0 - distance / kSpikeHalfWidthUs);
        }
        TimedSample sample;
        sample.timeUs = t;
        sample.sample.x = avoidTwo(noise(4) + static_cast<int>(std::lround(250 * shape)));
        sample.sample.y = avoidTwo(noise(4) - static_cast<int>(std::lround(120 * shape)));
        sample.sample.z = avoidTwo(98 + noise(3) + static_cast<int>(std::lround(80 * shape)));
        samples.push_back(sample);
    }
    return samples;
}

} // namespace tavero::sim
