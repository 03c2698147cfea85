// The generated skin as the controls load it: every bitmap the control table names is there in
// the size its control has, in the modes it belongs to.

#include "app/skin_layout.h"
#include "ui/skin/skin_set.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

namespace tavero::ui {
namespace {

class SkinSetTest : public ::testing::Test {
protected:
    void TearDown() override { SkinSet::current().setMode(0); }
};

TEST_F(SkinSetTest, EveryControlsBitmapsExistInTheirSizes) {
    SkinSet& skin = SkinSet::current();
    for (int mode = 0; mode < app::kSkinModeCount; ++mode) {
        skin.setMode(mode);
        for (const app::SkinControl& c : app::skinControls()) {
            const auto m = static_cast<std::size_t>(mode);
            const app::SkinRect& r = c.rect[m];
            if (c.bitmapId[m] != 0) {
                const QPixmap bitmap = skin.pixmap(c.bitmapId[m]);
                ASSERT_FALSE(bitmap.isNull()) << c.name << " mode " << mode;
                const bool strip = c.kind == app::SkinControlKind::Button ||
                                   c.kind == app::SkinControlKind::Slider ||
                                   c.kind == app::SkinControlKind::MarkBar;
                EXPECT_EQ(bitmap.width(), strip ? 4 * r.w : r.w) << c.name << " mode " << mode;
                EXPECT_EQ(bitmap.height(), r.h) << c.name << " mode " << mode;
            }
            for (int thumb : {c.thumbId[m], c.thumb2Id[m]}) {
                if (thumb != 0) {
                    const QPixmap t = skin.pixmap(thumb);
                    ASSERT_FALSE(t.isNull()) << c.name << " mode " << mode;
                    if (c.kind != app::SkinControlKind::Compass) {
                        EXPECT_LE(t.height(), r.h) << c.name << " thumb, mode " << mode;
                    }
                }
            }
        }
        for (int unit = 0; unit < 3; ++unit) {
            EXPECT_TRUE(skin.contains(app::unitBadgeBitmapId(mode, unit)));
        }
        const app::SkinSize window = app::skinWindowSize(mode);
        for (int layout : {8, 4}) {
            for (bool noMark : {false, true}) {
                const QPixmap background =
                    skin.pixmap(app::backgroundBitmapId(mode, layout, noMark));
                ASSERT_FALSE(background.isNull());
                EXPECT_EQ(background.size(), QSize(window.w, window.h));
            }
        }
    }
}

TEST_F(SkinSetTest, BitmapsBelongToTheirModeAndUnknownIdsAreNull) {
    SkinSet& skin = SkinSet::current();
    skin.setMode(0);
    EXPECT_TRUE(skin.contains(134));
    EXPECT_FALSE(skin.contains(168));
    EXPECT_EQ(skin.pixmap(141).width(), 236); // 4 frames of 59
    skin.setMode(1);
    EXPECT_FALSE(skin.contains(134));
    EXPECT_TRUE(skin.contains(168));
    EXPECT_TRUE(skin.contains(141));
    EXPECT_FALSE(skin.contains(4242));
    EXPECT_FALSE(skin.contains(0));
    EXPECT_FALSE(skin.contains(-5));
    skin.setMode(7);
    EXPECT_FALSE(skin.contains(141));
}

TEST_F(SkinSetTest, InsertedPicturesComeFirstUntilRemoved) {
    SkinSet& skin = SkinSet::current();
    QPixmap own(10, 10);
    own.fill(Qt::red);
    skin.insert(141, own);
    EXPECT_EQ(skin.pixmap(141).width(), 10);
    skin.remove(141);
    EXPECT_EQ(skin.pixmap(141).width(), 236);
}

TEST_F(SkinSetTest, TheNeedleIsDrawnOnItsTransparentBlack) {
    SkinSet& skin = SkinSet::current();
    const QPixmap needle = skin.pixmap(104);
    ASSERT_EQ(needle.size(), QSize(32, 142));
    const QImage raw = needle.toImage();
    EXPECT_EQ(raw.pixelColor(0, 0), QColor(Qt::black));
    const QImage keyed = withColourTransparent(needle, Qt::black).toImage();
    EXPECT_EQ(keyed.pixelColor(0, 0).alpha(), 0);
    // The needle itself stays.
    EXPECT_EQ(keyed.pixelColor(16, 71).alpha(), 255);
}

TEST(SkinMasks, WhiteMaskPixelsBecomeTransparent) {
    QPixmap frame(4, 1);
    frame.fill(Qt::blue);
    QImage maskImage(4, 1, QImage::Format_RGB32);
    maskImage.setPixelColor(0, 0, Qt::white);
    maskImage.setPixelColor(1, 0, Qt::black);
    maskImage.setPixelColor(2, 0, QColor(254, 255, 255));
    maskImage.setPixelColor(3, 0, Qt::white);
    const QImage out = maskedByWhite(frame, QPixmap::fromImage(maskImage)).toImage();
    EXPECT_EQ(out.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(out.pixelColor(1, 0), QColor(Qt::blue));
    EXPECT_EQ(out.pixelColor(2, 0), QColor(Qt::blue));
    EXPECT_EQ(out.pixelColor(3, 0).alpha(), 0);
}

} // namespace
} // namespace tavero::ui
