// GPS track export: UTC times of fixes, the track builder's segments and merging, the walk over a
// card's units, and the GPX/CSV text checked against hand-written expectations and read back by
// an independent GPX reader.

#include "card_fixture.h"
#include "export/gps_file.h"
#include "export/gps_time.h"
#include "export/gps_track.h"
#include "export/gps_writers.h"
#include "platform/drive_table.h"
#include "store/record_index.h"
#include "store/recording_entry.h"

#include <QXmlStreamReader>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace tavero::exporter {
namespace {

using testing::Packed;

constexpr const char* kSentence0 =
    "$GPRMC,060000.00,A,4808.2292,N,01134.5674,E,0.0,45.0,010524,,,A*63";

// An RMC sentence at 2024-05-01 hh:mm:ss UTC with latitude 48°(minutes) N, 11°30' E.
std::string Rmc(int h, int m, int s, double latMinutes, char status = 'A',
                const char* date = "010524") {
    char text[160];
    std::snprintf(text, sizeof text,
                  "$GPRMC,%02d%02d%02d.00,%c,48%07.4f,N,01130.0000,E,10.0,90.0,%s,,,A*00", h, m, s,
                  status, latMinutes, date);
    return text;
}

store::UnitTrailer Unit(std::uint32_t unitNo, const std::string& gps, Packed time = {},
                        std::vector<store::GSample> samples = {}) {
    store::UnitTrailer t;
    t.unitNo = unitNo;
    t.unitTime.bytes = {
        static_cast<std::uint8_t>(time.year - 1800), static_cast<std::uint8_t>(time.month),
        static_cast<std::uint8_t>(time.day),         static_cast<std::uint8_t>(time.hour),
        static_cast<std::uint8_t>(time.minute),      static_cast<std::uint8_t>(time.second)};
    std::memcpy(t.gpsText.data(), gps.data(), std::min(gps.size(), t.gpsText.size() - 1));
    t.gCount = static_cast<std::uint8_t>(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        t.gSamples[i] = samples[i];
    }
    return t;
}

std::int64_t Utc(int y, int mo, int d, int h, int mi, int s) {
    return ((DaysFromCivil(y, mo, d) * 24 + h) * 60 + mi) * 60 * 1000 + s * 1000;
}

// --- times ---------------------------------------------------------------------------------

TEST(GpsTime, RmcDateAndTime) {
    struct Case {
        const char* text;
        bool ok;
        std::int64_t utcMs;
    };
    const Case cases[] = {
        {kSentence0, true, Utc(2024, 5, 1, 6, 0, 0)},
        {"$GNRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A*57", true,
         Utc(2002, 12, 9, 8, 35, 59)},
        {"junk before $GPRMC,235959.997,A,4717.1,N,00833.9,E,,,290224,,*00", true,
         Utc(2024, 2, 29, 23, 59, 59) + 997},
        {"$GPRMC,000000.5,V,,,,,,,311299,,,N*00", true, Utc(1999, 12, 31, 0, 0, 0) + 500},
        {"$GPRMC,120000,A,4717.1,N,00833.9,E,1,2,010180,,*00", true, Utc(1980, 1, 1, 12, 0, 0)},
        {"$GPRMC,120000.1234,A,4717.1,N,00833.9,E,1,2,010179,,*00", true,
         Utc(2079, 1, 1, 12, 0, 0) + 123},
        {"$GPRMC,,A,4717.1,N,00833.9,E,1,2,010524,,*00", false, 0},       // no time
        {"$GPRMC,120000,A,4717.1,N,00833.9,E,1,2,,,*00", false, 0},       // no date
        {"$GPRMC,120000,A,4717.1,N,00833.9,E,1,2,300224,,*00", false, 0}, // 30 February
        {"$GPRMC,240000,A,4717.1,N,00833.9,E,1,2,010524,,*00", false, 0}, // hour 24
        {"$GPRMC,12000a,A,4717.1,N,00833.9,E,1,2,010524,,*00", false, 0},
        {"$GPRMC,120000,A,4717.1,N,00833.9,E,1,2,011324,,*00", false, 0}, // month 13
        {"$GPRMC,120000,A,4717.1,N,00833.9,E,1,2*00,010524", false, 0},   // date after '*'
        {"$GPGGA,120000,4717.1,N,00833.9,E,1,08,0.9,545.4,M,46.9,M,,*47", false, 0},
    };
    for (const Case& c : cases) {
        std::int64_t ms = -1;
        EXPECT_EQ(RmcUtcMs(c.text, ms), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(ms, c.utcMs) << c.text;
        }
    }
}

TEST(GpsTime, IsoTextAndRecorderClock) {
    EXPECT_EQ(FormatIsoUtc(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(FormatIsoUtc(Utc(2024, 2, 29, 23, 59, 59) + 7), "2024-02-29T23:59:59.007Z");
    EXPECT_EQ(FormatIsoUtc(-1000), "1969-12-31T23:59:59Z");
    EXPECT_EQ(FormatIsoUtc(Utc(2100, 3, 1, 0, 0, 0)), "2100-03-01T00:00:00Z");

    store::PackedTime t;
    t.bytes = {224, 5, 1, 1, 30, 0}; // 2024-05-01 01:30:00 on the recorder's clock
    std::int64_t ms = 0;
    ASSERT_TRUE(RecorderTimeToUtcMs(t, 2, ms));
    EXPECT_EQ(ms, Utc(2024, 4, 30, 23, 30, 0)); // two hours east: the previous UTC day
    ASSERT_TRUE(RecorderTimeToUtcMs(t, 200, ms));
    EXPECT_EQ(ms, Utc(2024, 5, 1, 1, 30, 0)); // no zone is 200 hours east: read as UTC
    t.bytes = {224, 2, 30, 1, 30, 0};
    EXPECT_FALSE(RecorderTimeToUtcMs(t, 0, ms));

    EXPECT_EQ(FormatFixed(47.2852395, 9), "47.285239500");
    EXPECT_EQ(FormatFixed(-0.0000000001, 9), "0.000000000");
    EXPECT_EQ(FormatFixed(-8.5, 2), "-8.50");
}

// The receivers' own time for every dated sentence of the captured corpus, where the reference
// daemon did not move the date by a GPS week rollover correction (its year then differs).
TEST(GpsTime, CorpusSentencesGiveTheReceiversTime) {
    const std::filesystem::path file =
        std::filesystem::path(TAVERO_CORPUS_DIR) / "nmea/rmc_vectors.tsv";
    std::ifstream in(file);
    if (!in) {
        GTEST_SKIP() << "corpus not found at " << file;
    }
    std::string line;
    std::getline(in, line);
    int compared = 0;
    while (std::getline(in, line)) {
        std::vector<std::string> col;
        std::stringstream fields(line);
        for (std::string f; std::getline(fields, f, '\t');) {
            col.push_back(f);
        }
        if (col.size() < 10 || col[9].size() < 20) {
            continue;
        }
        const std::string& ref = col[9]; // 2007-12-23T19:32:21.000Z
        std::int64_t ms = 0;
        ASSERT_TRUE(RmcUtcMs(col[0], ms)) << col[0];
        const std::string mine = FormatIsoUtc(ms);
        if (mine.substr(0, 4) != ref.substr(0, 4)) {
            continue; // rollover-corrected reference
        }
        const std::string refTrimmed = ref.substr(19, 4) == ".000" ? ref.substr(0, 19) + "Z" : ref;
        EXPECT_EQ(mine, refTrimmed) << col[0];
        ++compared;
    }
    EXPECT_GT(compared, 100);
}

// --- the builder -------------------------------------------------------------------------

TEST(GpsTrackBuilder, InvalidFixesAreSkippedAndSplitTheTrack) {
    GpsTrackBuilder b;
    b.addUnit(Unit(1, Rmc(6, 0, 0, 8.0)), 0);
    b.addUnit(Unit(2, Rmc(6, 0, 1, 8.1)), 0);
    const std::string invalid[] = {
        "",                                                              // no sentence
        Rmc(6, 0, 2, 8.2, 'V'),                                          // receiver has no fix
        "$GPRMC,060003.00,A,4808.3,N,01130.0000,E,1,2,010524,,,N*00",    // mode: not valid
        "$GPRMC,060004.00,A,9130.0000,N,01130.0000,E,1,2,010524,,,A*00", // 91.5 degrees north
        "$GPRMC,060005.00,A,4808.3000,N,1130.0000,E,1,2,010524,,,A*00",  // longitude digits
        "garbage \x01\x02 garbage",
    };
    std::uint32_t unit = 3;
    for (const std::string& text : invalid) {
        b.addUnit(Unit(unit++, text), 0);
    }
    b.addUnit(Unit(unit++, Rmc(6, 0, 6, 8.6)), 0);
    const GpsTrack track = b.finish();
    ASSERT_EQ(track.segments.size(), 2u);
    ASSERT_EQ(track.segments[0].points.size(), 2u);
    ASSERT_EQ(track.segments[1].points.size(), 1u);
    EXPECT_EQ(track.units, 9u);
    EXPECT_EQ(track.unitsWithoutFix, 6u);
    const GpsPoint& last = track.segments[1].points[0];
    EXPECT_EQ(last.utcMs, Utc(2024, 5, 1, 6, 0, 6));
    EXPECT_NEAR(last.latitude, 48 + 8.6 / 60, 1e-9);
    EXPECT_NEAR(last.longitude, 11.5, 1e-9);
    EXPECT_NEAR(last.speedKmh, 18.52, 1e-9);
    EXPECT_EQ(last.course, 90.0);
    EXPECT_EQ(last.firstUnit, 9u);
}

TEST(GpsTrackBuilder, TimeJumpsStartSegmentsAndSmallReordersAreSorted) {
    struct Step {
        int second; // after 06:00:00
        std::size_t segments;
    };
    // 16 s later breaks, 14 s does not; 3 s back is put in place, 9 s back breaks.
    const Step steps[] = {{0, 1}, {1, 1}, {17, 2}, {31, 2}, {28, 2}, {22, 3}, {23, 3}};
    GpsTrackBuilder b;
    std::uint32_t unit = 1;
    for (const Step& s : steps) {
        b.addUnit(Unit(unit++, Rmc(6, 0, s.second, s.second * 0.01)), 0);
    }
    const GpsTrack track = b.finish();
    ASSERT_EQ(track.segments.size(), 3u);
    std::vector<std::vector<int>> seconds;
    for (const GpsSegment& seg : track.segments) {
        seconds.emplace_back();
        for (const GpsPoint& p : seg.points) {
            seconds.back().push_back(static_cast<int>((p.utcMs - Utc(2024, 5, 1, 6, 0, 0)) / 1000));
        }
    }
    EXPECT_EQ(seconds, (std::vector<std::vector<int>>{{0, 1}, {17, 28, 31}, {22, 23}}));
}

TEST(GpsTrackBuilder, RepeatedSentencesAreOneFixWithTheUnitsPeaks) {
    GpsTrackBuilder b;
    const std::string first = Rmc(6, 0, 0, 8.0);
    const std::string second = Rmc(6, 0, 1, 8.1);
    b.addUnit(Unit(1, first, {}, {{3, -40, 250}, {-7, 2, 240}}), 0);
    b.addUnit(Unit(2, first, {}, {{-12, 5, 255}, {1, 1, 400}}), 0); // 400: implausible sample
    b.addUnit(Unit(3, second, {}, {{0, 0, 256}}), 0);
    b.addUnit(Unit(4, first, {}, {{-30, 0, 0}}), 0); // a lagging channel's unit
    const GpsTrack track = b.finish();
    ASSERT_EQ(track.segments.size(), 1u);
    ASSERT_EQ(track.segments[0].points.size(), 2u);
    const GPeak& g = track.segments[0].points[0].g;
    EXPECT_EQ(g.x, 30);
    EXPECT_EQ(g.y, 40);
    EXPECT_EQ(g.z, 255);
    EXPECT_EQ(g.samples, 5);
    EXPECT_EQ(track.segments[0].points[1].g.z, 256);
}

TEST(GpsTrackBuilder, SentenceWithoutDateTakesTheRecorderClockAndZone) {
    GpsTrackBuilder b;
    const std::string undated = "$GPRMC,,A,4808.0000,N,01130.0000,E,1.0,2.0,,,,A*00";
    b.addUnit(Unit(1, undated, Packed{2024, 5, 1, 8, 0, 5}), 2);
    const GpsTrack track = b.finish();
    ASSERT_EQ(track.pointCount(), 1u);
    EXPECT_EQ(track.segments[0].points[0].utcMs, Utc(2024, 5, 1, 6, 0, 5));
    EXPECT_EQ(track.segments[0].points[0].timeSource, GpsTimeSource::Recorder);
}

// --- the walk over a card ----------------------------------------------------------------

class GpsTrackCard : public ::testing::Test {
protected:
    static constexpr int kDrive = 6;
    testing::TempDir m_dir;
    void SetUp() override { platform::SetDrivePath(kDrive, (m_dir / "card.img").string()); }
};

TEST_F(GpsTrackCard, ChainedRecordsGiveOneTrackSplitAtTheGap) {
    testing::TestCard card(m_dir / "card.img", 4);
    card.initialiseIndex();
    // Two records of one recording (the second does not start a recording) an hour apart.
    testing::TestRecord r1;
    r1.seq = 1, r1.startUnit = 1, r1.endUnit = 4, r1.recStart = 1, r1.zoneHours = 2;
    r1.startTime = {2024, 5, 1, 8, 0, 0};
    r1.endTime = {2024, 5, 1, 8, 0, 3};
    testing::TestRecord r2 = r1;
    r2.seq = 2, r2.startUnit = 1025, r2.endUnit = 1026, r2.recStart = 0;
    r2.startTime = {2024, 5, 1, 9, 0, 0};
    r2.endTime = {2024, 5, 1, 9, 0, 1};
    card.writeRecord(0, r1);
    card.writeRecord(1, r2);
    auto trailer = [&](std::uint32_t unitNo, Packed time, const std::string& gps) {
        testing::TestTrailer t;
        t.unitNo = unitNo, t.time = time, t.gps = gps, t.diskId = card.diskId();
        return t;
    };
    card.writeUnitTrailer(0, 0, trailer(1, {2024, 5, 1, 8, 0, 0}, Rmc(6, 0, 0, 8.0)));
    // Unit 2 carries samples written into the trailer bytes: x, y, z big-endian at 44.
    testing::Bytes512 withSamples =
        testing::TrailerBytes(trailer(2, {2024, 5, 1, 8, 0, 1}, Rmc(6, 0, 1, 8.1)));
    withSamples[17] = 2;
    const std::uint8_t samples[12] = {0xFF, 0x9C, 0x00, 0x05, 0x00, 0xFA,  // -100, 5, 250
                                      0x00, 0x14, 0xFF, 0xF6, 0x01, 0x00}; // 20, -10, 256
    std::memcpy(withSamples.data() + 44, samples, sizeof samples);
    testing::Seal(withSamples);
    card.writeAt(0x16000000LL + 1 * 16384 + 15872, withSamples.data(), withSamples.size());
    testing::Bytes512 broken =
        testing::TrailerBytes(trailer(3, {2024, 5, 1, 8, 0, 2}, Rmc(6, 0, 2, 8.2)));
    broken[100] ^= 1; // checksum no longer matches
    card.writeAt(0x16000000LL + 2 * 16384 + 15872, broken.data(), broken.size());
    card.writeUnitTrailer(0, 3, trailer(77, {2024, 5, 1, 8, 0, 3}, Rmc(6, 0, 3, 8.3))); // stale
    card.writeUnitTrailer(1, 0, trailer(1025, {2024, 5, 1, 9, 0, 0}, Rmc(7, 0, 0, 9.0)));
    card.writeUnitTrailer(1, 1, trailer(1026, {2024, 5, 1, 9, 0, 1}, Rmc(7, 0, 1, 9.1)));

    store::RecordIndex index;
    index.SetCardSource(kDrive);
    store::IndexRecord* first = index.OpenIndex();
    ASSERT_NE(first, nullptr) << index.lastError().describe();
    const store::RecordingEntry entry = store::BuildRecordingEntry(index, first, 0, 0, 1);
    GpsTrackReader reader(index);
    GpsTrack track;
    ASSERT_TRUE(reader.read(entry, track)) << reader.lastError();
    EXPECT_EQ(track.number, 1);
    EXPECT_EQ(track.skippedUnits, 2u);
    ASSERT_EQ(track.segments.size(), 2u);
    ASSERT_EQ(track.segments[0].points.size(), 2u);
    ASSERT_EQ(track.segments[1].points.size(), 2u);
    const GPeak& g = track.segments[0].points[1].g;
    EXPECT_EQ(g.x, 100);
    EXPECT_EQ(g.y, 10);
    EXPECT_EQ(g.z, 256);
    EXPECT_EQ(g.samples, 2);
    EXPECT_EQ(track.segments[1].points[1].utcMs, Utc(2024, 5, 1, 7, 0, 1));

    EXPECT_FALSE(reader.read(store::RecordingEntry{}, track));
}

// --- writers -----------------------------------------------------------------------------

GpsTrack TwoSegmentTrack() {
    GpsTrack t;
    t.number = 3;
    GpsPoint a;
    a.utcMs = Utc(2024, 5, 1, 6, 0, 0);
    a.latitude = 48.1371554;
    a.longitude = -11.5;
    a.speedKmh = 18.52;
    a.course = 359.9;
    a.g = {12, 3, 250, 10};
    GpsPoint b = a;
    b.utcMs += 1250;
    b.latitude = -33.25;
    b.longitude = 151.0;
    b.timeSource = GpsTimeSource::Recorder;
    b.g = {};
    GpsPoint c = a;
    c.utcMs += 3600000;
    t.segments = {{{a, b}}, {{c}}};
    return t;
}

TEST(GpsWriters, CsvLines) {
    const std::string csv = CsvDocument({TwoSegmentTrack()});
    EXPECT_EQ(
        csv,
        "recording,segment,time_utc,time_source,latitude,longitude,speed_kmh,course_deg,"
        "g_peak_x,g_peak_y,g_peak_z,g_samples\n"
        "3,1,2024-05-01T06:00:00Z,receiver,48.137155400,-11.500000000,18.520,359.90,12,3,250,10\n"
        "3,1,2024-05-01T06:00:01.250Z,recorder,-33.250000000,151.000000000,18.520,359.90,0,0,0,0\n"
        "3,2,2024-05-01T07:00:00Z,receiver,48.137155400,-11.500000000,18.520,359.90,12,3,250,10\n");
    EXPECT_EQ(CsvDocument({}), std::string(kCsvHeader) + "\n");
}

TEST(GpsWriters, GpxStructure) {
    GpsTrack empty;
    empty.number = 4;
    const std::string gpx = GpxDocument({TwoSegmentTrack(), empty});
    QXmlStreamReader xml(QByteArray::fromStdString(gpx));
    const QString gpxNs = "http://www.topografix.com/GPX/1/1";
    std::vector<std::string> trackNames;
    std::vector<std::size_t> pointsPerSegment;
    std::vector<std::string> extensions;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QStringView name = xml.name();
        if (name == u"gpx") {
            EXPECT_TRUE(xml.namespaceUri() == gpxNs);
            EXPECT_TRUE(xml.attributes().value("version") == u"1.1");
        } else if (name == u"name") {
            trackNames.push_back(xml.readElementText().toStdString());
        } else if (name == u"trkseg") {
            pointsPerSegment.push_back(0);
        } else if (name == u"trkpt") {
            ++pointsPerSegment.back();
        } else if (xml.namespaceUri() ==
                   QString::fromUtf8(kGpxExtensionNamespace.data(),
                                     static_cast<qsizetype>(kGpxExtensionNamespace.size()))) {
            const std::string local = name.toString().toStdString();
            extensions.push_back(local == "gpeak"
                                     ? local + ":" +
                                           xml.attributes().value("z").toString().toStdString()
                                     : local + ":" + xml.readElementText().toStdString());
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(trackNames, (std::vector<std::string>{"Recording 3", "Recording 4"}));
    EXPECT_EQ(pointsPerSegment, (std::vector<std::size_t>{2, 1}));
    ASSERT_EQ(extensions.size(), 12u);
    EXPECT_EQ(extensions[0], "speed:18.520");
    EXPECT_EQ(extensions[1], "course:359.90");
    EXPECT_EQ(extensions[2], "gpeak:250");
    EXPECT_EQ(extensions[3], "clock:receiver");
    EXPECT_EQ(extensions[7], "clock:recorder");
}

// What gpsbabel reads back from a GPX file: "lat,lon,date,time" per track point.
std::vector<std::string> GpsbabelPoints(const std::filesystem::path& gpx, bool& available) {
    available = std::system("gpsbabel -V > /dev/null 2>&1") == 0;
    std::vector<std::string> rows;
    if (!available) {
        return rows;
    }
    const std::string command = "gpsbabel -t -i gpx -f '" + gpx.string() + "' -o unicsv -F - 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return rows;
    }
    char line[512];
    bool header = true;
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        if (header) {
            EXPECT_EQ(text, "No,Latitude,Longitude,Date,Time");
            header = false;
            continue;
        }
        rows.push_back(text.substr(text.find(',') + 1));
    }
    EXPECT_EQ(::pclose(pipe), 0);
    return rows;
}

TEST(GpsWriters, GpsbabelReadsTheSamePoints) {
    testing::TempDir dir;
    std::string error;
    ASSERT_TRUE(
        WriteFileAtomically((dir / "t.gpx").string(), GpxDocument({TwoSegmentTrack()}), error))
        << error;
    bool available = false;
    const std::vector<std::string> rows = GpsbabelPoints(dir / "t.gpx", available);
    if (!available) {
        GTEST_SKIP() << "gpsbabel is not installed; GPX not validated";
    }
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "48.137155,-11.500000,2024/05/01,06:00:00",
                        "-33.250000,151.000000,2024/05/01,06:00:01.250",
                        "48.137155,-11.500000,2024/05/01,07:00:00",
                    }));
}

// --- file writing ------------------------------------------------------------------------

TEST(GpsFile, ReplacesWholeOrLeavesTheTargetAlone) {
    testing::TempDir dir;
    const std::string target = (dir / "track.csv").string();
    std::string error;
    { std::ofstream(target) << "old"; }
    ASSERT_TRUE(WriteFileAtomically(target, "new contents\n", error)) << error;
    std::ifstream in(target);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "new contents\n");

    EXPECT_FALSE(WriteFileAtomically((dir / "missing/track.csv").string(), "x", error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    std::filesystem::create_directory(dir / "sub");
    EXPECT_FALSE(WriteFileAtomically((dir / "sub").string(), "x", error));
    // Nothing but the finished file and the folder remain: no temporary left behind.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2u);
}

} // namespace
} // namespace tavero::exporter
