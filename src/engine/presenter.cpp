#include "engine/presenter.h"

#include "store/packed_time.h"

#include <QGuiApplication>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace tavero::engine {
namespace {

QColor FromColourRef(std::uint32_t colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

bool CanDrawText() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

QFont DefaultFont() {
    QFont font;
    font.setPixelSize(24);
    return font;
}

} // namespace

std::string SpeedLabel(double speed) {
    if (speed == 1.0 || speed == 1.1 || speed == -1.1) {
        return {};
    }
    char text[32];
    if (speed >= 1.0 || speed == -1.0) {
        std::snprintf(text, sizeof text, "%0.0fx", speed);
    } else if (speed > 0) {
        // 1 / speed as a power of two: 0.5 reads 1/2x, 0.04166666 reads 1/24x.
        const int denominator = static_cast<int>(std::pow(2.0, -std::log(speed) / std::log(2.0)));
        std::snprintf(text, sizeof text, "1/%dx", denominator);
    } else {
        // Other backward speeds: the same rule on the magnitude, with its sign.
        std::snprintf(text, sizeof text, "%0.0fx", speed);
    }
    return text;
}

TextPoint SpeedLabelPosition(int width, int height, const CropRect& crop) {
    const bool small = width < 640 || height < 480;
    return {10 + crop.left + (small ? 20 : 32), height + crop.bottom - 40 + (small ? 2 : 8)};
}

std::vector<std::string> InfoLines(const InfoState& state) {
    std::vector<std::string> lines;
    char text[160];
    // The time as the recorder stamped it.
    const std::string when = store::FormatRecorderTime(state.timeSeconds);
    std::snprintf(text, sizeof text, "%s pts = %llu", when.c_str(),
                  static_cast<unsigned long long>(state.ptsUs));
    lines.emplace_back(text);
    std::snprintf(text, sizeof text, "fps: %2d, bps: %4d kbps, P/I: %2d",
                  static_cast<int>(state.framesLastSecond),
                  static_cast<int>(static_cast<std::uint64_t>(state.bytesLastSecond) * 8 / 1024),
                  state.predictedPerGroup);
    lines.emplace_back(text);
    std::snprintf(text, sizeof text, "video: q = %2d, c = %4d KB",
                  static_cast<int>(state.videoRecords), static_cast<int>(state.videoBytes / 1024));
    lines.emplace_back(text);
    std::snprintf(text, sizeof text, "audio: q = %2d, c = %4d KB",
                  static_cast<int>(state.audioRecords), static_cast<int>(state.audioBytes / 1024));
    lines.emplace_back(text);
    return lines;
}

bool Presenter::Create(VideoWindow* window, int channel, int width, int height) {
    Release();
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        return false;
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) {
        return false;
    }
    std::lock_guard guard(m_lock);
    m_image = std::move(image);
    m_window = window;
    m_channel = channel;
    m_width = width;
    m_height = height;
    return true;
}

void Presenter::Release() {
    std::lock_guard guard(m_lock);
    m_image = QImage();
    m_width = 0;
    m_height = 0;
}

void Presenter::Clear() {
    std::lock_guard guard(m_lock);
    if (!m_image.isNull()) {
        m_image.fill(Qt::black);
    }
}

std::uint8_t* Presenter::LockSurface(int& pitch) {
    m_lock.lock();
    if (m_image.isNull()) {
        m_lock.unlock();
        pitch = 0;
        return nullptr;
    }
    pitch = static_cast<int>(m_image.bytesPerLine());
    return m_image.bits();
}

void Presenter::UnlockSurface() {
    m_lock.unlock();
}

void Presenter::DrawText(const OverlaySettings& settings, const InfoState& info, double speed,
                         const CropRect& crop) {
    const std::string label = SpeedLabel(speed);
    if ((!settings.showInfo && label.empty()) || !CanDrawText()) {
        return;
    }
    std::lock_guard guard(m_lock);
    if (m_image.isNull()) {
        return;
    }
    QPainter painter(&m_image);
    painter.setFont(DefaultFont());
    const int ascent = painter.fontMetrics().ascent();
    if (settings.showInfo) {
        painter.setPen(FromColourRef(settings.infoColour));
        const int x = settings.infoX < 0 ? m_width + settings.infoX : settings.infoX;
        int y = settings.infoY < 0 ? m_height + settings.infoY : settings.infoY;
        const int step = settings.infoY < 0 ? -24 : 24;
        for (const std::string& line : InfoLines(info)) {
            painter.drawText(x, y + ascent, QString::fromStdString(line));
            y += step;
        }
    }
    if (!label.empty()) {
        painter.setPen(FromColourRef(255));
        const TextPoint at = SpeedLabelPosition(m_width, m_height, crop);
        painter.drawText(at.x, at.y + ascent, QString::fromStdString(label));
    }
}

void Presenter::PresentCropped(const CropRect& crop) {
    if (m_window == nullptr) {
        return;
    }
    std::lock_guard guard(m_lock);
    if (!m_image.isNull()) {
        m_window->Present(m_channel, m_image, crop);
    }
}

QImage Presenter::Snapshot() const {
    std::lock_guard guard(m_lock);
    return m_image.copy();
}

} // namespace tavero::engine
