#include "ui/skin/skin_set.h"

#include <QImage>
#include <algorithm>

// Resources of a static library are registered by name; outside any namespace, as Qt's macro
// requires.
static void registerSkinResources() {
    Q_INIT_RESOURCE(tavero_skin);
}

namespace tavero::ui {

SkinSet& SkinSet::current() {
    static SkinSet skin;
    return skin;
}

SkinSet::SkinSet() {
    registerSkinResources();
}

void SkinSet::setMode(int mode) {
    if (mode != m_mode) {
        m_mode = mode;
        m_loaded.clear();
    }
}

QPixmap SkinSet::pixmap(int id) const {
    if (const auto it = m_inserted.constFind(id); it != m_inserted.constEnd()) {
        return *it;
    }
    if (id <= 0 || m_mode < 0 || m_mode > 2) {
        return {};
    }
    if (const auto it = m_loaded.constFind(id); it != m_loaded.constEnd()) {
        return *it;
    }
    QPixmap loaded(skinResourcePath(m_mode, id));
    m_loaded.insert(id, loaded);
    return loaded;
}

void SkinSet::insert(int id, const QPixmap& picture) {
    m_inserted.insert(id, picture);
}

void SkinSet::remove(int id) {
    m_inserted.remove(id);
}

QString skinResourcePath(int mode, int id) {
    return QStringLiteral(":/skin/m%1/%2.png").arg(mode).arg(id);
}

QPixmap withColourTransparent(const QPixmap& picture, QColor key) {
    if (picture.isNull() || !key.isValid()) {
        return picture;
    }
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb match = key.rgb() & 0x00ffffffu;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((row[x] & 0x00ffffffu) == match) {
                row[x] = 0;
            }
        }
    }
    return QPixmap::fromImage(image);
}

QPixmap maskedByWhite(const QPixmap& frame, const QPixmap& mask) {
    if (frame.isNull() || mask.isNull()) {
        return frame;
    }
    QImage image = frame.toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage keys = mask.toImage().convertToFormat(QImage::Format_RGB32);
    const int w = std::min(image.width(), keys.width());
    const int h = std::min(image.height(), keys.height());
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const auto* key = reinterpret_cast<const QRgb*>(keys.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if ((key[x] & 0x00ffffffu) == 0x00ffffffu) {
                row[x] = 0;
            }
        }
    }
    return QPixmap::fromImage(image);
}

} // namespace tavero::ui
