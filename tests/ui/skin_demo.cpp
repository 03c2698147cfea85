// tavero-skin-demo: every skinned control on its background, placed by the control table, with
// sample values and pictures, grabbed into a PNG (offscreen; no display needed).
//
//   tavero-skin-demo --mode 0|1|2 [--layout 8|4] [--nomark] --out FILE.png
//
// The gauges, day strips and lists are drawn here only roughly, to judge how the skin carries
// them; the window's own drawing of them lives elsewhere.

#include "app/skin_layout.h"
#include "app/skin_math.h"
#include "ui/controls/bitmap_slider.h"
#include "ui/controls/digi_static.h"
#include "ui/controls/panel_dlg.h"
#include "ui/controls/vx_skin_button.h"
#include "ui/controls/vx_skin_dialog.h"
#include "ui/controls/vx_skin_sld_button.h"
#include "ui/skin/skin_set.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTreeWidget>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace tavero;

QRect toRect(const app::SkinRect& r) {
    return {r.x, r.y, r.w, r.h};
}

// A picture standing in for a camera's: sky, road, lane marks and the channel's name.
QImage cameraPicture(int channel) {
    QImage image(1280, 720, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 360);
    sky.setColorAt(0, QColor(70 + channel * 8, 110, 150));
    sky.setColorAt(1, QColor(170, 180, 190));
    p.fillRect(0, 0, 1280, 360, sky);
    p.fillRect(0, 360, 1280, 360, QColor(60, 62, 66));
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(230, 230, 220));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        const double y = 380 + i * 70;
        const double w = 8 + i * 10;
        p.drawRect(QRectF(640 - w / 2, y, w, 40));
    }
    p.setPen(Qt::white);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(64);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(40, 30, 800, 100), Qt::AlignLeft, QStringLiteral("CAM %1").arg(channel + 1));
    return image;
}

// G-sensor graph: background and three sample curves, drawn as the window draws them.
class DemoGraph : public QWidget {
public:
    DemoGraph(QWidget* parent, int bitmap)
        : QWidget(parent), m_bg(ui::SkinSet::current().pixmap(bitmap)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawPixmap(0, 0, m_bg);
        const int mid = height() / 2;
        const int k = static_cast<int>(height() / 3.5);
        const QColor colours[3] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 64, 255)};
        const int n = width() - 60;
        for (int axis = 0; axis < 3; ++axis) {
            p.setPen(colours[axis]);
            QPoint last(40, mid);
            for (int i = 0; i < n; ++i) {
                const double v = 260 * std::sin(i / (9.0 + axis * 4)) * std::cos(i / 37.0 + axis);
                const QPoint next(41 + i, mid - static_cast<int>(v * k / 512));
                if (i > 0) {
                    p.drawLine(last, next);
                }
                last = next;
            }
        }
    }

private:
    QPixmap m_bg;
};

class DemoCompass : public QWidget {
public:
    DemoCompass(QWidget* parent, int bitmap, int needle, int divisor)
        : QWidget(parent), m_bg(ui::SkinSet::current().pixmap(bitmap)),
          m_needle(ui::withColourTransparent(ui::SkinSet::current().pixmap(needle), Qt::black)),
          m_divisor(divisor) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawPixmap(0, 0, m_bg);
        const double f = width() / static_cast<double>(m_divisor);
        p.save();
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.translate(105 * f, 87 * f);
        p.rotate(62);
        p.drawPixmap(-m_needle.width() / 2, -m_needle.height() / 2, m_needle);
        p.restore();
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPointSizeF((width() - 2) / 10.0);
        p.setFont(font);
        p.setPen(QColor(255, 0, 0));
        const QFontMetrics m(font);
        p.drawText(static_cast<int>(0.2 * width()), static_cast<int>(0.89 * width()) + m.ascent(),
                   QStringLiteral("22.543210 N"));
        p.drawText(static_cast<int>(0.2 * width()), width() + m.ascent(),
                   QStringLiteral("114.057865 E"));
    }

private:
    QPixmap m_bg;
    QPixmap m_needle;
    int m_divisor;
};

