// Real H.264 streams written by others, wrapped into cards by the simulator and exported through
// tavero-cli export: FFmpeg decodes every exported picture to the hash it gives the source
// stream's picture, in the stream's order. Also the command's contract and its errors.

#include "card_fixture.h"
#include "command_run.h"
#include "mkcard/card_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace tavero {
namespace {

const std::filesystem::path kCorpus = std::filesystem::path(TAVERO_CORPUS_DIR) / "h264";

using ShellRun = testing::CommandRun;

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ShellRun Shell(const testing::TempDir& /*dir*/, const std::string& line) {
    return testing::RunCommand(line);
}

ShellRun Cli(const testing::TempDir& dir, const std::string& arguments) {
    return Shell(dir, std::string("'") + TAVERO_CLI + "' " + arguments);
}

// The hashes of a framemd5 listing, in order.
std::vector<std::string> Hashes(const std::string& listing) {
    std::vector<std::string> hashes;
    std::istringstream in(listing);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::string md5 = line.substr(line.rfind(',') + 1);
        md5.erase(0, md5.find_first_not_of(' '));
        hashes.push_back(md5);
    }
    return hashes;
}

std::vector<std::string> ReferenceHashes(const std::string& stream) {
    std::filesystem::path file = kCorpus / "probe" / (stream + ".autoscale0.framemd5");
    if (!std::filesystem::exists(file)) {
        file = kCorpus / "probe" / (stream + ".framemd5");
    }
    return Hashes(Slurp(file));
}

std::string MakeCard(const testing::TempDir& dir, const std::filesystem::path& stream,
                     std::uint32_t seconds) {
    sim::CardSpec plan;
    plan.outPath = (dir / "card.img").string();
    plan.blockCount = 16;
    sim::ChannelSpec channel;
    channel.source = sim::VideoSource::File;
    channel.filePath = stream.string();
    channel.fps = 30;
    channel.audio.kind = sim::AudioKind::Tone;
    plan.channels = {channel};
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, seconds}};
    sim::Manifest manifest;
    std::string error;
    EXPECT_TRUE(sim::writeCard(plan, manifest, error)) << error;
    return plan.outPath;
}

class CorpusExport : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusExport, FfmpegDecodesTheStreamsOwnPictures) {
    const std::string name = GetParam();
    if (!std::filesystem::exists(kCorpus / name)) {
        GTEST_SKIP() << "corpus not found at " << kCorpus;
    }
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const auto reference = ReferenceHashes(name);
    ASSERT_FALSE(reference.empty());
    testing::TempDir dir;
    const auto seconds =
        static_cast<std::uint32_t>(std::min<std::size_t>(reference.size() / 30 + 2, 10));
    const std::string card = MakeCard(dir, kCorpus / name, seconds);
    const ShellRun exported = Cli(dir, "export car2://0 --drive 0=" + card + " --entry 1 -o '" +
                                           (dir / "x.avi").string() + "'");
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, (dir / "x1.avi").string() + "\n");

    const ShellRun decoded =
        Shell(dir, "ffmpeg -nostdin -v error -i '" + (dir / "x1.avi").string() +
                       "' -map 0:v -autoscale 0 -f framemd5 -");
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(decoded.err, "") << "FFmpeg has nothing to complain about";
    const auto hashes = Hashes(decoded.out);
    // The simulator loops the stream to fill the recording; the file starts at its first key
    // picture, which is the stream's first picture.
    ASSERT_GE(hashes.size(), std::size_t{seconds} * 30 - 2);
    // The recording ends in the middle of a loop: with B-pictures, the last few pictures lack
    // the reference pictures that come after them in the stream.
    constexpr std::size_t kTail = 16;
    for (std::size_t i = 0; i + kTail < hashes.size(); ++i) {
        ASSERT_EQ(hashes[i], reference[i % reference.size()]) << "picture " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusExport,
                         ::testing::Values("BA_MW_D.264",
                                           "Cisco_Men_whisper_640x320_CABAC_Bframe_9.264",
                                           "CVFC1_Sony_C.jsv", "test_cif_P_CABAC_slice.264",
                                           "DERIVED_sizechange_640x480-352x288-640x480.264"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) {
                                     ch = '_';
                                 }
                             }
                             return name;
                         });

TEST(CliExport, ContractAndErrors) {
    testing::TempDir dir;
    sim::CardSpec plan;
    plan.outPath = (dir / "card.img").string();
    plan.blockCount = 8;
    sim::ChannelSpec a;
    a.width = 160;
    a.height = 120;
    sim::ChannelSpec b = a;
    b.channel = 2;
    plan.channels = {a, b};
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 3}, {{2024, 5, 1, 9, 0, 0}, 3}};
    sim::Manifest manifest;
    std::string error;
    ASSERT_TRUE(sim::writeCard(plan, manifest, error)) << error;
    const std::string source = "car2://0 --drive 0=" + plan.outPath;

    // Channels 1 and 3 of the second recording; nothing for the empty channel 2.
    ShellRun run = Cli(dir, "export " + source + " --entry 2 -o '" +
                                (dir / "sub" / "trip.avi").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (dir / "sub" / "trip1.avi").string() + "\n" +
                           (dir / "sub" / "trip3.avi").string() + "\n");
    EXPECT_NE(run.err.find("progress 100%"), std::string::npos) << run.err;

    // A time range (seconds since 1970; TZ is UTC in the tests) and one channel.
    run = Cli(dir, "export " + source + " --from 1714550401 --to 1714550402 --channels 3 -o '" +
                       (dir / "r.avi").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (dir / "r3.avi").string() + "\n");

    // Existing files are not replaced.
    run = Cli(dir,
              "export " + source + " --entry 2 -o '" + (dir / "sub" / "trip.avi").string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("trip1.avi: already exists"), std::string::npos) << run.err;

    EXPECT_EQ(Cli(dir, "export " + source + " --entry 1 -o x.sd").status, 2);
    EXPECT_EQ(Cli(dir, "export " + source + " -o x.avi").status, 2);
    EXPECT_EQ(Cli(dir, "export " + source + " --entry 1 --from 1 --to 2 -o x.avi").status, 2);
    EXPECT_EQ(Cli(dir, "export " + source + " --entry 1 --channels 9 -o x.avi").status, 2);
    run = Cli(dir, "export " + source + " --entry 3 -o '" + (dir / "n.avi").string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("there is no recording 3"), std::string::npos) << run.err;
    run = Cli(dir, "export " + source + " --from 1 --to 2 -o '" + (dir / "n.avi").string() + "'");
    EXPECT_EQ(run.status, 1);
    run = Cli(dir,
              "export " + source + " --entry 1 --channels 2 -o '" + (dir / "n.avi").string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no pictures"), std::string::npos) << run.err;
    run = Cli(dir, "export car2://0 --drive 0=" + (dir / "missing.img").string() +
                       " --entry 1 -o '" + (dir / "m.avi").string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "m1.avi"));
    EXPECT_EQ(Cli(dir, "export --help").status, 0);
}

} // namespace
} // namespace tavero
