// The command-line contract of tavero-cli: output keys and values, exit status, error lines.

#include "card_fixture.h"
#include "command_run.h"
#include "mkcard/card_writer.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <sys/wait.h>

namespace tavero::testing {
namespace {

using CliRun = CommandRun;

CliRun RunCli(const std::string& args, const std::string& input = "") {
    return RunCommand(std::string("TZ=UTC ") + TAVERO_CLI + " " + args, input);
}

const Packed kT0{2024, 5, 1, 8, 0, 0};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_card = std::make_unique<TestCard>(m_dir / "card.img", 8, 10005);
        m_card->initialiseIndex();
        TestRecord first;
        first.seq = 1;
        first.startUnit = 1;
        first.endUnit = 3;
        first.startTime = kT0;
        first.endTime = AddSeconds(kT0, 2);
        first.recStart = 1;
        first.diskId = 10005;
        m_card->writeRecord(0, first);
        TestRecord second = first;
        second.seq = 2;
        second.startUnit = 4;
        second.endUnit = 5;
        second.startTime = AddSeconds(kT0, 600);
        second.endTime = AddSeconds(kT0, 601);
        second.protect = 2;
        second.recStart = 0;
        second.events = {{4, AddSeconds(kT0, 600), 2}};
        m_card->writeRecord(1, second);
        for (std::uint32_t u = 1; u <= 5; ++u) {
            TestTrailer t;
            t.unitNo = u;
            t.diskId = 10005;
            t.channel = static_cast<std::uint8_t>(u % 2);
            t.time =
                AddSeconds(kT0, u <= 3 ? static_cast<int>(u) - 1 : 600 + static_cast<int>(u) - 4);
            t.recStart = u == 1 ? 1 : 0;
            t.eventType = u == 4 ? 2 : 0;
            t.protect = u == 4 ? 1 : 0;
            t.gps = "$GPRMC,\"quoted\"";
            m_card->writeUnitTrailer(u <= 3 ? 0 : 1, u <= 3 ? u - 1 : u - 4, t);
        }
    }
    std::string card() const {
        return "car2://3 --drive 3=" + Quote((m_dir / "card.img").string());
    }

    TempDir m_dir;
    std::unique_ptr<TestCard> m_card;
};

TEST_F(CliTest, ListJsonHasExactlyTheDocumentedKeys) {
    const CliRun run = RunCli("list " + card() + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto list = nlohmann::json::parse(run.out);
    ASSERT_EQ(list.size(), 2u);
    const std::int64_t t0 = 1714550400; // 2024-05-01 08:00:00 UTC
    const nlohmann::json expected0 = {{"number", 1},
                                      {"start", t0},
                                      {"end", t0 + 2},
                                      {"event", 1},
                                      {"eventName", "Record Start"},
                                      {"firstUnit", 1},
                                      {"firstSlot", 0}};
    EXPECT_EQ(list[0], expected0);
    EXPECT_EQ(list[1]["event"], 3);
    EXPECT_EQ(list[1]["eventName"], "Push Button By Not Overwrite");
    EXPECT_EQ(list[1]["firstSlot"], 1);
    EXPECT_EQ(list[1]["start"], t0 + 600);
}

TEST_F(CliTest, ListTextShowsTimesAndEvents) {
    const CliRun run = RunCli("list " + card());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("2024-05-01 08:00:00  2024-05-01 08:00:02  00:00:02  Record Start"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("2 recordings"), std::string::npos);
}

TEST_F(CliTest, InfoJson) {
    const CliRun run = RunCli("info " + card() + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto info = nlohmann::json::parse(run.out);
    EXPECT_EQ(info["type"], 11);
    EXPECT_EQ(info["diskId"], 10005);
    EXPECT_EQ(info["blockCount"], 8);
    EXPECT_EQ(info["validRecords"], 2);
    EXPECT_EQ(info["first"], 1714550400);
    EXPECT_EQ(info["last"], 1714550400 + 601);
}

TEST_F(CliTest, UnitsInPlayOrder) {
    const CliRun run = RunCli("units " + card() + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto units = nlohmann::json::parse(run.out);
    ASSERT_EQ(units.size(), 5u);
    for (std::size_t i = 0; i < units.size(); ++i) {
        EXPECT_EQ(units[i]["unit"], i + 1);
    }
    EXPECT_EQ(units[0]["recStart"], true);
    EXPECT_EQ(units[3]["eventType"], 2);
    EXPECT_EQ(units[3]["protect"], true);
    EXPECT_EQ(units[1]["channel"], 0);
    EXPECT_EQ(units[0]["gps"], "$GPRMC,\"quoted\"");
}

TEST_F(CliTest, FailuresNameTheSourceAndTheReason) {
    struct Case {
        std::string args;
        std::string expected;
    };
    const std::string image = (m_dir / "card.img").string();
    const std::string plain = (m_dir / "plain.img").string();
    std::ofstream(plain).close();
    std::filesystem::resize_file(plain, 0x16000000LL + 16 * 0x1000000LL);
    {
        std::ofstream(m_dir / "short.sd") << "too short";
        std::ofstream(m_dir / "notes.txt") << "x";
    }
    const Case cases[] = {
        {"list " + Quote((m_dir / "missing.sd").string()), "No such file or directory"},
        {"list " + Quote((m_dir / "short.sd").string()), "cannot read index area"},
        {"info car2://3 --drive 3=" + Quote(plain), "not a recorder card"},
        {"list " + Quote((m_dir / "notes.txt").string()), "not a raw backup file"},
        {"list car2://12 --drive 1=" + Quote(image), "drive number N from 0 to 9"},
        {"units car2://4 --drive 4=" + Quote((m_dir / "gone.img").string()), "cannot open"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.args);
        EXPECT_NE(run.status, 0) << c.args;
        EXPECT_TRUE(run.out.empty()) << c.args << ": " << run.out;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << c.args << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.err.rfind("tavero-cli: ", 0), 0u) << run.err;
    }
}

TEST_F(CliTest, ZeroedIndexIsRefused) {
    const std::vector<std::uint8_t> zeros(8 * 512, 0);
    m_card->writeAt(0x6000000, zeros.data(), zeros.size());
    const CliRun run = RunCli("list " + card());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("car2://3"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("no record magic"), std::string::npos) << run.err;
}

TEST(Cli, UsageErrors) {
    for (const char* args : {"", "dance x.sd", "list", "list a.sd b.sd", "list a.sd --verbose",
                             "list a.sd --drive 11=/x", "rmc extra"}) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err.find("usage:"), std::string::npos) << args;
    }
    EXPECT_EQ(RunCli("--help").status, 0);
}