// Day strips: grey cells, green where recordings are.
class DemoStrip : public QWidget {
public:
    DemoStrip(QWidget* parent, int cells, int firstGreen, int lastGreen)
        : QWidget(parent), m_cells(cells), m_first(firstGreen), m_last(lastGreen) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int i = 0; i < m_cells; ++i) {
            const int x0 = i * width() / m_cells;
            const int x1 = (i + 1) * width() / m_cells;
            const bool green = i >= m_first && i <= m_last;
            p.fillRect(x0, 0, x1 - x0 - 1, height(),
                       green ? QColor(0, 255, 0) : QColor(0x68, 0x68, 0x68));
        }
    }

private:
    int m_cells, m_first, m_last;
};

QPalette darkPalette() {
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(0x10, 0x10, 0x18));
    pal.setColor(QPalette::Base, QColor(0x0b, 0x0b, 0x11));
    pal.setColor(QPalette::AlternateBase, QColor(0x14, 0x14, 0x1c));
    pal.setColor(QPalette::Text, QColor(0xd0, 0xd4, 0xde));
    pal.setColor(QPalette::WindowText, QColor(0xd0, 0xd4, 0xde));
    pal.setColor(QPalette::Button, QColor(0x1e, 0x1e, 0x29));
    pal.setColor(QPalette::ButtonText, QColor(0xd0, 0xd4, 0xde));
    pal.setColor(QPalette::Highlight, QColor(0x2c, 0x6c, 0x92));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    return pal;
}

