#include "platform/sound_device.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>
#include <vector>

namespace tavero::platform {
namespace {

TEST(SoundVolume, HundredthsOfADecibelToGain) {
    EXPECT_DOUBLE_EQ(VolumeGain(0), 1.0);
    EXPECT_DOUBLE_EQ(VolumeGain(250), 1.0) << "outputs never amplify";
    EXPECT_NEAR(VolumeGain(-2000), 0.1, 1e-12);
    EXPECT_NEAR(VolumeGain(-600), 0.501187, 1e-6);
    EXPECT_GT(VolumeGain(-9999), 0.0);
    EXPECT_EQ(VolumeGain(-10000), 0.0);
    EXPECT_EQ(VolumeGain(-20000), 0.0);
}

// SDL's disk driver plays into a file in real time, so the bytes a device played can be read
// back. SDL reads the driver's settings when audio is first set up, and a test program runs
// each test in a process of its own under CTest; run alone, these tests still pass when they
// come first.
class SdlDiskOutput : public ::testing::Test {
protected:
    void SetUp() override {
        file = std::filesystem::temp_directory_path() /
               ("tavero_sdl_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".raw");
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
        output = CreateSdlSoundOutput();
        if (!output->Init()) {
            GTEST_SKIP() << "SDL cannot open its disk driver: " << output->error();
        }
        ASSERT_TRUE(output->CreateBuffer());
    }
    void TearDown() override { std::filesystem::remove(file); }

    // Writes two blocks of a ramp at the ring's start, plays until the cursor has passed both
    // block middles, and returns what the device wrote once it is closed.
    std::vector<std::int16_t> playRamp(int volume, std::vector<std::int16_t>& ramp) {
        constexpr std::uint32_t bytes = 2 * SoundOutput::kBlockBytes;
        ramp.resize(bytes / 2);
        for (std::size_t i = 0; i < ramp.size(); ++i) {
            ramp[i] = static_cast<std::int16_t>(1000 + i * 5);
        }
        SoundOutput::Region region;
        EXPECT_TRUE(output->Lock(0, bytes, region));
        for (std::size_t i = 0; i < ramp.size(); ++i) {
            const auto v = static_cast<std::uint16_t>(ramp[i]);
            region.first[2 * i] = static_cast<std::uint8_t>(v);
            region.first[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
        }
        output->Unlock(region);
        output->SetVolume(volume);
        EXPECT_TRUE(output->Play());
        EXPECT_TRUE(output->WaitNotification(5000)) << "middle of block 0";
        EXPECT_TRUE(output->WaitNotification(5000)) << "middle of block 1";
        std::uint32_t play = 0;
        std::uint32_t write = 0;
        EXPECT_TRUE(output->positions(play, write));
        EXPECT_GE(play, SoundOutput::kBlockBytes + SoundOutput::kBlockBytes / 2);
        output->Stop();
        output.reset(); // closes the device, which closes its file

        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> raw{std::istreambuf_iterator<char>(in),
                                            std::istreambuf_iterator<char>()};
        std::vector<std::int16_t> samples(raw.size() / 2);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<std::int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
        }
        return samples;
    }

    std::filesystem::path file;
    std::unique_ptr<SoundOutput> output;
};

// The device plays silence until Play; the ramp starts at the first non-zero sample.
std::size_t FirstSound(const std::vector<std::int16_t>& samples) {
    std::size_t i = 0;
    while (i < samples.size() && samples[i] == 0) {
        ++i;
    }
    return i;
}

TEST_F(SdlDiskOutput, PlaysTheRingFromItsCursor) {
    std::vector<std::int16_t> ramp;
    const auto played = playRamp(0, ramp);
    const std::size_t start = FirstSound(played);
    const std::size_t heard = SoundOutput::kBlockBytes * 3 / 4; // 1.5 blocks of samples
    ASSERT_GE(played.size(), start + heard);
    for (std::size_t i = 0; i < heard; ++i) {
        ASSERT_EQ(played[start + i], ramp[i]) << "sample " << i;
    }
}

TEST_F(SdlDiskOutput, AppliesTheVolume) {
    std::vector<std::int16_t> ramp;
    const auto played = playRamp(-600, ramp);
    const std::size_t start = FirstSound(played);
    const double gain = VolumeGain(-600);
    ASSERT_GE(played.size(), start + 1000);
    for (std::size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(played[start + i], std::lround(ramp[i] * gain)) << "sample " << i;
    }
}

} // namespace
} // namespace tavero::platform
