#include "ui/main/main_controls.h"

#include "app/playback_rules.h"
#include "ui/controls/bitmap_slider.h"
#include "ui/controls/digi_static.h"
#include "ui/controls/vx_skin_button.h"
#include "ui/controls/vx_skin_sld_button.h"
#include "ui/main/day_view.h"
#include "ui/main/gauges.h"
#include "ui/skin/skin_set.h"

namespace tavero::ui {

namespace {

QRect toRect(const app::SkinRect& r) {
    return {r.x, r.y, r.w, r.h};
}

// Day-view strips by row name: hour strips have 12 cells, minute strips 30.
int stripIndex(std::string_view name) {
    if (name == "Hour strip A") {
        return 0;
    }
    if (name == "Hour strip B") {
        return 1;
    }
    if (name == "Minute strip A") {
        return 2;
    }
    return 3;
}

} // namespace

void MainControls::build(QWidget* parent, int uiMode,
                         const std::function<QString(std::string_view)>& tr) {
    const int m = app::validSkinMode(uiMode);
    const auto mi = static_cast<std::size_t>(m);
    for (const app::SkinControl& c : app::skinControls()) {
        QWidget* w = nullptr;
        switch (c.kind) {
        case app::SkinControlKind::Button: {
            const bool tab = c.group == app::SkinGroup::Tabs;
            auto* b = new CVxSkinButton(parent, tab ? SkinButtonKind::Radio : SkinButtonKind::Push);
            b->setSkin(c.bitmapId[mi]);
            // Buttons never take the keyboard focus: Space and Enter belong to the window.
            b->setFocusPolicy(Qt::NoFocus);
            w = b;
            break;
        }
        case app::SkinControlKind::Slider: {
            auto* s = new CVxSkinSldButton(parent);
            s->setSkin(c.bitmapId[mi]);
            s->setThumb(c.thumbId[mi]);
            s->setMessageId(c.commandId);
            s->setFocusPolicy(Qt::NoFocus);
            if (c.commandId == 1) {
                position = s;
                s->setRange(0, 100);
            } else if (c.commandId == 3) {
                speed = s;
                s->setRange(app::kSpeedIndexMin, app::kSpeedIndexMax);
                s->setValue(app::kNormalSpeedIndex);
            } else {
                skinnedVolume = s;
                s->setRange(0, app::kVolumeLevelMax);
            }
            w = s;
            break;
        }
        case app::SkinControlKind::MarkBar: {
            auto* s = new CVxSkinSldButton2(parent);
            s->setSkin(c.bitmapId[mi]);
            s->setThumb(0, c.thumbId[mi]);
            s->setThumb(1, c.thumb2Id[mi]);
            s->setMessageId(c.commandId);
            s->setRange(0, 1);
            s->setFocusPolicy(Qt::NoFocus);
            markBar = s;
            w = s;
            break;
        }
        case app::SkinControlKind::BitmapSlider: {
            auto* s = new CBitmapSlider(parent);
            s->setBitmaps(c.bitmapId[mi], c.thumbId[mi]);
            s->setRange(0, app::kVolumeLevelMax);
            s->setPos(app::kVolumeLevelInitial);
            s->setFocusPolicy(Qt::NoFocus);
            volumeLevel = s;
            w = s;
            break;
        }
        case app::SkinControlKind::SegmentDisplay: {
            auto* d = new CDigiStatic(parent);
            d->setColours(QColor(0x10, 0x10, 0x18), QColor(0x00, 0xff, 0x00));
            d->setText(QStringLiteral("000"));
            speedDisplay = d;
            w = d;
            break;
        }
        case app::SkinControlKind::UnitBadge: {
            auto* l = new QLabel(parent);
            l->setPixmap(SkinSet::current().pixmap(c.bitmapId[mi]));
            l->setAttribute(Qt::WA_TransparentForMouseEvents);
            unitBadge = l;
            w = l;
            break;
        }
        case app::SkinControlKind::Graph:
            graph = new GSensorGraph(parent, m);
            w = graph;
            break;
        case app::SkinControlKind::Compass:
            compass = new CompassGauge(parent, m);
            w = compass;
            break;
        case app::SkinControlKind::DayStrip: {
            const bool hours = c.name.starts_with("Hour");
            auto* s =
                new DayStrip(parent, hours ? app::kHourCellsPerStrip : app::kMinuteCellsPerStrip);
            strips[static_cast<std::size_t>(stripIndex(c.name))] = s;
            w = s;
            break;
        }
        case app::SkinControlKind::Calendar:
            calendar = new DayCalendar(parent, m);
            w = calendar;
            break;
        }
        const app::SkinRect r = c.rect[mi];
        w->setGeometry(toRect(r));
        w->setObjectName(QString::fromUtf8(c.name.data(), static_cast<qsizetype>(c.name.size())));
        if (c.kind != app::SkinControlKind::Calendar && c.kind != app::SkinControlKind::Graph &&
            c.kind != app::SkinControlKind::Compass && c.kind != app::SkinControlKind::UnitBadge &&
            c.kind != app::SkinControlKind::SegmentDisplay) {
            w->setToolTip(tr(c.name));
        }
        // Rows out of sight belong to controls the window keeps hidden.
        w->setVisible(r.x != app::kOutOfSightLeft);
        byName[c.name] = w;
        rows[w] = &c;
    }
    // The time and speed readout: not a row of the skin, placed in the deck's free space.
    const app::SkinRect markOut = app::findSkinControl("Markout")->rect[mi];
    const app::SkinRect bar = app::findSkinControl("MarkBar")->rect[mi];
    const int gap = markOut.w / 5;
    readout = new PlaybackReadout(parent, m);
    readout->setGeometry(markOut.right() + gap, markOut.y, bar.right() - markOut.right() - gap,
                         markOut.h);
    readout->setObjectName(QStringLiteral("Playback readout"));
}

CVxSkinButton* MainControls::button(std::string_view name) const {
    const auto it = byName.find(name);
    if (it == byName.end()) {
        return nullptr;
    }
    const auto row = rows.find(it->second);
    return row != rows.end() && row->second->kind == app::SkinControlKind::Button
               ? static_cast<CVxSkinButton*>(it->second)
               : nullptr;
}

QWidget* MainControls::widget(std::string_view name) const {
    const auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

const app::SkinControl* MainControls::rowOf(const QWidget* w) const {
    const auto it = rows.find(w);
    return it == rows.end() ? nullptr : it->second;
}

} // namespace tavero::ui