void place(int mode, int layout, ui::CVxSkinDialog& dialog, std::vector<ui::CPanelDlg*>& panels) {
    const auto m = static_cast<std::size_t>(mode);
    const double scale = mode == 0 ? 1.0 : mode == 1 ? 0.75 : 0.5333;
    for (const app::SkinControl& c : app::skinControls()) {
        const QRect r = toRect(c.rect[m]);
        QWidget* w = nullptr;
        switch (c.kind) {
        case app::SkinControlKind::Button: {
            const bool tab = c.group == app::SkinGroup::Tabs;
            auto* b = new ui::CVxSkinButton(&dialog, tab ? ui::SkinButtonKind::Radio
                                                         : ui::SkinButtonKind::Push);
            b->setSkin(c.bitmapId[m]);
            b->setTip(QString::fromUtf8(c.name.data(), static_cast<int>(c.name.size())));
            if (c.name == "Recording list") {
                b->setChecked(true);
            }
            w = b;
            break;
        }
        case app::SkinControlKind::Slider: {
            auto* s = new ui::CVxSkinSldButton(&dialog);
            s->setSkin(c.bitmapId[m]);
            s->setThumb(c.thumbId[m]);
            s->setMessageId(c.commandId);
            if (c.name == "Speed") {
                s->setRange(0, 12);
                s->setValue(6);
            } else {
                s->setRange(0, 100);
                s->setValue(38);
            }
            w = s;
            break;
        }
        case app::SkinControlKind::MarkBar: {
            auto* s = new ui::CVxSkinSldButton2(&dialog);
            s->setSkin(c.bitmapId[m]);
            s->setThumb(0, c.thumbId[m]);
            s->setThumb(1, c.thumb2Id[m]);
            s->setRange(0, 100);
            s->setMarkValue(0, 22);
            s->setMarkValue(1, 71);
            w = s;
            break;
        }
        case app::SkinControlKind::BitmapSlider: {
            auto* s = new ui::CBitmapSlider(&dialog);
            s->setBitmaps(c.bitmapId[m], c.thumbId[m]);
            s->setRange(0, 27);
            s->setPos(20);
            w = s;
            break;
        }
        case app::SkinControlKind::SegmentDisplay: {
            auto* d = new ui::CDigiStatic(&dialog);
            d->setText(QStringLiteral(" 42"));
            w = d;
            break;
        }
        case app::SkinControlKind::UnitBadge: {
            auto* l = new QLabel(&dialog);
            l->setPixmap(ui::SkinSet::current().pixmap(app::unitBadgeBitmapId(mode, 0)));
            w = l;
            break;
        }
        case app::SkinControlKind::Graph:
            w = new DemoGraph(&dialog, c.bitmapId[m]);
            break;
        case app::SkinControlKind::Compass:
            w = new DemoCompass(&dialog, c.bitmapId[m], c.thumbId[m], mode == 2 ? 216 : 210);
            break;
        case app::SkinControlKind::DayStrip: {
            const bool hours = c.name.starts_with("Hour");
            const bool second = c.name.ends_with("B");
            w = hours ? new DemoStrip(&dialog, 12, second ? 2 : 8, second ? 3 : 11)
                      : new DemoStrip(&dialog, 30, second ? 0 : 12, second ? 17 : 29);
            break;
        }
        case app::SkinControlKind::Calendar: {
            auto* cal = new QCalendarWidget(&dialog);
            cal->setPalette(darkPalette());
            cal->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
            QFont f = cal->font();
            f.setPixelSize(std::max(8, static_cast<int>(11 * scale + 0.5)));
            cal->setFont(f);
            w = cal;
            break;
        }
        }
        w->setGeometry(r);
        // Rows out of sight belong to controls the window keeps hidden.
        w->setVisible(r.x() != app::kOutOfSightLeft);
    }

    const auto cells = app::backgroundCells(mode, layout);
    const int channels = layout == 8 ? 8 : 4;
    for (int i = 0; i < channels; ++i) {
        auto* panel = new ui::CPanelDlg(i, &dialog);
        panel->setDockedRect(toRect(cells[static_cast<std::size_t>(i)]));
        // One channel without pictures, as when a camera is not connected.
        panel->setVisible(i != channels - 1);
        panels.push_back(panel);
    }
    const QRect listCell = toRect(cells.back());
    if (layout == 8) {
        auto* list = new QTreeWidget(&dialog);
        list->setPalette(darkPalette());
        list->setRootIsDecorated(false);
        list->setHeaderLabels({QStringLiteral("RECORD TIME"), QStringLiteral("TIME END"),
                               QStringLiteral("Total Times")});
        QFont f = list->font();
        f.setPixelSize(std::max(8, static_cast<int>(13 * scale + 0.5)));
        list->setFont(f);
        list->header()->setFont(f);
        for (int i = 0; i < 12; ++i) {
            list->addTopLevelItem(new QTreeWidgetItem(
                {QStringLiteral("2015-08-11 12:%1:00").arg(i * 4, 2, 10, QLatin1Char('0')),
                 QStringLiteral("2015-08-11 12:%1:59").arg(i * 4 + 3, 2, 10, QLatin1Char('0')),
                 QStringLiteral("00:04:00")}));
        }
        list->setCurrentItem(list->topLevelItem(3));
        list->header()->resizeSection(0, listCell.width() * 38 / 100);
        list->header()->resizeSection(1, listCell.width() * 38 / 100);
        list->setGeometry(listCell);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int mode = 0;
    int layout = 8;
    bool noMark = false;
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mode") == 0 && i + 1 < argc) {
            mode = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--layout") == 0 && i + 1 < argc) {
            layout = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--nomark") == 0) {
            noMark = true;
        } else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            out = argv[++i];
        } else {
            out = nullptr;
            break;
        }
    }
    if (out == nullptr || mode < 0 || mode > 2 || (layout != 8 && layout != 4)) {
        std::fprintf(stderr, "usage: tavero-skin-demo --mode 0|1|2 [--layout 8|4] [--nomark] "
                             "--out FILE.png\n");
        return 1;
    }
    QApplication app(argc, argv);
    QFont font(QStringLiteral("DejaVu Sans"));
    QApplication::setFont(font);
    ui::SkinSet::current().setMode(mode);

    ui::CVxSkinDialog dialog(nullptr, Qt::FramelessWindowHint);
    QPalette pal = dialog.palette();
    pal.setColor(QPalette::Window, QColor(0x10, 0x10, 0x18));
    dialog.setPalette(pal);
    dialog.setBackground(app::backgroundBitmapId(mode, layout, noMark));
    dialog.resize(dialog.backgroundSize());
    dialog.enableDragging(true);
    dialog.enableRoundedRegion(app::windowCornerEllipse(mode), app::windowCornerEllipse(mode));
    std::vector<ui::CPanelDlg*> panels;
    place(mode, layout, dialog, panels);
    dialog.show();
    QApplication::processEvents();

    // Pictures arrive from a worker thread, as the engine's do.
    std::vector<QImage> pictures;
    for (std::size_t i = 0; i < panels.size(); ++i) {
        pictures.push_back(cameraPicture(static_cast<int>(i)));
    }
    std::thread worker([&] {
        for (std::size_t i = 0; i + 1 < panels.size(); ++i) {
            panels[i]->videoWindow().Present(static_cast<int>(i), pictures[i], {});
        }
    });
    worker.join();
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
    if (!dialog.grab().save(QString::fromLocal8Bit(out))) {
        std::fprintf(stderr, "tavero-skin-demo: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
