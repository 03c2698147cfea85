#include "export/snapshot.h"

#include "engine/ozu_ctrl.h"
#include "engine/video_ctx.h"
#include "platform/create_path.h"

#include <QColor>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <cmath>
#include <cstdio>

namespace tavero::exporting {
namespace {

struct Request {
    std::uint32_t colour = 255;
    std::string prefix;
    bool stamped = false;
    std::array<std::string, 3> texts;
};

QColor FromColourRef(std::uint32_t colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

// One channel's file; nothing when the channel has no picture.
void TakeOne(engine::COzuCtrl& control, int channel, const Request& request) {
    engine::ChannelSlot* slot = control.slot(channel);
    if (slot == nullptr || !slot->videoWorker ||
        !control.settings[static_cast<std::size_t>(channel)].videoEnabled.load()) {
        return;
    }
    // The copy already carries the on-screen text of the picture.
    QImage picture = slot->videoWorker->presenter().Snapshot();
    if (picture.isNull()) {
        return;
    }
    if (request.stamped) {
        QPainter painter(&picture);
        painter.setPen(FromColourRef(request.colour));
        const auto at = StampPositions(picture.width(), picture.height());
        for (std::size_t i = 0; i < at.size(); ++i) {
            const QRect box(at[i].x, at[i].y, picture.width() - at[i].x,
                            picture.height() - at[i].y);
            painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                             QString::fromStdString(request.texts[i]));
        }
    }
    const std::string path = request.prefix + std::to_string(channel + 1) + ".bmp";
    (void)picture.save(QString::fromStdString(path), "BMP"); // a failed save is not reported
}

void SetError(std::string* error, const char* text) {
    if (error != nullptr) {
        *error = text;
    }
}

int Take(engine::COzuCtrl* control, int format, const Request& request, std::string* error) {
    if (control == nullptr || format != kSnapshotBmp || request.prefix.empty()) {
        SetError(error, "no player, no prefix or not a bitmap format");
        return 0;
    }
    // A QCoreApplication alone has no font database either.
    if (request.stamped &&
        qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        SetError(error, "the stamp needs fonts, which need a GUI application; nothing was saved");
        return 0;
    }
    if (!platform::CreatePath(request.prefix)) {
        SetError(error, "the folders of the prefix cannot be made");
        return 0;
    }
    for (int c = 0; c < engine::kChannelCount; ++c) {
        TakeOne(*control, c, request);
    }
    return 1;
}

} // namespace

int PlayerSnapshot(engine::COzuCtrl* control, int format, int /*value*/, std::uint32_t colour,
                   const std::string& prefix, std::string* error) {
    Request request;
    request.colour = colour;
    request.prefix = prefix;
    return Take(control, format, request, error);
}

int PlayerSnapshotStamped(engine::COzuCtrl* control, int format, int /*value*/,
                          std::uint32_t colour, const std::string& prefix, const std::string& text1,
                          const std::string& text2, const std::string& text3, std::string* error) {
    Request request;
    request.colour = colour;
    request.prefix = prefix;
    request.stamped = true;
    request.texts = {text1, text2, text3};
    return Take(control, format, request, error);
}

std::array<engine::TextPoint, 3> StampPositions(int width, int height) {
    std::array<engine::TextPoint, 3> at{};
    for (int i = 0; i < 3; ++i) {
        at[static_cast<std::size_t>(i)] = {width - (width / 6) * (3 - i), height - height / 24};
    }
    return at;
}

namespace {

std::string Format(const char* pattern, double value, char hemisphere) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value, hemisphere);
    return text;
}

} // namespace

std::string StampLatitude(double degrees) {
    return Format("%12f %c", std::fabs(degrees), degrees >= 0 ? 'N' : 'S');
}

std::string StampLongitude(double degrees) {
    return Format("%12f %c", std::fabs(degrees), degrees >= 0 ? 'E' : 'W');
}

std::string StampSpeed(double kmh) {
    char text[64];
    std::snprintf(text, sizeof text, "%6.1f Km/h", kmh);
    return text;
}

std::string SnapshotPrefix(const std::string& folder, std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    std::strftime(name, sizeof name, "img-%Y-%m-%d-%H-%M-%S_Ch", &local);
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/') {
        prefix += '/';
    }
    return prefix + name;
}

} // namespace tavero::exporting