TEST(Cli, RmcDecodesLineByLine) {
    const CliRun run =
        RunCli("rmc", "$GNRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A*57\r\n"
                      "$GNRMC,083559.00,V,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A*57\n"
                      "\n"
                      "$GPRMC,1,A,3345.0000,S,15112.5000,W,10.0,,0,,,A*00");
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "ok 47.285239500 8.565253667 0.007408000 77.520000000\n"
                       "fail\n"
                       "fail\n"
                       "ok -33.750000000 -151.208333333 18.520000000 0.000000000\n");
}

// play: the engine headless. A small card with sound on channel 0 and pictures on two channels.
class CliPlay : public ::testing::Test {
protected:
    void SetUp() override {
        sim::CardSpec plan;
        plan.outPath = (m_dir / "card.img").string();
        plan.blockCount = 4;
        sim::ChannelSpec c0;
        c0.channel = 0;
        c0.width = 96;
        c0.height = 64;
        c0.fps = 10;
        c0.gop = 5;
        c0.audio.kind = sim::AudioKind::Tone;
        sim::ChannelSpec c1 = c0;
        c1.channel = 1;
        c1.audio.kind = sim::AudioKind::None;
        plan.channels = {c0, c1};
        plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 4}};
        sim::Manifest manifest;
        std::string error;
        ASSERT_TRUE(sim::writeCard(plan, manifest, error)) << error;
        m_card = "car2://3 --drive 3=" + Quote(plan.outPath);
    }
    TempDir m_dir;
    std::string m_card;
};

TEST_F(CliPlay, FrameMd5LinesAndWavFiles) {
    const auto wav = m_dir / "wav";
    std::filesystem::create_directory(wav);
    const CliRun run = RunCli("play " + m_card + " --unpaced --framemd5 --duration 2 --wav-out " +
                              Quote(wav.string()));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::regex line("^([01]) (-?[0-9]+) 96x64 ([0-9a-f]{32})$");
    std::istringstream out(run.out);
    std::array<int, 2> pictures{};
    for (std::string text; std::getline(out, text);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text, m, line)) << text;
        ++pictures[static_cast<std::size_t>(std::stoi(m[1]))];
    }
    // Two seconds at 10 pictures/s, the first group's predicted pictures included.
    EXPECT_EQ(pictures[0], 20);
    EXPECT_EQ(pictures[1], 20);
    EXPECT_NE(run.err.find("channel 1: "), std::string::npos)
        << "the summary goes to standard error";
    // Channel 0's sound: a WAV file of 8000 Hz mono 16-bit samples.
    std::ifstream in(wav / "ch0.wav", std::ios::binary);
    std::string header(44, '\0');
    ASSERT_TRUE(in.read(header.data(), 44));
    EXPECT_EQ(header.substr(0, 4), "RIFF");
    EXPECT_EQ(header.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(static_cast<unsigned char>(header[24]) | static_cast<unsigned char>(header[25]) << 8,
              8000);
    EXPECT_GT(std::filesystem::file_size(wav / "ch0.wav"), 44u + 2 * 8000);
    // --duration cuts the sound too: two seconds and at most one more audio frame.
    EXPECT_LE(std::filesystem::file_size(wav / "ch0.wav"), 44u + 2 * 2 * 8000 + 4096);
    EXPECT_FALSE(std::filesystem::exists(wav / "ch1.wav")) << "channel 1 has no sound turned on";
}

TEST_F(CliPlay, OneChannelAndClearErrors) {
    CliRun run = RunCli("play " + m_card + " --unpaced --framemd5 --channels 2 --duration 1");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("\n0 "), std::string::npos);
    EXPECT_EQ(run.out.rfind("1 ", 0), 0u);

    run = RunCli("play " + m_card + " --unpaced --wav-out " + Quote((m_dir / "missing").string()));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no such folder"), std::string::npos) << run.err;
    run = RunCli("play " + m_card + " --channels 9");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("there is no channel 9"), std::string::npos) << run.err;
    run = RunCli("play " + m_card + " --entry 7 --unpaced");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("there is no recording 7"), std::string::npos) << run.err;
    for (const char* bad :
         {"--speed fast", "--speed 0", "--duration 0", "--seek -5", "--channels 1,x"}) {
        run = RunCli("play " + m_card + " " + bad);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_NE(run.err.find("usage:"), std::string::npos) << bad;
    }
}

} // namespace
} // namespace tavero::testing
