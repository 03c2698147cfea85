// Snapshots: folders made from the prefix, one BMP per channel with a picture, the stamp texts
// where the player puts them, and the command-line snapshot.

#include "card_fixture.h"
#include "engine/notifications.h"
#include "engine/ozu_ctrl.h"
#include "engine/player.h"
#include "export/snapshot.h"
#include "mkcard/card_writer.h"
#include "platform/create_path.h"
#include "platform/drive_table.h"

#include <QGuiApplication>
#include <QImage>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace tavero {
namespace {

TEST(CreatePath, MakesEachFolderOnceAndRefusesAFileInTheWay) {
    testing::TempDir dir;
    const std::string base = dir.path().string();
    EXPECT_TRUE(platform::CreatePath(base + "//a//b/img_Ch"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a" / "b"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a" / "b" / "img_Ch")) << "the last part is a name";
    EXPECT_TRUE(platform::CreatePath(base + "/a/b/again")) << "existing folders are fine";
    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(platform::CreatePath(base + "/file/x"));
    EXPECT_FALSE(platform::CreatePath(base + "/file/deeper/x"));
    EXPECT_TRUE(platform::CreatePath("relative-name-only"));
}

TEST(Snapshot, StampPositionsAndTexts) {
    const auto at = exporting::StampPositions(704, 576);
    EXPECT_EQ(at[0].x, 353);
    EXPECT_EQ(at[1].x, 470);
    EXPECT_EQ(at[2].x, 587);
    for (const auto& p : at) {
        EXPECT_EQ(p.y, 552);
    }
    EXPECT_EQ(exporting::StampLatitude(-33.5), "   33.500000 S");
    EXPECT_EQ(exporting::StampLatitude(0), "    0.000000 N");
    EXPECT_EQ(exporting::StampLongitude(-0.25), "    0.250000 W");
    EXPECT_EQ(exporting::StampLongitude(151.2), "  151.200000 E");
    EXPECT_EQ(exporting::StampSpeed(50.04), "  50.0 Km/h");
    // 12:00:00 on 11 August 2015 (the tests run in UTC).
    EXPECT_EQ(exporting::SnapshotPrefix("/x/Snapshot", 1439294400),
              "/x/Snapshot/img-2015-08-11-12-00-00_Ch");
}

struct ControlDeleter {
    void operator()(engine::COzuCtrl* c) const { engine::PlayerDestroy(c); }
};

int RedPixels(const QImage& image, int fromY) {
    int red = 0;
    for (int y = fromY; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            red += qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60 ? 1 : 0;
        }
    }
    return red;
}

