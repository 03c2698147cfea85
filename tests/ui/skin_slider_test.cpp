// Skinned sliders and the bitmap slider: the messages their owner gets while the user drags, and
// where the thumbs are drawn.

#include "app/skin_math.h"
#include "ui/controls/bitmap_slider.h"
#include "ui/controls/vx_skin_sld_button.h"
#include "ui/skin/skin_set.h"
#include "widget_test_support.h"

#include <QKeyEvent>
#include <array>
#include <gtest/gtest.h>
#include <vector>

namespace tavero::ui {
namespace {

using test::moveHeld;
using test::press;
using test::release;
using Message = std::array<int, 3>;

constexpr int kTrack = 9101;
constexpr int kThumb = 9102;
constexpr int kThumb2 = 9103;

class SliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SkinSet& skin = SkinSet::current();
        skin.insert(kTrack,
                    test::solidStrip(400, 30, {Qt::darkGray, Qt::gray, Qt::lightGray, Qt::black}));
        skin.insert(kThumb, test::solidStrip(16, 26, {Qt::white}));
        skin.insert(kThumb2, test::solidStrip(12, 24, {Qt::yellow}));
    }
    void TearDown() override {
        for (int id : {kTrack, kThumb, kThumb2}) {
            SkinSet::current().remove(id);
        }
    }
    template <typename Slider> void record(Slider& s) {
        QObject::connect(&s, &Slider::sliderMessage, [this](int message, int id, int value) {
            m_messages.push_back({message, id, value});
        });
    }
    std::vector<Message> m_messages;
};

