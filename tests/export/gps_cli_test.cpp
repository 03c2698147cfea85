// tavero-cli gps on simulator cards: the written tracks read back by gpsbabel with the points the
// simulator put into the trailers, real receiver sentences, and the failures.

#include "card_fixture.h"
#include "command_run.h"
#include "mkcard/card_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using CliRun = tavero::testing::CommandRun;

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a shell command line, its output kept apart.
CliRun Shell(const tavero::testing::TempDir& /*dir*/, const std::string& line) {
    return tavero::testing::RunCommand(line);
}

CliRun Cli(const tavero::testing::TempDir& dir, const std::string& arguments) {
    return Shell(dir, std::string("'") + TAVERO_CLI + "' " + arguments);
}

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, sep);) {
        if (!part.empty() && part.back() == '\r') {
            part.pop_back(); // gpsbabel ends its CSV lines in CR LF
        }
        parts.push_back(part);
    }
    return parts;
}

// Degrees of an NMEA ddmm.mmmm / dddmm.mmmm field and its hemisphere, computed here on its own.
double Degrees(const std::string& value, const std::string& hemisphere, int degreeDigits) {
    const double deg = std::stod(value.substr(0, static_cast<std::size_t>(degreeDigits)));
    const double minutes = std::stod(value.substr(static_cast<std::size_t>(degreeDigits)));
    const double d = deg + minutes / 60.0;
    return hemisphere == "S" || hemisphere == "W" ? -d : d;
}

struct Expected {
    double lat = 0;
    double lon = 0;
    std::string dateTime; // "YYYY/MM/DD,HH:MM:SS" as gpsbabel prints it
};

Expected FromSentence(const std::string& sentence) {
    const std::vector<std::string> f = Split(sentence, ',');
    Expected e;
    e.lat = Degrees(f[3], f[4], 2);
    e.lon = Degrees(f[5], f[6], 3);
    e.dateTime = "20" + f[9].substr(4, 2) + "/" + f[9].substr(2, 2) + "/" + f[9].substr(0, 2) +
                 "," + f[1].substr(0, 2) + ":" + f[1].substr(2, 2) + ":" + f[1].substr(4, 2);
    return e;
}

bool HaveGpsbabel() {
    return std::system("gpsbabel -V > /dev/null 2>&1") == 0;
}

class GpsCli : public ::testing::Test {
protected:
    tavero::testing::TempDir m_dir;
    tavero::sim::Manifest m_manifest;

    // Three 20-second trips on a clock two hours east of UTC, two channels whose units carry the
    // same sentences; small pictures at a rate that fills a few units a second.
    static tavero::sim::CardSpec smallPlan(const std::string& path) {
        tavero::sim::CardSpec plan;
        plan.kind = tavero::sim::OutputKind::RawBackup;
        plan.outPath = path;
        plan.zoneHours = 2;
        tavero::sim::ChannelSpec c0;
        c0.width = 320, c0.height = 240, c0.fps = 10, c0.gop = 10, c0.bitrateKbps = 400;
        tavero::sim::ChannelSpec c1 = c0;
        c1.channel = 1, c1.width = 160, c1.height = 120, c1.bitrateKbps = 200;
        plan.channels = {c0, c1};
        plan.recordings = {
            {{2024, 5, 1, 8, 0, 0}, 20}, {{2024, 5, 1, 8, 5, 0}, 20}, {{2024, 5, 1, 8, 12, 0}, 20}};
        return plan;
    }

    std::string writeDemo() {
        const tavero::sim::CardSpec plan = smallPlan((m_dir / "demo.sd").string());
        std::string error;
        EXPECT_TRUE(tavero::sim::writeCard(plan, m_manifest, error)) << error;
        return plan.outPath;
    }
};

TEST_F(GpsCli, TracksReadBackWithTheSimulatorsPoints) {
    const std::string sd = writeDemo();
    const CliRun run =
        Cli(m_dir, "gps '" + sd + "' --gpx -o '" + (m_dir / "demo.gpx").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("of 3 recordings"), std::string::npos) << run.out;

    // The fixes the simulator wrote, once each, recordings in time order.
    std::map<std::uint32_t, std::vector<std::string>> byRecording;
    for (const auto& unit : m_manifest.units) {
        auto& list = byRecording[unit.recording];
        if (std::find(list.begin(), list.end(), unit.gpsText) == list.end()) {
            list.push_back(unit.gpsText);
        }
    }
    std::vector<Expected> expected;
    for (const auto& [recording, sentences] : byRecording) {
        for (const std::string& s : sentences) {
            expected.push_back(FromSentence(s));
        }
    }
    ASSERT_GT(expected.size(), 50u);
    if (!HaveGpsbabel()) {
        GTEST_SKIP() << "gpsbabel is not installed; GPX not validated";
    }
    const CliRun babel = Shell(m_dir, "gpsbabel -t -i gpx -f '" + (m_dir / "demo.gpx").string() +
                                          "' -o unicsv -F -");
    ASSERT_EQ(babel.status, 0) << babel.err;
    std::vector<std::string> rows = Split(babel.out, '\n');
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), "No,Latitude,Longitude,Date,Time");
    rows.erase(rows.begin());
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string> c = Split(rows[i], ',');
        ASSERT_EQ(c.size(), 5u) << rows[i];
        EXPECT_NEAR(std::stod(c[1]), expected[i].lat, 1.5e-6) << rows[i];
        EXPECT_NEAR(std::stod(c[2]), expected[i].lon, 1.5e-6) << rows[i];
        EXPECT_EQ(c[3] + "," + c[4], expected[i].dateTime) << rows[i];
    }
}

