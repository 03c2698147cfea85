#include "ui/controls/panel_picture.h"

#include <QPainter>

namespace tavero::ui {

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
        if (target == picture.size()) {
            // The worker reuses its buffer for the next picture: keep a copy of our own.
            return picture.copy();
        }
        return picture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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
    if (cut.size() == target) {
        return cut;
    }
    return cut.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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
