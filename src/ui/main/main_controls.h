// The main window's controls, one per row of the skin layout, placed at the row's rectangle for
// the UI mode and given its bitmaps: skinned buttons, the position, speed and volume sliders, the
// mark bar, the volume bitmap slider, the speed display and its unit badge, the gauges and the
// day view. Rows out of sight in the mode are created hidden. The window wires them up.
//
// Thread: UI thread only.
#pragma once

#include "app/skin_layout.h"

#include <QLabel>
#include <array>
#include <functional>
#include <map>
#include <string_view>

namespace tavero::ui {

class CBitmapSlider;
class CDigiStatic;
class CVxSkinButton;
class CVxSkinSldButton;
class CVxSkinSldButton2;
class CompassGauge;
class DayCalendar;
class DayStrip;
class GSensorGraph;
class PlaybackReadout;

struct MainControls {
    // Creates every control as a child of `parent`; tooltips are the English names translated.
    void build(QWidget* parent, int uiMode, const std::function<QString(std::string_view)>& tr);

    // The button of a row by its English name; null when the row is not a button.
    [[nodiscard]] CVxSkinButton* button(std::string_view name) const;
    // The widget of any row; null for an unknown name.
    [[nodiscard]] QWidget* widget(std::string_view name) const;
    // The row behind a widget, for command ids; null when it is none of these controls.
    [[nodiscard]] const app::SkinControl* rowOf(const QWidget* widget) const;

    std::map<std::string_view, QWidget*> byName;
    std::map<const QWidget*, const app::SkinControl*> rows;

    CVxSkinSldButton* position = nullptr;
    CVxSkinSldButton* speed = nullptr;
    CVxSkinSldButton* skinnedVolume = nullptr;
    CVxSkinSldButton2* markBar = nullptr;
    CBitmapSlider* volumeLevel = nullptr;
    CDigiStatic* speedDisplay = nullptr;
    QLabel* unitBadge = nullptr;
    GSensorGraph* graph = nullptr;
    CompassGauge* compass = nullptr;
    DayCalendar* calendar = nullptr;
    // Beside the mark buttons, up to the mark bar's right edge.
    PlaybackReadout* readout = nullptr;
    // Hour strips A and B, minute strips A and B.
    std::array<DayStrip*, 4> strips{};
};

} // namespace tavero::ui
