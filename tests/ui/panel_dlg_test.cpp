// Channel windows: the docked / free / full-screen cycle, the kept ratio, and pictures arriving
// from a worker thread.

#include "ui/controls/panel_dlg.h"
#include "widget_test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScreen>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <thread>

namespace tavero::ui {
namespace {

void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// Runs the event loop until `done` or two seconds have passed.
template <typename F> bool waitFor(F done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

QImage halves(QSize size, QColor left, QColor right) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(right);
    QPainter p(&image);
    p.fillRect(0, 0, size.width() / 2, size.height(), left);
    return image;
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_owner.setGeometry(100, 100, 800, 600);
        m_owner.show();
        m_panel = new CPanelDlg(2, &m_owner);
        m_panel->setDockedRect(m_cell);
        m_panel->show();
        settle();
    }
    QWidget m_owner;
    CPanelDlg* m_panel = nullptr;
    const QRect m_cell{10, 20, 214, 119};
};

TEST_F(PanelTest, ThreeDoubleClicksReturnItToItsCell) {
    m_panel->setVideoSize({640, 360});
    QSignalSpy states(m_panel, &CPanelDlg::stateChanged);
    EXPECT_EQ(m_panel->geometry(), m_cell);

    test::doubleClick(*m_panel, {30, 30});
    settle();
    EXPECT_EQ(m_panel->state(), app::PanelState::Detached);
    EXPECT_TRUE(m_panel->isWindow());
    EXPECT_TRUE(m_panel->isVisible());
    EXPECT_EQ(m_panel->windowTitle(), QStringLiteral("Channel-03 640x360"));
    EXPECT_EQ(m_panel->size(), QSize(640, 360));
    const QPoint offCentre = m_panel->frameGeometry().center() - m_owner.frameGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2);

    test::doubleClick(*m_panel, {30, 30});
    settle();
    EXPECT_EQ(m_panel->state(), app::PanelState::FullScreen);
    EXPECT_EQ(m_panel->geometry(), m_panel->screen()->geometry());

    test::doubleClick(*m_panel, {30, 30});
    settle();
    EXPECT_EQ(m_panel->state(), app::PanelState::Docked);
    EXPECT_FALSE(m_panel->isWindow());
    EXPECT_EQ(m_panel->parentWidget(), &m_owner);
    EXPECT_EQ(m_panel->geometry(), m_cell);
    EXPECT_TRUE(m_panel->isVisible());
    EXPECT_EQ(states.count(), 3);
}

TEST_F(PanelTest, EscapeAndClosingDockAFreeWindow) {
    m_panel->toggle();
    settle();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(m_panel, &esc);
    EXPECT_EQ(m_panel->state(), app::PanelState::Docked);
    EXPECT_EQ(m_panel->geometry(), m_cell);

    m_panel->toggle();
    m_panel->toggle();
    settle();
    EXPECT_EQ(m_panel->state(), app::PanelState::FullScreen);
    EXPECT_FALSE(m_panel->close());
    EXPECT_EQ(m_panel->state(), app::PanelState::Docked);
    EXPECT_TRUE(m_panel->isVisible());

    // Docked, Esc is the main window's: the panel does not take it.
    QKeyEvent esc2(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(m_panel, &esc2);
    EXPECT_FALSE(esc2.isAccepted());
}

TEST_F(PanelTest, FreeWindowKeepsThePicturesRatioWhenAsked) {
    bool keep = true;
    m_panel->setKeepRatio([&keep] { return keep; });
    m_panel->setVideoSize({1280, 720});
    m_panel->toggle();
    settle();
    m_panel->resize(800, 300);
    settle();
    EXPECT_EQ(m_panel->size(), QSize(800, 450));
    keep = false;
    m_panel->resize(800, 300);
    settle();
    EXPECT_EQ(m_panel->size(), QSize(800, 300));
    // Docked cells keep their size whatever the ratio.
    keep = true;
    m_panel->dock();
    EXPECT_EQ(m_panel->size(), m_cell.size());
}

TEST_F(PanelTest, PicturesFromAWorkerAreScaledOnceIntoTheWindow) {
    const QImage picture = halves({1280, 720}, Qt::red, Qt::blue);
    std::thread worker([&] { m_panel->videoWindow().Present(2, picture, {}); });
    worker.join();
    ASSERT_TRUE(waitFor([&] { return m_panel->videoSize().isValid(); }));
    const QImage shown = m_panel->shownPicture();
    EXPECT_EQ(shown.size(), m_cell.size());
    EXPECT_EQ(m_panel->videoSize(), QSize(1280, 720));
    const QImage painted = m_panel->grab().toImage();
    EXPECT_EQ(painted.pixelColor(20, 60), QColor(Qt::red));
    EXPECT_EQ(painted.pixelColor(200, 60), QColor(Qt::blue));
    EXPECT_EQ(m_panel->pictures().received(), 1u);
    EXPECT_EQ(m_panel->pictures().scaled(), 1u);

    // A hidden channel window does not scale what it cannot show.
    m_panel->hide();
    std::thread again([&] { m_panel->videoWindow().Present(2, picture, {}); });
    again.join();
    EXPECT_EQ(m_panel->pictures().received(), 2u);
    EXPECT_EQ(m_panel->pictures().scaled(), 1u);
}

TEST_F(PanelTest, ManyPicturesWhileTheWindowIsBusyReplaceEachOther) {
    const QImage picture = halves({320, 180}, Qt::green, Qt::green);
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            m_panel->videoWindow().Present(2, picture, {});
        }
    });
    worker.join();
    ASSERT_TRUE(waitFor([&] { return m_panel->paintedPictures() >= 1; }));
    EXPECT_EQ(m_panel->pictures().scaled(), 50u);
    // Painted far fewer times than pictures came: the newest wins.
    EXPECT_LT(m_panel->paintedPictures(), 50u);
}

