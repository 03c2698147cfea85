#include "ui/main/window_look.h"

#include <QCheckBox>
#include <QRadioButton>

#include <algorithm>

namespace tavero::ui {

QPalette windowPalette() {
    QPalette pal;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Window, kWindowColour);
        pal.setColor(group, QPalette::Base, kBaseColour);
        pal.setColor(group, QPalette::AlternateBase, QColor(0x14, 0x14, 0x1c));
        pal.setColor(group, QPalette::Text, kTextColour);
        pal.setColor(group, QPalette::WindowText, kTextColour);
        pal.setColor(group, QPalette::Button, QColor(0x1e, 0x1e, 0x29));
        pal.setColor(group, QPalette::ButtonText, kTextColour);
        pal.setColor(group, QPalette::Highlight, kHighlightColour);
        pal.setColor(group, QPalette::HighlightedText, Qt::white);
        pal.setColor(group, QPalette::ToolTipBase, QColor(0x1e, 0x1e, 0x29));
        pal.setColor(group, QPalette::ToolTipText, kTextColour);
        pal.setColor(group, QPalette::PlaceholderText, kDimTextColour);
        pal.setColor(group, QPalette::Light, QColor(0x30, 0x32, 0x40));
        pal.setColor(group, QPalette::Midlight, QColor(0x26, 0x28, 0x34));
        pal.setColor(group, QPalette::Mid, QColor(0x20, 0x21, 0x2b));
        pal.setColor(group, QPalette::Dark, QColor(0x08, 0x08, 0x0c));
    }
    pal.setColor(QPalette::Disabled, QPalette::Window, kWindowColour);
    pal.setColor(QPalette::Disabled, QPalette::Base, kWindowColour);
    pal.setColor(QPalette::Disabled, QPalette::Text, kDimTextColour);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, kDimTextColour);
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, kDimTextColour);
    pal.setColor(QPalette::Disabled, QPalette::Button, QColor(0x18, 0x18, 0x22));
    return pal;
}

void LightenIndicators(QWidget* root) {
    const QList<QAbstractButton*> buttons = root->findChildren<QAbstractButton*>();
    for (QAbstractButton* b : buttons) {
        if (qobject_cast<QCheckBox*>(b) == nullptr && qobject_cast<QRadioButton*>(b) == nullptr) {
            continue;
        }
        QPalette p = b->palette();
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            p.setColor(group, QPalette::Base, QColor(0x2a, 0x2c, 0x38));
            p.setColor(group, QPalette::Text, Qt::white);
            // The frame is drawn in a darker shade of the window colour.
            p.setColor(group, QPalette::Window, QColor(0xa8, 0xae, 0xc4));
        }
        b->setPalette(p);
    }
}

int scaledPixels(int uiMode, int modeZeroPixels) {
    const double scale = uiMode == 1 ? 0.75 : uiMode == 2 ? 0.5333 : 1.0;
    return std::max(8, static_cast<int>(modeZeroPixels * scale + 0.5));
}

} // namespace tavero::ui
