#include "app/main_window_rules.h"
#include "fake_player.h"

#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::app {
namespace {

using recorderconfig::ConfigSector;
using Kind = StartupCommand::Kind;

struct OffsetCase {
    const char* what;
    bool layoutMark;
    std::uint32_t zoneSeconds;
    std::uint32_t blockZoneCode;
    std::int64_t computerOffset;
    std::int64_t expected;
};

class TimeOffset : public testing::TestWithParam<OffsetCase> {};

TEST_P(TimeOffset, FromTheSectorImage) {
    const OffsetCase& c = GetParam();
    ConfigSector image;
    if (c.layoutMark) {
        image.layoutMark = recorderconfig::kLayoutMarkCurrent;
    }
    image.zoneSeconds = c.zoneSeconds;
    image.blockZoneCode = c.blockZoneCode;
    EXPECT_EQ(ComputeTimeOffset(image, c.computerOffset), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeOffset,
    testing::Values(OffsetCase{"no card, UTC+05:30", false, 0, 0, 19800, 18000},
                    OffsetCase{"no card, UTC-09:30", false, 0, 0, -34200, -32400},
                    OffsetCase{"precise zone", true, 43200 + 28800, 14, 0, 28800},
                    OffsetCase{"precise zone west", true, 43200 - 12600, 0, 3600, -12600},
                    OffsetCase{"precise zone of 0 seconds", true, 0, 0, 0, -43200},
                    OffsetCase{"code 1 is UTC", false, 0, 1, 7200, 0},
                    OffsetCase{"code 2 is UTC-1", false, 0, 2, 7200, -3600},
                    OffsetCase{"code 25 is UTC+12", false, 0, 25, 0, 43200},
                    OffsetCase{"unknown code: the computer's zone", false, 0, 99, 3600, 3600}));

TEST(ConfigurationSector, WithoutACardStartsFromTheDefaultKeepingZoneAndUnit) {
    ConfigSector image;
    image.blockZoneCode = 9;
    image.speedUnit = 1;
    image.plate[0] = 'X';
    const ConfigSector s = SectorForConfiguration(image, -18000, false, false);
    EXPECT_EQ(s.magic, recorderconfig::kConfigSectorMagic);
    EXPECT_EQ(s.diskId, 0u);
    EXPECT_EQ(s.plate[0], 0);
    EXPECT_EQ(s.blockZoneCode, 9u);
    EXPECT_EQ(s.speedUnit, 1u);
    EXPECT_EQ(s.layoutMark, recorderconfig::kLayoutMarkCurrent);
    EXPECT_EQ(ComputeTimeOffset(s, 0), -18000);
    EXPECT_EQ(SectorForConfiguration(image, 0, true, true).diskId, 0u);
    EXPECT_EQ(SectorForConfiguration(image, 0, true, false), image);
}

TEST(CommandLine, OpensAPathOrScansForCards) {
    using C = StartupCommand;
    EXPECT_THAT(ParseCommandLine({}), testing::ElementsAre(C{Kind::ScanCards, {}}));
    EXPECT_THAT(ParseCommandLine({"-f", "/x/car.sd"}),
                testing::ElementsAre(C{Kind::OpenSource, "/x/car.sd"}));
    EXPECT_THAT(ParseCommandLine({"-F", "-weird.sd"}),
                testing::ElementsAre(C{Kind::OpenSource, "-weird.sd"}));
    EXPECT_TRUE(ParseCommandLine({"-F"}).empty());
    EXPECT_TRUE(ParseCommandLine({"car.sd", "other"}).empty());
    EXPECT_THAT(ParseCommandLine({"-x"}), testing::ElementsAre(C{Kind::ScanCards, {}}));
    EXPECT_THAT(ParseCommandLine({"-"}), testing::ElementsAre(C{Kind::ScanCards, {}}));
    EXPECT_THAT(ParseCommandLine({"-file", "a.sd", "-s"}),
                testing::ElementsAre(C{Kind::OpenSource, "a.sd"}, C{Kind::ScanCards, {}}));
}

TEST(Keyboard, KeysAndClose) {
    EXPECT_EQ(KeyActionFor(WindowKey::F3), KeyAction::LaunchOldPlayer);
    EXPECT_EQ(KeyActionFor(WindowKey::Space), KeyAction::Swallow);
    EXPECT_EQ(KeyActionFor(WindowKey::Enter), KeyAction::CloseWindow);
    EXPECT_EQ(KeyActionFor(WindowKey::Escape), KeyAction::CloseWindow);
    EXPECT_EQ(KeyActionFor(WindowKey::Other), KeyAction::None);
    EXPECT_TRUE(MayClose(false, false));
    EXPECT_FALSE(MayClose(true, false));
    EXPECT_FALSE(MayClose(false, true));
}

class Trailer : public testing::Test {
protected:
    void giveTrailer(std::int16_t bigSample, const std::string& gps) {
        store::UnitTrailer t;
        t.magic = store::kTrailerMagic;
        t.unitNo = 7;
        t.unitTime.bytes = {224, 5, 1, 8, 0, 30}; // 2024-05-01 08:00:30
        t.gCount = 3;
        t.gSamples[0] = {10, 20, 30};
        t.gSamples[1] = {bigSample, 0, 0};
        t.gSamples[2] = {-5, -6, -7};
        std::memcpy(t.gpsText.data(), gps.data(), std::min(gps.size(), t.gpsText.size() - 1));
        // The player hands out the last trailer in host order.
        const auto bytes = store::TrailerToHostImage(t);
        std::copy(bytes.begin(), bytes.end(), player.trailer.begin());
        player.trailerOk = true;
    }

    test::FakePlayer player;
    GSensorHistory history;
    PaintThrottle throttle;
};

TEST_F(Trailer, FeedsTheGaugesAndRepaintsAtMostEvery150Ms) {
    giveTrailer(400, "$GNRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A*57");
    TrailerOutcome out = HandleUnitTrailer(player, history, throttle, {false, false, 0, 1000});
    ASSERT_TRUE(out.gotTrailer);
    EXPECT_TRUE(out.clearBackupTimeDisplay);
    EXPECT_FALSE(out.reportTimeToBackup);
    EXPECT_EQ(out.unitTime, store::PackedTimeToSeconds(out.trailer.unitTime));
    EXPECT_THAT(history.samples(),
                testing::ElementsAre(store::GSample{10, 20, 30}, store::GSample{0, 0, 0},
                                     store::GSample{-5, -6, -7}));
    ASSERT_TRUE(out.gps.has_value());
    EXPECT_NEAR(out.gps->latitude, 47.285239, 1e-6);
    EXPECT_TRUE(out.repaintGauges);
    out = HandleUnitTrailer(player, history, throttle, {false, false, 0, 1100});
    EXPECT_FALSE(out.repaintGauges);
    EXPECT_EQ(history.samples().size(), 6u);
}

TEST_F(Trailer, WhileABackupWritesOnlyTheBackupHearsOfIt) {
    giveTrailer(1, "");
    const TrailerOutcome out = HandleUnitTrailer(player, history, throttle, {true, false, 0, 1000});
    EXPECT_TRUE(out.reportTimeToBackup);
    EXPECT_FALSE(out.clearBackupTimeDisplay);
    EXPECT_TRUE(history.samples().empty());
    EXPECT_FALSE(out.repaintGauges);
    const TrailerOutcome exporting =
        HandleUnitTrailer(player, history, throttle, {false, true, 0, 2000});
    EXPECT_FALSE(exporting.reportTimeToBackup);
    EXPECT_TRUE(history.samples().empty());
    EXPECT_FALSE(exporting.gps.has_value());
}

TEST_F(Trailer, NoTrailerChangesNothing) {
    const TrailerOutcome out = HandleUnitTrailer(player, history, throttle, {true, false, 0, 1000});
    EXPECT_FALSE(out.gotTrailer);
    EXPECT_TRUE(out.clearBackupTimeDisplay);
    EXPECT_FALSE(out.repaintGauges);
}

TEST(Removal, StopsOnlyWhenThePlayedSourceIsGone) {
    const auto gone = [](const std::string&) { return false; };
    const auto there = [](const std::string&) { return true; };
    const RemovalDecision d = DecideOnDeviceRemoval("/dev/sdx", true, gone);
    EXPECT_TRUE(d.stopPlayback);
    EXPECT_EQ(d.message, std::string(kSourceRemovedText) + "/dev/sdx");
    EXPECT_FALSE(DecideOnDeviceRemoval("/dev/sdx", true, there).stopPlayback);
    EXPECT_FALSE(DecideOnDeviceRemoval("/dev/sdx", false, gone).stopPlayback);
    EXPECT_FALSE(DecideOnDeviceRemoval("", true, gone).stopPlayback);
    EXPECT_TRUE(DecideOnDeviceRemoval("/nonexistent/tavero/card.sd", true).stopPlayback);
}

TEST(Snapshot, TextsAndName) {
    std::tm now{};
    now.tm_year = 124;
    now.tm_mon = 4;
    now.tm_mday = 1;
    now.tm_hour = 9;
    now.tm_min = 5;
    now.tm_sec = 7;
    SnapshotTexts t = MakeSnapshotTexts("/home/me/Snapshot", now, -3.5, 120.25, 62.54);
    EXPECT_EQ(t.prefix, "/home/me/Snapshot/img-2024-05-01-09-05-07_Ch");
    EXPECT_EQ(t.latitude, "    3.500000 S");
    EXPECT_EQ(t.longitude, "  120.250000 E");
    EXPECT_EQ(t.speed, "  62.5 Km/h");
    EXPECT_TRUE(t.stamped);
    t = MakeSnapshotTexts("/snap/", now, 0, 7, 0);
    EXPECT_EQ(t.prefix, "/snap/img-2024-05-01-09-05-07_Ch");
    EXPECT_FALSE(t.stamped); // latitude exactly 0: the plain snapshot
}

} // namespace
} // namespace tavero::app