TEST_F(SliderTest, DragReportsPressMovesThatChangeTheFractionAndRelease) {
    CVxSkinSldButton slider;
    slider.setSkin(kTrack);
    slider.setThumb(kThumb);
    slider.setMessageId(3);
    slider.setRange(0, 12);
    slider.resize(290, 30);
    record(slider);

    press(slider, {145, 15});
    moveHeld(slider, {145, 20}); // same fraction: nothing
    moveHeld(slider, {146, 20}); // another fraction, the same step
    moveHeld(slider, {290, 15});
    // Past the end while held: the value leaves the range, the thumb stays on the track.
    moveHeld(slider, {400, 15});
    EXPECT_EQ(slider.thumbRect().right() + 1, 290);
    release(slider, {400, 15});
    const std::vector<Message> expected = {
        {app::kMsgSliderPressed, 3, 6},   {app::kMsgSliderMoved, 3, 6},
        {app::kMsgSliderMoved, 3, 12},    {app::kMsgSliderMoved, 3, 17},
        {app::kMsgSliderReleased, 3, 17},
    };
    EXPECT_EQ(m_messages, expected);
    EXPECT_FALSE(slider.isDragging());

    // Moves without the button held report nothing.
    m_messages.clear();
    test::sendMouse(slider, QEvent::MouseMove, {30, 15}, Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(SliderTest, ValueSetByTheOwnerPlacesTheThumb) {
    CVxSkinSldButton slider;
    slider.setSkin(kTrack);
    slider.setThumb(kThumb);
    slider.resize(290, 30);
    slider.setRange(0, 12);
    slider.setValue(3);
    EXPECT_EQ(slider.thumbRect(), QRect((290 - 16) / 4, 2, 16, 26));
    slider.setValue(99);
    EXPECT_EQ(slider.value(), 99);
    EXPECT_EQ(slider.thumbRect().x(), 290 - 16);
    // Recording times as the range: the thumb follows the time.
    slider.setRange(1439294400, 1439294400 + 600);
    slider.setValue(1439294400 + 300);
    EXPECT_EQ(slider.thumbRect().x(), 137);
    // Without a thumb bitmap nothing is drawn for it.
    CVxSkinSldButton bare;
    bare.setThumb(777777);
    EXPECT_TRUE(bare.thumbRect().isEmpty());
}

TEST_F(SliderTest, VerticalSliderGrowsUpwards) {
    CVxSkinSldButton slider(nullptr, app::SliderOrientation::Vertical);
    slider.setThumb(kThumb);
    slider.setMessageId(4);
    slider.setRange(0, 100);
    slider.resize(30, 200);
    record(slider);
    press(slider, {15, 50});
    release(slider, {15, 50});
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[0], (Message{app::kMsgSliderPressed, 4, 75}));
}

TEST_F(SliderTest, MarkBarMovesTheNearerMark) {
    CVxSkinSldButton2 bar;
    bar.setSkin(kTrack);
    bar.setThumb(0, kThumb2);
    bar.setThumb(1, kThumb2);
    bar.setMessageId(5);
    bar.resize(374, 24);
    bar.setRange(1000, 1100);
    bar.setMarkValue(0, 1010);
    bar.setMarkValue(1, 1090);
    record(bar);
    int draggedAtRelease = -2;
    QObject::connect(&bar, &CVxSkinSldButton2::sliderMessage, [&](int message, int, int) {
        if (message == app::kMsgSliderReleased) {
            draggedAtRelease = bar.draggedMark();
        }
    });

    const int nearEnd = bar.thumbRect(1).center().x() - 20;
    press(bar, {nearEnd, 12});
    EXPECT_EQ(bar.draggedMark(), 1);
    moveHeld(bar, {187, 12});
    release(bar, {187, 12});
    EXPECT_EQ(bar.markValue(0), 1010);
    EXPECT_EQ(bar.markValue(1), 1050);
    EXPECT_EQ(draggedAtRelease, 1);
    EXPECT_EQ(bar.draggedMark(), -1);
    ASSERT_EQ(m_messages.size(), 3u);
    EXPECT_EQ(m_messages.back(), (Message{app::kMsgSliderReleased, 5, 1050}));

    // Both marks at the start: pulling to the right takes the end mark out.
    bar.setMarkValue(0, 1000);
    bar.setMarkValue(1, 1000);
    press(bar, {30, 12});
    EXPECT_EQ(bar.draggedMark(), 1);
    release(bar, {30, 12});
    EXPECT_EQ(bar.markValue(0), 1000);
}

TEST_F(SliderTest, BitmapSliderReportsChangedPositionsOnly) {
    CBitmapSlider slider;
    slider.setBitmaps(kTrack, kThumb);
    slider.setRange(0, 27);
    slider.setPos(27);
    slider.setMargins(4, 0, 4, 0);
    slider.setControlId(1614);
    slider.resize(290, 30);
    std::vector<Message> messages;
    QObject::connect(&slider, &CBitmapSlider::positionMessage, [&](int m, int id, int p) {
        messages.push_back({m, id, p});
    });

    EXPECT_EQ(slider.thumbCentre(), 278);
    press(slider, {12, 15});
    moveHeld(slider, {13, 15}); // still position 0
    moveHeld(slider, {145, 15});
    moveHeld(slider, {-100, 15});
    release(slider, {-100, 15});
    const std::vector<Message> expected = {
        {app::kMsgBitmapSliderMoved, 1614, 0},
        {app::kMsgBitmapSliderMoved, 1614, 13},
        {app::kMsgBitmapSliderMoved, 1614, 0},
    };
    EXPECT_EQ(messages, expected);
    EXPECT_EQ(slider.thumbCentre(), 12);

    messages.clear();
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(&slider, &right);
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(&slider, &end);
    QApplication::sendEvent(&slider, &end);
    EXPECT_EQ(messages, (std::vector<Message>{{app::kMsgBitmapSliderMoved, 1614, 1},
                                              {app::kMsgBitmapSliderMoved, 1614, 27}}));
    // The owner's own setting is kept in range and reports nothing.
    slider.setPos(40);
    EXPECT_EQ(slider.pos(), 27);
    EXPECT_EQ(messages.size(), 2u);
}

} // namespace
} // namespace tavero::ui