TEST_F(PanelTest, PaintingWithoutAPictureAsksForARepaint) {
    int asked = 0;
    m_panel->setRepaintRequest([&asked] { ++asked; });
    (void)m_panel->grab();
    EXPECT_GE(asked, 1);
    EXPECT_EQ(m_panel->grab().toImage().pixelColor(5, 5), QColor(Qt::black));
}

TEST_F(PanelTest, EngineVisibilityRequestsReachTheUiThread) {
    QSignalSpy requests(m_panel, &CPanelDlg::visibilityRequested);
    std::thread worker([&] { m_panel->videoWindow().SetVisible(2, false); });
    worker.join();
    ASSERT_TRUE(waitFor([&] { return requests.count() == 1; }));
    EXPECT_EQ(requests.at(0).at(0).toInt(), 2);
    EXPECT_FALSE(requests.at(0).at(1).toBool());
}

TEST_F(PanelTest, PressingADockedWindowMovesTheMainWindow) {
    const QPoint start = m_owner.pos();
    test::press(*m_panel, {50, 50});
    test::moveHeld(*m_panel, {90, 80});
    test::release(*m_panel, {90, 80});
    EXPECT_EQ(m_owner.pos() - start, QPoint(40, 30));
    EXPECT_EQ(m_panel->geometry(), m_cell);
}

TEST(PanelCrop, FineDetailShrinksToItsAverageNotToNoise) {
    // A one-pixel checkerboard shown at a third of its size: every shown pixel is close to mid
    // grey; sampling single pixels would give black and white.
    QImage board(1280, 720, QImage::Format_RGB32);
    for (int y = 0; y < board.height(); ++y) {
        for (int x = 0; x < board.width(); ++x) {
            board.setPixel(x, y, (x + y) % 2 == 0 ? 0xffffffffu : 0xff000000u);
        }
    }
    const QImage shown = cropAndScale(board, {}, {428, 238});
    ASSERT_EQ(shown.size(), QSize(428, 238));
    int far = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const int grey = qGray(shown.pixel(x, y));
            far += grey < 100 || grey > 156 ? 1 : 0;
        }
    }
    EXPECT_EQ(far, 0);
    // Growing a picture (full screen) keeps its colours where they were.
    const QImage big = cropAndScale(halves({320, 180}, Qt::red, Qt::blue), {}, {1920, 1080});
    EXPECT_EQ(big.pixelColor(100, 500), QColor(Qt::red));
    EXPECT_EQ(big.pixelColor(1800, 500), QColor(Qt::blue));
}

TEST(PanelCrop, CropMovesEdgesAndShowsBlackBeyondThePicture) {
    const QImage picture = halves({200, 100}, Qt::red, Qt::blue);
    // Cutting the right half off leaves only red.
    QImage cut = cropAndScale(picture, {0, 0, -100, 0}, {50, 50});
    ASSERT_EQ(cut.size(), QSize(50, 50));
    EXPECT_EQ(cut.pixelColor(45, 25), QColor(Qt::red));
    // Reaching past the right edge shows black there.
    QImage past = cropAndScale(picture, {0, 0, 200, 0}, {400, 100});
    ASSERT_EQ(past.size(), QSize(400, 100));
    EXPECT_EQ(past.pixelColor(50, 50), QColor(Qt::red));
    EXPECT_EQ(past.pixelColor(350, 50), QColor(Qt::black));
    // Left and top move those edges.
    QImage moved = cropAndScale(picture, {100, 0, 0, 0}, {100, 100});
    EXPECT_EQ(moved.pixelColor(5, 5), QColor(Qt::blue));
    // Nothing left, or nowhere to show it: no picture.
    EXPECT_TRUE(cropAndScale(picture, {0, 0, -200, 0}, {50, 50}).isNull());
    EXPECT_TRUE(cropAndScale(picture, {}, {0, 0}).isNull());
    // Same size: a copy of its own, not the worker's buffer.
    QImage same = cropAndScale(picture, {}, picture.size());
    EXPECT_NE(same.constBits(), picture.constBits());
}

} // namespace
} // namespace tavero::ui
