// Skinned buttons as a user handles them: the frame shown for each state, what each kind does
// with a click, and what a release outside does not do.

#include "ui/controls/vx_skin_button.h"
#include "ui/skin/skin_set.h"
#include "widget_test_support.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace tavero::ui {
namespace {

using test::enter;
using test::leave;
using test::moveHeld;
using test::press;
using test::release;

constexpr int kStrip = 9001;
constexpr int kMaskedStrip = 9002;
const QColor kParent(0x20, 0x40, 0x60);
const QColor kNormal(200, 0, 0);
const QColor kOver(0, 200, 0);
const QColor kDown(0, 0, 200);
const QColor kDisabled(90, 90, 90);

class SkinButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        SkinSet::current().insert(kStrip,
                                  test::solidStrip(59, 32, {kNormal, kOver, kDown, kDisabled}));
        m_parent.resize(200, 100);
        QPalette pal = m_parent.palette();
        pal.setColor(QPalette::Window, kParent);
        m_parent.setPalette(pal);
        m_parent.setAutoFillBackground(true);
    }
    void TearDown() override {
        SkinSet::current().remove(kStrip);
        SkinSet::current().remove(kMaskedStrip);
    }

    CVxSkinButton* make(SkinButtonKind kind, QPoint at = QPoint(10, 10)) {
        auto* b = new CVxSkinButton(&m_parent, kind);
        b->setSkin(kStrip);
        b->setGeometry(QRect(at, QSize(59, 32)));
        return b;
    }
    QColor shown(const CVxSkinButton& b) {
        return m_parent.grab().toImage().pixelColor(b.geometry().center());
    }

    QWidget m_parent;
};

TEST_F(SkinButtonTest, FramesFollowHoverPressAndThePointerWhileHeld) {
    CVxSkinButton* b = make(SkinButtonKind::Push);
    EXPECT_EQ(b->frameWidth(), 59); // a 236-pixel strip of four frames
    EXPECT_EQ(b->frameHeight(), 32);
    EXPECT_EQ(shown(*b), kNormal);
    enter(*b);
    EXPECT_EQ(shown(*b), kOver);
    press(*b, {20, 10});
    EXPECT_EQ(shown(*b), kDown);
    // Held and dragged off the button: no longer looks pressed; back over it, pressed again.
    moveHeld(*b, {120, 60});
    EXPECT_NE(shown(*b), kDown);
    moveHeld(*b, {20, 12});
    EXPECT_EQ(shown(*b), kDown);
    release(*b, {20, 12});
    EXPECT_EQ(shown(*b), kOver);
    leave(*b);
    EXPECT_EQ(shown(*b), kNormal);
    b->setEnabled(false);
    EXPECT_EQ(shown(*b), kDisabled);
    enter(*b);
    EXPECT_EQ(shown(*b), kDisabled);
}

TEST_F(SkinButtonTest, ToggleInvertsOnReleaseOverItOnly) {
    CVxSkinButton* b = make(SkinButtonKind::Toggle);
    QSignalSpy clicks(b, &QAbstractButton::clicked);
    press(*b, {20, 10});
    release(*b, {20, 10});
    EXPECT_TRUE(b->isChecked());
    leave(*b);
    EXPECT_EQ(shown(*b), kDown); // checked shows the pressed frame
    // Pressed, then released outside: nothing happens.
    press(*b, {20, 10});
    moveHeld(*b, {150, 80});
    release(*b, {150, 80});
    EXPECT_TRUE(b->isChecked());
    EXPECT_EQ(clicks.count(), 1);
    press(*b, {20, 10});
    release(*b, {20, 10});
    EXPECT_FALSE(b->isChecked());
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(SkinButtonTest, RadioIsCheckedByAReleaseAndStaysChecked) {
    CVxSkinButton* first = make(SkinButtonKind::Radio, {10, 10});
    CVxSkinButton* second = make(SkinButtonKind::Radio, {100, 10});
    press(*first, {5, 5});
    release(*first, {5, 5});
    EXPECT_TRUE(first->isChecked());
    press(*first, {5, 5});
    release(*first, {5, 5});
    EXPECT_TRUE(first->isChecked());
    press(*second, {5, 5});
    release(*second, {5, 5});
    EXPECT_TRUE(second->isChecked());
    EXPECT_FALSE(first->isChecked());
    // A release outside checks nothing.
    press(*first, {5, 5});
    release(*first, {-40, 5});
    EXPECT_FALSE(first->isChecked());
}

TEST_F(SkinButtonTest, PushButtonsHaveNoCheckedState) {
    CVxSkinButton* b = make(SkinButtonKind::Push);
    press(*b, {20, 10});
    release(*b, {20, 10});
    EXPECT_FALSE(b->isChecked());
    EXPECT_FALSE(b->isCheckable());
}

TEST_F(SkinButtonTest, MaskFrameLetsTheBackgroundThroughWhereItIsWhite) {
    // Five frames of 47 in 236 pixels (one pixel left over), the fifth the mask: white on the
    // left half, black on the right.
    QPixmap strip = test::solidStrip(47, 20, {kNormal, kOver, kDown, kDisabled, Qt::black});
    {
        QPainter p(&strip);
        p.fillRect(4 * 47, 0, 23, 20, Qt::white);
    }
    QPixmap wide(236, 20);
    wide.fill(Qt::black);
    {
        QPainter p(&wide);
        p.drawPixmap(0, 0, strip);
    }
    SkinSet::current().insert(kMaskedStrip, wide);
    auto* b = new CVxSkinButton(&m_parent);
    b->setSkin(kMaskedStrip, 0, Qt::white, true);
    b->setGeometry(10, 10, 47, 20);
    EXPECT_EQ(b->frameWidth(), 47);
    const QImage seen = m_parent.grab().toImage();
    EXPECT_EQ(seen.pixelColor(10 + 5, 20), kParent);
    EXPECT_EQ(seen.pixelColor(10 + 40, 20), kNormal);
}

TEST_F(SkinButtonTest, MissingBitmapDrawsNothing) {
    auto* b = new CVxSkinButton(&m_parent);
    b->setSkin(777777);
    b->setGeometry(10, 10, 59, 32);
    EXPECT_EQ(b->frameWidth(), 0);
    EXPECT_EQ(shown(*b), kParent);
}

QRect whiteBox(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).lightness() > 200) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

TEST_F(SkinButtonTest, PressedTextMovesRightAndDown) {
    const QColor dark(10, 10, 10);
    SkinSet::current().insert(kStrip, test::solidStrip(59, 32, {dark, dark, dark, dark}));
    CVxSkinButton* b = make(SkinButtonKind::Push);
    b->setSkin(kStrip, 0, Qt::white);
    b->setText(QStringLiteral("W"));
    const QRect up = whiteBox(b->grab().toImage());
    ASSERT_FALSE(up.isEmpty());
    press(*b, {20, 10});
    const QRect down = whiteBox(b->grab().toImage());
    EXPECT_EQ(down.topLeft() - up.topLeft(), QPoint(2, 1));
    release(*b, {20, 10});
}

} // namespace
} // namespace tavero::ui