TEST(Snapshot, OneFilePerChannelWithAPictureStampedOnRequest) {
    static int argc = 1;
    static char name[] = "snapshot_test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    auto app = std::make_unique<QGuiApplication>(argc, argv); // fonts for the stamp

    testing::TempDir dir;
    sim::CardSpec plan;
    plan.outPath = (dir / "card.img").string();
    plan.blockCount = 8;
    sim::ChannelSpec a;
    a.width = 352;
    a.height = 288;
    sim::ChannelSpec b = a;
    b.channel = 1;
    sim::ChannelSpec c = a;
    c.channel = 2;
    plan.channels = {a, b, c};
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 2}};
    sim::Manifest manifest;
    std::string error;
    ASSERT_TRUE(sim::writeCard(plan, manifest, error)) << error;
    platform::SetDrivePath(4, plan.outPath);

    engine::RecordingSink sink;
    std::unique_ptr<engine::COzuCtrl, ControlDeleter> control(engine::PlayerCreate(&sink));
    control->unpaced = true;
    engine::PlayerEnableVideo(control.get(), 0, 1); // channel 2 shows nothing
    engine::PlayerEnableAudio(control.get(), 0, 0);
    engine::PlayerOpen(control.get(), "car2://4");
    ASSERT_TRUE(engine::PlayerPlay(control.get(), engine::PlayerLoadIndex(control.get()), 0));
    for (const std::int64_t ch : {0, 2}) {
        ASSERT_TRUE(sink.WaitFor(engine::kMsgEndOfStream, 30000, &ch));
    }

    const std::string plain = (dir / "plain" / "img_Ch").string();
    EXPECT_EQ(exporting::PlayerSnapshot(control.get(), exporting::kSnapshotBmp, 0, 255, plain), 1);
    EXPECT_TRUE(std::filesystem::exists(plain + "1.bmp"));
    EXPECT_FALSE(std::filesystem::exists(plain + "2.bmp")) << "video disabled";
    EXPECT_TRUE(std::filesystem::exists(plain + "3.bmp"));
    EXPECT_FALSE(std::filesystem::exists(plain + "4.bmp")) << "no such channel on the card";

    const std::string stamped = (dir / "stamped" / "img_Ch").string();
    EXPECT_EQ(exporting::PlayerSnapshotStamped(control.get(), exporting::kSnapshotBmp, 0, 255,
                                               stamped, "   48.000000 N", "   11.000000 E",
                                               "  50.0 Km/h"),
              1);
    const QImage before(QString::fromStdString(plain + "1.bmp"));
    const QImage after(QString::fromStdString(stamped + "1.bmp"));
    ASSERT_FALSE(before.isNull());
    ASSERT_EQ(after.size(), QSize(352, 288));
    // Red text in the bottom twenty-fourth and below, nowhere else changed.
    const int bandTop = 288 - 288 / 24;
    EXPECT_GT(RedPixels(after, bandTop), RedPixels(before, bandTop) + 20);
    EXPECT_EQ(before.copy(0, 0, 352, bandTop - 4), after.copy(0, 0, 352, bandTop - 4));

    std::ofstream(dir / "blocker") << "x";
    EXPECT_EQ(exporting::PlayerSnapshot(control.get(), exporting::kSnapshotBmp, 0, 255,
                                        (dir / "blocker" / "img").string()),
              0);
    EXPECT_EQ(exporting::PlayerSnapshot(control.get(), exporting::kSnapshotBmp, 0, 255, ""), 0);

    // Without a GUI application there are no fonts: a stamped snapshot fails and says why
    // instead of saving pictures without their text; plain ones still work.
    app.reset();
    for (const bool core : {false, true}) {
        SCOPED_TRACE(core ? "a core application only" : "no application");
        std::unique_ptr<QCoreApplication> coreApp;
        if (core) {
            coreApp = std::make_unique<QCoreApplication>(argc, argv);
        }
        const std::string lost = (dir / (core ? "core" : "none") / "img_Ch").string();
        std::string why;
        EXPECT_EQ(exporting::PlayerSnapshotStamped(control.get(), exporting::kSnapshotBmp, 0, 255,
                                                   lost, "   48.000000 N", "   11.000000 E",
                                                   "  50.0 Km/h", &why),
                  0);
        EXPECT_EQ(why, "the stamp needs fonts, which need a GUI application; nothing was saved");
        EXPECT_FALSE(std::filesystem::exists(lost + "1.bmp"));
        EXPECT_EQ(exporting::PlayerSnapshot(control.get(), exporting::kSnapshotBmp, 0, 255, lost),
                  1);
        EXPECT_TRUE(std::filesystem::exists(lost + "1.bmp"));
    }
    engine::PlayerClose(control.get());
}

TEST(CliSnapshot, SavesEachChannelAtTheTime) {
    testing::TempDir dir;
    sim::CardSpec plan;
    plan.outPath = (dir / "card.img").string();
    plan.blockCount = 8;
    sim::ChannelSpec a;
    a.width = 160;
    a.height = 120;
    sim::ChannelSpec b = a;
    b.channel = 1;
    plan.channels = {a, b};
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 4}};
    sim::Manifest manifest;
    std::string error;
    ASSERT_TRUE(sim::writeCard(plan, manifest, error)) << error;

    const std::string prefix = (dir / "shots" / "img_Ch").string();
    const std::string command = std::string("'") + TAVERO_CLI +
                                "' snapshot car2://0 --drive 0=" + plan.outPath +
                                " --seek 1714550402 --stamp --prefix '" + prefix + "' > '" +
                                (dir / "out").string() + "' 2> '" + (dir / "err").string() + "'";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    std::ifstream err(dir / "err");
    std::string errText((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_EQ(WEXITSTATUS(raw), 0) << errText;
    std::ifstream out(dir / "out");
    std::string outText((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
    EXPECT_EQ(outText, prefix + "1.bmp\n" + prefix + "2.bmp\n");
    EXPECT_EQ(QImage(QString::fromStdString(prefix + "2.bmp")).size(), QSize(160, 120));

    const std::string late = std::string("'") + TAVERO_CLI +
                             "' snapshot car2://0 --drive 0=" + plan.outPath +
                             " --seek 1714560000 --prefix '" + prefix + "' 2>/dev/null";
    const int status = std::system(late.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1) << "no recording holds that time";
}

} // namespace
} // namespace tavero
