// tavero-cli play as a person uses it: scripts of player commands, durations on cards with
// channels that have no pictures, headless runs without a sound device, interrupts, and the
// times it shows in any time zone.

#include "card_fixture.h"
#include "command_run.h"
#include "mkcard/card_writer.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace tavero::testing {
namespace {

class CliPlayScript : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir();
        sim::CardSpec plan;
        plan.outPath = (*s_dir / "card.img").string();
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
        // Summer: daylight saving is on in most zones that have it.
        plan.recordings = {{{2024, 7, 1, 8, 0, 0}, 30}, {{2024, 7, 1, 9, 0, 0}, 10}};
        sim::Manifest manifest;
        std::string error;
        ASSERT_TRUE(sim::writeCard(plan, manifest, error)) << error;
        s_card = new std::string("car2://3 --drive 3=" + Quote(plan.outPath));
    }
    static void TearDownTestSuite() {
        delete s_card;
        delete s_dir;
    }
    static CommandRun Cli(const std::string& args, const std::string& input = "",
                          const std::string& env = "TZ=UTC SDL_AUDIODRIVER=dummy") {
        return RunCommand(env + " " + TAVERO_CLI + " " + args, input);
    }
    // 2024-07-01 08:00:00 UTC.
    static constexpr std::int64_t kStart = 1719820800;
    static TempDir* s_dir;
    static std::string* s_card;
};

TempDir* CliPlayScript::s_dir = nullptr;
std::string* CliPlayScript::s_card = nullptr;

struct Line {
    long long clockMs = 0;
    int channel = 0;
    long long ptsUs = 0;
};

std::vector<Line> Lines(const std::string& out) {
    const std::regex form("^([0-9]+) ([0-7]) (-?[0-9]+) [0-9]+x[0-9]+ [0-9a-f]{32}$");
    std::vector<Line> lines;
    std::istringstream in(out);
    for (std::string text; std::getline(in, text);) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(text, m, form)) << text;
        if (!m.empty()) {
            lines.push_back({std::stoll(m[1]), std::stoi(m[2]), std::stoll(m[3])});
        }
    }
    return lines;
}

TEST_F(CliPlayScript, ScriptSeeksReversesAndPlaysAnotherRecording) {
    // Seek into the first recording, reverse, seek again, then play the second recording on
    // the same player: each step shows what it should.
    const std::string script = "# a person at the player\n"
                               "wait 200\n"
                               "seek " +
                               std::to_string(kStart + 20) +
                               "\n"
                               "wait 600\n"
                               "speed -1\n"
                               "wait 300\n"
                               "seek " +
                               std::to_string(kStart + 10) +
                               "\n"
                               "wait 300\n"
                               "play 2\n"
                               "audio 1 off\n";
    const CommandRun run =
        Cli("play " + *s_card + " --channels 1 --framemd5 --clock --duration 1 --script -", script);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    bool sawForward20 = false;
    bool sawBackward10 = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].channel, 0);
        if (i > 0) {
            EXPECT_GE(lines[i].clockMs, lines[i - 1].clockMs) << "the clock only runs forwards";
        }
        sawForward20 =
            sawForward20 || (lines[i].ptsUs >= 20'000'000 && lines[i].ptsUs < 21'000'000);
        sawBackward10 =
            sawBackward10 || (lines[i].ptsUs <= 10'000'000 && lines[i].ptsUs > 9'000'000);
    }
    EXPECT_TRUE(sawForward20) << "the first seek shows its second";
    EXPECT_TRUE(sawBackward10) << "the seek while reversing shows the second before its target";
    // The second recording plays from its start, one second of it (--duration after the script).
    EXPECT_LT(lines.back().ptsUs, 1'000'000);
    EXPECT_GT(lines.back().clockMs, 1400);
}

TEST_F(CliPlayScript, ScriptMistakesAreUsageErrorsNamingTheLine) {
    CommandRun run = Cli("play " + *s_card + " --script -", "wait 10\n\nrewind 5\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("line 3: unknown command 'rewind'"), std::string::npos) << run.err;
    run = Cli("play " + *s_card + " --script -", "seek tomorrow\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("line 1: seek needs seconds since 1970"), std::string::npos) << run.err;
    run = Cli("play " + *s_card + " --script -", "audio 9 on\n");
    EXPECT_EQ(run.status, 2);
    run = Cli("play " + *s_card + " --script " + Quote((s_dir->path() / "missing.txt").string()));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot read the script"), std::string::npos) << run.err;
}

TEST_F(CliPlayScript, DurationEndsThePlayWhenTheChannelsWithPicturesHavePlayed) {
    // Six of the eight channels never show a picture; paced, two seconds of a 30-second
    // recording must not play to its end. `timeout` only catches a hang.
    const CommandRun run = RunCommand(std::string("TZ=UTC SDL_AUDIODRIVER=dummy timeout 20 ") +
                                      TAVERO_CLI + " play " + *s_card + " --duration 2");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("channel 1: 20 pictures"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("channel 2: 20 pictures"), std::string::npos) << run.out;
}

TEST_F(CliPlayScript, UnpacedPlayNeverOpensTheSoundDevice) {
    // SDL's disk driver writes what the device plays into a file: unpaced, there is none.
    const auto device = s_dir->path() / "device.raw";
    const CommandRun run =
        Cli("play " + *s_card + " --unpaced --duration 1", "",
            "TZ=UTC SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + Quote(device.string()));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(std::filesystem::exists(device));
    EXPECT_EQ(run.err.find("without sound"), std::string::npos) << run.err;
}

TEST_F(CliPlayScript, InterruptEndsThePlayAndLeavesItsSoundFileWhole) {
    const auto wav = s_dir->path() / "wav";
    std::filesystem::create_directories(wav);
    const std::string command = std::string("TZ=UTC SDL_AUDIODRIVER=dummy ") + TAVERO_CLI +
                                " play " + *s_card + " --wav-out " + Quote(wav.string()) +
                                " & pid=$!; sleep 1.5; kill -TERM $pid; "
                                "wait $pid; echo status=$?";
    const CommandRun run = RunCommand(command);
    EXPECT_NE(run.out.find("status=143"), std::string::npos) << run.out << run.err;
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
    std::ifstream in(wav / "ch0.wav", std::ios::binary);
    std::string header(44, '\0');
    ASSERT_TRUE(in.read(header.data(), 44));
    const auto riff = static_cast<std::uint32_t>(
        static_cast<unsigned char>(header[4]) | static_cast<unsigned char>(header[5]) << 8 |
        static_cast<unsigned char>(header[6]) << 16 | static_cast<unsigned char>(header[7]) << 24);
    EXPECT_EQ(riff + 8, std::filesystem::file_size(wav / "ch0.wav"))
        << "the header counts what is there";
    EXPECT_GT(std::filesystem::file_size(wav / "ch0.wav"), 44u);
}

TEST_F(CliPlayScript, TimesAreShownAsTheRecorderStampedThem) {
    // The recording was stamped 08:00:00 on 1 July; in a zone with daylight saving it must not
    // read 09:00:00.
    for (const char* zone : {"UTC", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0"}) {
        const CommandRun run = Cli("list " + *s_card, "", std::string("TZ='") + zone + "'");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("2024-07-01 08:00:00"), std::string::npos) << zone << "\n"
                                                                          << run.out;
        const CommandRun units = Cli("units " + *s_card, "", std::string("TZ='") + zone + "'");
        EXPECT_NE(units.out.find("2024-07-01 08:00:00"), std::string::npos) << zone;
    }
}

} // namespace
} // namespace tavero::testing
