// Real H.264 streams written by others, wrapped into cards by the simulator and played through
// the engine: every picture shown must be one FFmpeg decodes from the same stream, in FFmpeg's
// order, with the same hash.

#include "card_fixture.h"
#include "mkcard/card_writer.h"
#include "picture_window.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tavero {
namespace {

using testing::PictureWindow;

const std::filesystem::path kCorpus = std::filesystem::path(TAVERO_CORPUS_DIR) / "h264";

// The hashes of `ffmpeg -autoscale 0 -f framemd5` in the corpus's probe folder.
std::vector<std::string> ReferenceHashes(const std::string& stream) {
    std::filesystem::path file = kCorpus / "probe" / (stream + ".autoscale0.framemd5");
    if (!std::filesystem::exists(file)) {
        file = kCorpus / "probe" / (stream + ".framemd5");
    }
    std::vector<std::string> hashes;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t comma = line.rfind(',');
        std::string md5 = line.substr(comma + 1);
        md5.erase(0, md5.find_first_not_of(' '));
        hashes.push_back(md5);
    }
    return hashes;
}

// The shown pictures, from some point on, follow the stream's pictures round and round (the
// simulator loops the stream to fill the recording). Before that point the engine may leave
// out the predicted pictures of the first group; the point must come within the first loop.
::testing::AssertionResult FollowsTheStream(const std::vector<std::string>& shown,
                                            const std::vector<std::string>& reference) {
    for (const std::string& h : shown) {
        if (std::find(reference.begin(), reference.end(), h) == reference.end()) {
            return ::testing::AssertionFailure() << "a picture FFmpeg never decodes: " << h;
        }
    }
    const std::size_t n = reference.size();
    for (std::size_t from = 0; from < shown.size() && from <= n; ++from) {
        for (std::size_t offset = 0; offset < n; ++offset) {
            if (reference[offset] != shown[from]) {
                continue;
            }
            std::size_t k = from;
            while (k < shown.size() && shown[k] == reference[(offset + k - from) % n]) {
                ++k;
            }
            if (k == shown.size()) {
                return ::testing::AssertionSuccess();
            }
        }
    }
    return ::testing::AssertionFailure()
           << "the " << shown.size() << " pictures shown do not follow the stream's order";
}

class CorpusStream : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusStream, PlaysWithFfmpegsPictureHashes) {
    const std::string name = GetParam();
    const auto stream = kCorpus / name;
    if (!std::filesystem::exists(stream)) {
        GTEST_SKIP() << "corpus not found at " << kCorpus;
    }
    const auto reference = ReferenceHashes(name);
    ASSERT_FALSE(reference.empty());
    testing::TempDir dir;
    sim::CardSpec plan;
    plan.outPath = (dir / "card.img").string();
    plan.blockCount = 16;
    sim::ChannelSpec channel;
    channel.channel = 0;
    channel.source = sim::VideoSource::File;
    channel.filePath = stream.string();
    channel.fps = 30;
    plan.channels = {channel};
    // Long enough to loop the stream at least once, at most 12 s.
    const auto seconds =
        static_cast<std::uint32_t>(std::min<std::size_t>(reference.size() / 30 + 3, 12));
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, seconds}};
    sim::Manifest manifest;
    std::string error;
    ASSERT_TRUE(sim::writeCard(plan, manifest, error)) << error;

    engine::RecordingSink sink;
    PictureWindow window;
    testing::ControlPtr control = testing::OpenUnpaced(sink, window, 6, plan.outPath);
    store::IndexRecord* first = engine::PlayerLoadIndex(control.get());
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(engine::PlayerPlay(control.get(), first, 0)) << control->lastError();
    ASSERT_TRUE(testing::WaitForChannelEnds(sink, {0}, 60000));
    engine::PlayerClose(control.get());

    std::vector<std::string> shown;
    for (const auto& p : window.shown(0)) {
        shown.push_back(p.md5);
    }
    if (name == "Error_I_P.264") {
        return; // deliberately damaged: it only has to play without harm
    }
    // After a start the queue leaves out the predicted pictures up to the second key picture,
    // so of a stream with a single key picture the first loop shows only that one; everything
    // after it is shown.
    const std::size_t written = std::size_t{seconds} * 30;
    ASSERT_GE(shown.size() + reference.size(), written);
    EXPECT_TRUE(FollowsTheStream(shown, reference));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusStream,
                         ::testing::Values("BA1_FT_C.264", "BA_MW_D.264", "CVFC1_Sony_C.jsv",
                                           "Cisco_1280x720_CAVLC_Bframe_9.264",
                                           "Cisco_Men_whisper_640x320_CABAC_Bframe_9.264",
                                           "DERIVED_sizechange_640x480-352x288-640x480.264",
                                           "Error_I_P.264", "MR1_MW_A.264", "Zhling_1280x720.264",
                                           "test_cif_P_CABAC_slice.264", "video-cif-250.h264",
                                           "x264_test.264"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) {
                                     ch = '_';
                                 }
                             }
                             return name;
                         });

TEST(CorpusSizeChange, EachNewSizeIsAnnounced) {
    const auto stream = kCorpus / "DERIVED_sizechange_640x480-352x288-640x480.264";
    if (!std::filesystem::exists(stream)) {
        GTEST_SKIP() << "corpus not found";
    }
    testing::TempDir dir;
    sim::CardSpec plan;
    plan.outPath = (dir / "card.img").string();
    plan.blockCount = 8;
    sim::ChannelSpec channel;
    channel.source = sim::VideoSource::File;
    channel.filePath = stream.string();
    channel.fps = 30;
    plan.channels = {channel};
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 7}};
    sim::Manifest manifest;
    std::string error;
    ASSERT_TRUE(sim::writeCard(plan, manifest, error)) << error;
    engine::RecordingSink sink;
    PictureWindow window;
    testing::ControlPtr control = testing::OpenUnpaced(sink, window, 6, plan.outPath);
    ASSERT_TRUE(engine::PlayerPlay(control.get(), engine::PlayerLoadIndex(control.get()), 0));
    ASSERT_TRUE(testing::WaitForChannelEnds(sink, {0}, 60000));
    // 640x480 (x264's black frames, whose first group the gate leaves at its key picture),
    // 352x288, 640x480 again, and so on round the loop.
    int changes = 0;
    int width = 0;
    for (const auto& p : window.shown(0)) {
        if (p.width != width) {
            ++changes;
            width = p.width;
        }
    }
    EXPECT_GE(changes, 3);
    EXPECT_EQ(sink.Count(engine::kMsgVideoSize), static_cast<std::size_t>(changes));
}

} // namespace
} // namespace tavero