TEST_F(GpsCli, CsvOfOneRecordingOnStandardOutput) {
    const std::string sd = writeDemo();
    const CliRun run = Cli(m_dir, "gps '" + sd + "' --entry 2 --csv");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Split(run.out, '\n');
    ASSERT_GT(lines.size(), 15u);
    EXPECT_EQ(lines[0], "recording,segment,time_utc,time_source,latitude,longitude,speed_kmh,"
                        "course_deg,g_peak_x,g_peak_y,g_peak_z,g_samples");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> c = Split(lines[i], ',');
        ASSERT_EQ(c.size(), 12u) << lines[i];
        EXPECT_EQ(c[0], "2");
        EXPECT_EQ(c[1], "1");                            // the demo's receiver never loses its fix
        EXPECT_EQ(c[2].substr(0, 14), "2024-05-01T06:"); // 08:05 on a clock two hours east
        EXPECT_EQ(c[3], "receiver");
    }
}

// Real receivers' sentences, one a second: valid fixes come out at the positions the corpus's
// reference decoder found, the rest (status V, no position) never become points.
TEST_F(GpsCli, CorpusSentencesOnACard) {
    const std::filesystem::path tsv =
        std::filesystem::path(TAVERO_CORPUS_DIR) / "nmea/rmc_vectors.tsv";
    if (!std::filesystem::exists(tsv)) {
        GTEST_SKIP() << "corpus not found at " << tsv;
    }
    std::vector<std::vector<std::string>> corpus;
    // Positions a point may have: the reference decoder's, or for rows it left without one
    // (ambiguous pairing) the sentence's own fields converted here.
    std::vector<std::pair<double, double>> positions;
    for (const std::string& line : Split(Slurp(tsv), '\n')) {
        corpus.push_back(Split(line, '\t'));
        const std::vector<std::string>& row = corpus.back();
        if (corpus.size() == 1 || row.size() < 6) {
            continue;
        }
        if (row[5] == "A" && !row[1].empty()) {
            positions.emplace_back(std::stod(row[1]), std::stod(row[2]));
            continue;
        }
        const std::vector<std::string> f = Split(row[0], ',');
        if (f.size() > 6 && f[2] == "A" && f[3].size() > 4 && f[5].size() > 5) {
            positions.emplace_back(Degrees(f[3], f[4], 2), Degrees(f[5], f[6], 3));
        }
    }
    corpus.erase(corpus.begin());
    tavero::sim::CardSpec plan = smallPlan((m_dir / "nmea.sd").string());
    plan.channels.resize(1);
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, static_cast<std::uint32_t>(corpus.size())}};
    plan.gps.source = tavero::sim::GpsSource::NmeaFile;
    plan.gps.nmeaPath = tsv.string();
    std::string error;
    ASSERT_TRUE(tavero::sim::writeCard(plan, m_manifest, error)) << error;

    const CliRun run = Cli(m_dir, "gps '" + plan.outPath + "' --csv");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = Split(run.out, '\n');
    lines.erase(lines.begin());
    std::size_t matched = 0;
    for (const std::string& line : lines) {
        const std::vector<std::string> c = Split(line, ',');
        ASSERT_EQ(c.size(), 12u);
        const double lat = std::stod(c[4]);
        const double lon = std::stod(c[5]);
        EXPECT_FALSE(lat == 0 && lon == 0) << line;
        for (const auto& [refLat, refLon] : positions) {
            if (std::fabs(refLat - lat) < 1e-6 && std::fabs(refLon - lon) < 1e-6) {
                ++matched;
                break;
            }
        }
    }
    EXPECT_EQ(matched, lines.size());
    EXPECT_GT(lines.size(), 100u);
}

TEST_F(GpsCli, Failures) {
    const std::string sd = writeDemo();
    tavero::sim::CardSpec silent = smallPlan((m_dir / "silent.sd").string());
    silent.gps.source = tavero::sim::GpsSource::None;
    std::string error;
    ASSERT_TRUE(tavero::sim::writeCard(silent, m_manifest, error)) << error;
    const std::string out = (m_dir / "out.gpx").string();
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"gps '" + (m_dir / "missing.sd").string() + "' --gpx", 1, "missing.sd"},
        {"gps '" + sd + "' --entry 4 --gpx", 1, "there is no recording 4 (it has 3)"},
        {"gps '" + silent.outPath + "' --gpx -o '" + out + "'", 1, "no recording has GPS fixes"},
        {"gps '" + silent.outPath + "' --entry 1 --csv", 1, "recording 1 has no GPS fixes"},
        {"gps '" + sd + "' --gpx -o '" + (m_dir / "nofolder/x.gpx").string() + "'", 1,
         "does not exist"},
        {"gps '" + sd + "' --gpx -o '" + m_dir.path().string() + "'", 1, "is a directory"},
        {"gps '" + sd + "'", 2, "choose one of --gpx and --csv"},
        {"gps '" + sd + "' --gpx --csv", 2, "choose one of --gpx and --csv"},
        {"gps '" + sd + "' --gpx --entry 0", 2, "--entry needs a recording number"},
        {"gps --gpx", 2, "give a SOURCE"},
        {"gps '" + sd + "' --gpx --bogus", 2, "unknown option '--bogus'"},
    };
    for (const Case& c : cases) {
        const CliRun run = Cli(m_dir, c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.args << "\n" << run.err;
        if (c.status == 1) {
            EXPECT_TRUE(run.out.empty()) << c.args; // never half a document
        }
    }
    EXPECT_FALSE(std::filesystem::exists(out));

    const CliRun help = Cli(m_dir, "gps --help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--entry N", "--gpx", "--csv", "-o FILE", "--drive N=PATH"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
}

} // namespace
