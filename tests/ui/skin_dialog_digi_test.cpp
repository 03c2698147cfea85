// The skinned dialog (background, dragging, rounded region) and the segment display.

#include "ui/controls/digi_static.h"
#include "ui/controls/vx_skin_dialog.h"
#include "ui/skin/skin_set.h"
#include "widget_test_support.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace tavero::ui {
namespace {

constexpr int kBackground = 9201;

TEST(SkinDialog, BackgroundAtItsOwnSizeAndDraggingByIt) {
    SkinSet::current().insert(kBackground, test::solidStrip(300, 200, {QColor(1, 2, 3)}));
    CVxSkinDialog dialog;
    dialog.setBackground(kBackground);
    EXPECT_EQ(dialog.backgroundSize(), QSize(300, 200));
    dialog.setGeometry(50, 60, 400, 250);
    dialog.show();
    QCoreApplication::processEvents();
    const QImage seen = dialog.grab().toImage();
    EXPECT_EQ(seen.pixelColor(10, 10), QColor(1, 2, 3));
    EXPECT_EQ(seen.pixelColor(299, 199), QColor(1, 2, 3));
    EXPECT_NE(seen.pixelColor(350, 220), QColor(1, 2, 3)); // not stretched

    QPoint start = dialog.pos();
    test::press(dialog, {20, 20});
    test::moveHeld(dialog, {45, 30});
    test::release(dialog, {45, 30});
    EXPECT_EQ(dialog.pos(), start); // dragging not enabled
    dialog.enableDragging(true);
    test::press(dialog, {20, 20});
    test::moveHeld(dialog, {45, 30});
    test::release(dialog, {45, 30});
    EXPECT_EQ(dialog.pos() - start, QPoint(25, 10));

    dialog.setBackground(777777);
    EXPECT_TRUE(dialog.backgroundSize().isEmpty());
    SkinSet::current().remove(kBackground);
}

TEST(SkinDialog, RoundedRegionCutsTheCornersOfTheEnlargedRectangle) {
    CVxSkinDialog dialog;
    dialog.resize(300, 200);
    dialog.show();
    dialog.enableRoundedRegion(40, 40);
    const QRegion region = dialog.mask();
    EXPECT_FALSE(region.contains(QPoint(1, 1)));
    EXPECT_TRUE(region.contains(QPoint(150, 100)));
    EXPECT_TRUE(region.contains(QPoint(20, 1)));
    // The region reaches 10 pixels past the right and bottom edges, so the far corners are cut
    // less.
    EXPECT_TRUE(region.contains(QPoint(299, 199)));
    dialog.resize(500, 300);
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog.mask().contains(QPoint(450, 250)));
    dialog.enableRoundedRegion(0, 0);
    EXPECT_TRUE(dialog.mask().isEmpty());
}

class DigiTest : public ::testing::Test {
protected:
    void SetUp() override { m_display.resize(184, 84); }
    QColor at(QPointF p) { return m_display.grab().toImage().pixelColor(p.toPoint()); }
    // Points in the middle of a cell's segments.
    QPointF top(int i) {
        const QRectF c = m_display.cellRect(i);
        return {c.center().x(), c.top() + c.height() * 0.06 + c.height() * 0.05};
    }
    QPointF middle(int i) {
        const QRectF c = m_display.cellRect(i);
        return {c.left() + c.width() * 0.3, c.center().y()};
    }
    QPointF upperLeft(int i) {
        const QRectF c = m_display.cellRect(i);
        return {c.left() + c.width() * 0.12 + c.height() * 0.05, c.top() + c.height() * 0.3};
    }
    QPointF upperRight(int i) {
        const QRectF c = m_display.cellRect(i);
        return {c.right() - c.width() * 0.12 - c.height() * 0.05, c.top() + c.height() * 0.3};
    }
    CDigiStatic m_display;
    const QColor kGreen{0, 255, 0};
    const QColor kBase{0x10, 0x10, 0x18};
};

TEST_F(DigiTest, StartsWithThreeGreenZeros) {
    EXPECT_EQ(m_display.text(), QStringLiteral("000"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(at(top(i)), kGreen) << i;
        EXPECT_EQ(at(middle(i)), kBase) << i; // a zero has no middle bar
        EXPECT_EQ(at(upperLeft(i)), kGreen) << i;
    }
    EXPECT_EQ(at({1, 1}), kBase);
}

TEST_F(DigiTest, OnlyLitSegmentsAreDrawn) {
    m_display.setText(QStringLiteral("18-"));
    EXPECT_EQ(at(top(0)), kBase);
    EXPECT_EQ(at(upperLeft(0)), kBase);
    EXPECT_EQ(at(upperRight(0)), kGreen);
    EXPECT_EQ(at(top(1)), kGreen);
    EXPECT_EQ(at(middle(1)), kGreen);
    EXPECT_EQ(at(middle(2)), kGreen);
    EXPECT_EQ(at(top(2)), kBase);
    // Letters use their diagonals: X lights none of the outer segments.
    m_display.setText(QStringLiteral("X"));
    EXPECT_EQ(at(top(0)), kBase);
    // Half way along the upper left diagonal, which runs from the inner corner to the centre.
    const QRectF c = m_display.cellRect(0);
    const double t = c.height() * 0.1;
    const QRectF in =
        c.adjusted(c.width() * 0.12, c.height() * 0.06, -c.width() * 0.12, -c.height() * 0.06);
    const QPointF from(in.left() + 1.5 * t, in.top() + 1.5 * t);
    const QPointF to(in.center().x() - 0.7 * t, in.center().y() - 0.7 * t);
    const QPointF diagonal = (from + to) / 2;
    EXPECT_EQ(at(diagonal), kGreen);
}

TEST_F(DigiTest, ColonsAndDotsTakeNarrowCellsAndColoursCanChange) {
    m_display.setText(QStringLiteral("12:30"));
    EXPECT_LT(m_display.cellRect(2).width(), m_display.cellRect(0).width() * 0.5);
    EXPECT_LE(m_display.cellRect(4).right(), 184.0);
    EXPECT_GE(m_display.cellRect(0).left(), 0.0);
    EXPECT_TRUE(m_display.cellRect(5).isEmpty());
    m_display.setColours(Qt::black, Qt::red);
    m_display.setText(QStringLiteral("8"));
    EXPECT_EQ(at(top(0)), QColor(Qt::red));
    EXPECT_EQ(at({1, 1}), QColor(Qt::black));
}

} // namespace
} // namespace tavero::ui
