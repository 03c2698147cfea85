#include "ui/controls/panel_picture.h"

#include <QPainter>
#include <cstdint>

namespace tavero::ui {

namespace {

// Half the size, each pixel the mean of a 2 x 2 block (32-bit pixels).
QImage halved(const QImage& source) {
    const int w = source.width() / 2;
    const int h = source.height() / 2;
    QImage out(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const auto* a = reinterpret_cast<const std::uint32_t*>(source.constScanLine(2 * y));
        const auto* b = reinterpret_cast<const std::uint32_t*>(source.constScanLine(2 * y + 1));
        auto* o = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p0 = a[2 * x];
            const std::uint32_t p1 = a[2 * x + 1];
            const std::uint32_t p2 = b[2 * x];
            const std::uint32_t p3 = b[2 * x + 1];
            // Red and blue, then green, summed in their own lanes (no lane overflows at 4 x 255).
            const std::uint32_t rb = (((p0 & 0xff00ffu) + (p1 & 0xff00ffu) + (p2 & 0xff00ffu) +
                                       (p3 & 0xff00ffu) + 0x20002u) >>
                                      2) &
                                     0xff00ffu;
            const std::uint32_t g =
                (((p0 & 0xff00u) + (p1 & 0xff00u) + (p2 & 0xff00u) + (p3 & 0xff00u) + 0x200u) >>
                 2) &
                0xff00u;
            o[x] = 0xff000000u | rb | g;
        }
    }
    return out;
}

// Scaled to `target`: box-filtered halvings while the picture is at least twice the target,
// then bilinear. About a quarter of the cost of Qt's smooth scaling at the grid's sizes, without
// the shimmer of sampling single pixels.
QImage scaledForShow(const QImage& picture, QSize target) {
    QImage current =
        picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
            ? picture
            : picture.convertToFormat(QImage::Format_RGB32);
    while (current.width() >= 2 * target.width() && current.height() >= 2 * target.height()) {
        current = halved(current);
    }
    if (current.size() == target) {
        return current.constBits() == picture.constBits() ? current.copy() : current;
    }
    QImage out(target, QImage::Format_RGB32);
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    // In bands of fewer rows than Qt hands to its own helper threads: each picture's work stays
    // on its channel's worker (eight of them already share the cores), and the band edges do not
    // show, as every band is drawn with the whole picture's transformation.
    constexpr int kBandRows = 64;
    for (int y = 0; y < target.height(); y += kBandRows) {
        painter.setClipRect(0, y, target.width(), kBandRows);
        painter.drawImage(out.rect(), current);
    }
    return out;
}

} // namespace

QImage cropAndScale(const QImage& picture, const engine::CropRect& crop, QSize target) {
    if (picture.isNull() || target.isEmpty()) {
        return {};
    }
    const QRect source(QPoint(crop.left, crop.top), QPoint(picture.width() + crop.right - 1,
                                                           picture.height() + crop.bottom - 1));
    if (source.isEmpty()) {
        return {};
    }
    QImage cut;
    if (source == picture.rect()) {
        // The worker reuses its buffer for the next picture: what is kept here is our own.
        return scaledForShow(picture, target);
    }
    if (picture.rect().contains(source)) {
        cut = picture.copy(source);
    } else {
        // A crop reaching past the picture shows black there.
        cut = QImage(source.size(), QImage::Format_RGB32);
        cut.fill(Qt::black);
        QPainter painter(&cut);
        painter.drawImage(-source.topLeft(), picture);
    }
    return scaledForShow(cut, target);
}

void PanelPicture::setTargetSize(QSize size) {
    const std::uint64_t w = size.isEmpty() ? 0 : static_cast<std::uint32_t>(size.width());
    const std::uint64_t h = size.isEmpty() ? 0 : static_cast<std::uint32_t>(size.height());
    m_target.store(w << 32 | h);
}

QSize PanelPicture::targetSize() const {
    const std::uint64_t packed = m_target.load();
    return {static_cast<int>(packed >> 32), static_cast<int>(packed & 0xffffffffu)};
}

bool PanelPicture::store(const QImage& picture, const engine::CropRect& crop) {
    m_received.fetch_add(1);
    QImage shown = cropAndScale(picture, crop, targetSize());
    std::lock_guard guard(m_lock);
    m_pictureSize = picture.size();
    if (shown.isNull()) {
        return false;
    }
    m_serial = m_scaled.fetch_add(1) + 1;
    m_frame = std::move(shown);
    const bool tell = !m_waiting;
    m_waiting = true;
    return tell;
}

QImage PanelPicture::latest(QSize* pictureSize, std::uint64_t* serial) {
    std::lock_guard guard(m_lock);
    m_waiting = false;
    if (pictureSize != nullptr) {
        *pictureSize = m_pictureSize;
    }
    if (serial != nullptr) {
        *serial = m_serial;
    }
    return m_frame;
}

void PanelPicture::clear() {
    std::lock_guard guard(m_lock);
    m_frame = QImage();
    m_waiting = false;
}

} // namespace tavero::ui
