#include "engine/wav_file.h"
#include "fake_sound_output.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace tavero::engine {
namespace {

class WavFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("tavero_wav_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        path = (dir / "ch0.wav").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::vector<std::uint8_t> read() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
        return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
    }

    std::filesystem::path dir;
    std::string path;
};

TEST(WavHeader, BytesOfAnEightKilohertzMonoFile) {
    // 1000 bytes of data: RIFF size 1036 = 0x40C, byte rate 16000 = 0x3E80, rate 8000 = 0x1F40.
    const std::uint8_t expected[44] = {
        'R',  'I',  'F',  'F',  0x0C, 0x04, 0x00, 0x00, 'W',  'A',  'V',  'E',  'f',  'm',  't',
        ' ',  0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x80, 0x3E,
        0x00, 0x00, 0x02, 0x00, 0x10, 0x00, 'd',  'a',  't',  'a',  0xE8, 0x03, 0x00, 0x00,
    };
    const auto header = WavWriter::Header(1000);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), std::begin(expected)));
}

TEST_F(WavFile, HeaderFollowsTheDataAndOddDataIsPadded) {
    WavWriter wav;
    ASSERT_TRUE(wav.Open(path));
    EXPECT_EQ(read().size(), 44u);
    EXPECT_EQ(le32(read(), 40), 0u) << "claims nothing before the first flush";

    const std::vector<std::uint8_t> pcm = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(wav.Write(pcm));
    ASSERT_TRUE(wav.Flush());
    auto file = read();
    ASSERT_EQ(file.size(), 50u);
    EXPECT_EQ(le32(file, 4), 42u);
    EXPECT_EQ(le32(file, 40), 6u);

    ASSERT_TRUE(wav.WriteFill(0, 3));
    ASSERT_TRUE(wav.Close());
    file = read();
    ASSERT_EQ(file.size(), 54u) << "9 bytes of data and a pad byte";
    EXPECT_EQ(le32(file, 40), 9u);
    EXPECT_EQ(le32(file, 4), 36u + 9u + 1u);
    EXPECT_EQ(file[44 + 8], 0);

    // Opening again starts an empty file.
    ASSERT_TRUE(wav.Open(path));
    ASSERT_TRUE(wav.Close());
    EXPECT_EQ(read().size(), 44u);
}

TEST_F(WavFile, FailuresAreReportedAndNeverOverclaimed) {
    WavWriter wav;
    EXPECT_FALSE(wav.Write(std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(wav.lastError().code, WavError::Code::NotOpen);

    EXPECT_FALSE(wav.Open((dir / "missing" / "ch0.wav").string()));
    EXPECT_EQ(wav.lastError().code, WavError::Code::Open);
    EXPECT_NE(wav.lastError().detail.find("missing"), std::string::npos);

    // A file size limit stands in for a full disk.
    ASSERT_TRUE(wav.Open(path));
    const std::vector<std::uint8_t> chunk(64, 0x55);
    ASSERT_TRUE(wav.Write(chunk));
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 44 + 64 + 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool wrote = wav.Write(std::vector<std::uint8_t>(200, 0x66));
    const bool later = wav.Write(chunk);
    const bool closed = wav.Close();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(wrote);
    EXPECT_EQ(wav.lastError().code, WavError::Code::Write);
    EXPECT_EQ(wav.lastError().offset, 44u + 64u);
    EXPECT_FALSE(later) << "refuses data after a failure";
    EXPECT_FALSE(closed) << "a file with lost data does not close as a success";
    const auto file = read();
    ASSERT_EQ(file.size(), 44u + 64u) << "the partial write was cut off";
    EXPECT_EQ(le32(file, 40), 64u);
    EXPECT_EQ(le32(file, 4), 36u + 64u);
}

TEST_F(WavFile, TeeAppendsEveryBlockInOrderAndKeepsPlaying) {
    auto state = std::make_shared<test::FakeOutputState>();
    WavTeeOutput tee(std::make_unique<test::FakeSoundOutput>(state), path);
    ASSERT_TRUE(tee.Init());
    ASSERT_TRUE(tee.CreateBuffer());
    tee.SetVolume(-10000); // applies to the device, not to the file
    std::vector<std::uint8_t> expected;
    for (std::uint32_t i = 0; i < 3; ++i) {
        SoundOutput::Region region;
        ASSERT_TRUE(tee.Lock(i * SoundOutput::kBlockBytes, SoundOutput::kBlockBytes, region));
        std::fill(region.first, region.first + region.firstBytes, static_cast<std::uint8_t>(i + 1));
        expected.insert(expected.end(), region.first, region.first + region.firstBytes);
        tee.Unlock(region);
    }
    EXPECT_EQ(state->blockCount(), 3u) << "the device got every block";
    tee.Stop(); // patches the header: the file is valid while the output lives on
    const auto file = read();
    ASSERT_EQ(file.size(), 44u + expected.size());
    EXPECT_EQ(le32(file, 40), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + 44));
    EXPECT_EQ(state->volume, -10000);
}

} // namespace
} // namespace tavero::engine
