#include "mkcard/annexb_splitter.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavero::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// One NAL with a 4-byte start code (or 3-byte when shortCode).
Bytes nal(uint8_t header, Bytes body, bool shortCode = false) {
    Bytes out = shortCode ? Bytes{0, 0, 1} : Bytes{0, 0, 0, 1};
    out.push_back(header);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

const Bytes kSps = nal(0x67, {0x42, 0x00, 0x1E});
const Bytes kPps = nal(0x68, {0xCE, 0x38});
// Slices: the top bit of the first body byte set means first_mb_in_slice == 0.
Bytes idr(uint8_t tag, bool firstSlice = true) {
    return nal(0x65, {firstSlice ? uint8_t(0x88) : uint8_t(0x20), tag});
}
Bytes pSlice(uint8_t tag, bool firstSlice = true) {
    return nal(0x41, {firstSlice ? uint8_t(0x9A) : uint8_t(0x30), tag});
}

TEST(AnnexBSplitter, SplitsAtFirstSlicesAndParameterSets) {
    // Picture 1: SPS PPS IDR in two slices; picture 2: P; picture 3: SEI + P in two slices
    // (3-byte start code); picture 4: AUD + P.
    const Bytes stream =
        concat({kSps, kPps, idr(1), idr(2, false), pSlice(3), nal(0x06, {0x05}), pSlice(4),
                nal(0x41, {0x30, 5}, true), nal(0x09, {0xF0}), pSlice(6)});
    AnnexBSplitter splitter;
    std::vector<Picture> pictures;
    splitter.split(stream, pictures);
    ASSERT_EQ(pictures.size(), 4u);
    EXPECT_TRUE(pictures[0].key);
    EXPECT_FALSE(pictures[1].key);
    EXPECT_EQ(pictures[0].bytes, concat({kSps, kPps, idr(1), idr(2, false)}));
    EXPECT_EQ(pictures[2].bytes,
              concat({nal(0x06, {0x05}), pSlice(4), nal(0x41, {0x30, 5}, true)}));
    EXPECT_EQ(pictures[3].bytes, concat({nal(0x09, {0xF0}), pSlice(6)}));
    EXPECT_EQ(splitter.repairedKeyPictures(), 0u);
}

TEST(AnnexBSplitter, PutsLastParameterSetsInFrontOfBareKeyPictures) {
    AnnexBSplitter splitter;
    std::vector<Picture> pictures;
    // Fed in pieces, as an encoder hands out packets; the second IDR comes without headers.
    splitter.split(concat({kSps, kPps, idr(1)}), pictures);
    splitter.split(pSlice(2), pictures);
    splitter.split(idr(3), pictures);
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_TRUE(pictures[2].key);
    EXPECT_EQ(pictures[2].bytes, concat({kSps, kPps, idr(3)}));
    EXPECT_EQ(splitter.repairedKeyPictures(), 1u);
}

TEST(AnnexBSplitter, DropsLeadingGarbageTrailingZerosAndHeaderOnlyTails) {
    const Bytes stream = concat({Bytes{0xFF, 0x12}, kSps, kPps, idr(1), Bytes{0, 0}, kSps});
    AnnexBSplitter splitter;
    std::vector<Picture> pictures;
    splitter.split(stream, pictures);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].bytes, concat({kSps, kPps, idr(1)}));
}

// Picture counts against FFmpeg's own frame listing of the corpus streams.
class CorpusSplit : public testing::TestWithParam<const char*> {};

TEST_P(CorpusSplit, OnePicturePerDecodedFrame) {
    const std::filesystem::path dir = std::filesystem::path(TAVERO_CORPUS_DIR) / "h264";
    const std::string name = GetParam();
    if (!std::filesystem::exists(dir / name))
        GTEST_SKIP() << "corpus not found at " << dir << "; H.264 corpus tests skipped";

    std::ifstream csv(dir / "probe" / (name + ".frames.csv"));
    ASSERT_TRUE(csv) << "no probe listing for " << name;
    std::string line;
    std::getline(csv, line); // column titles
    size_t frames = 0;
    size_t keyFrames = 0;
    while (std::getline(csv, line)) {
        if (line.empty())
            continue;
        ++frames;
        keyFrames += line.find(",1,") == line.find(',') ? 1 : 0;
    }

    std::vector<Picture> pictures;
    std::string error;
    ASSERT_TRUE(splitAnnexBFile((dir / name).string(), pictures, error)) << error;
    EXPECT_EQ(pictures.size(), frames);
    size_t keys = 0;
    for (const Picture& picture : pictures) {
        keys += picture.key ? 1 : 0;
        if (picture.key) {
            // Self-contained: SPS and PPS somewhere ahead of the first IDR slice.
            bool sps = false, pps = false;
            for (size_t i = 0; i + 3 < picture.bytes.size(); ++i) {
                if (picture.bytes[i] != 0 || picture.bytes[i + 1] != 0 || picture.bytes[i + 2] != 1)
                    continue;
                const int type = picture.bytes[i + 3] & 0x1F;
                sps = sps || type == 7;
                pps = pps || type == 8;
                if (type == 5)
                    break;
            }
            EXPECT_TRUE(sps && pps);
        }
    }
    EXPECT_EQ(keys, keyFrames);
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusSplit,
                         testing::Values("BA_MW_D.264", "MR1_MW_A.264", "BA1_FT_C.264",
                                         "test_cif_P_CABAC_slice.264",
                                         "Cisco_Men_whisper_640x320_CABAC_Bframe_9.264",
                                         "Zhling_1280x720.264", "video-cif-250.h264",
                                         "x264_test.264",
                                         "DERIVED_sizechange_640x480-352x288-640x480.264"),
                         [](const testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             for (char& c : name)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(AnnexBSplitter, MissingFileIsAClearError) {
    std::vector<Picture> pictures;
    std::string error;
    EXPECT_FALSE(splitAnnexBFile("/nonexistent/x.264", pictures, error));
    EXPECT_NE(error.find("/nonexistent/x.264"), std::string::npos);
}

} // namespace
} // namespace tavero::sim
