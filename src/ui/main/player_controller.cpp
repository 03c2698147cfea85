#include "ui/main/player_controller.h"

#include "app/engine_player.h"
#include "engine/notifications.h"
#include "engine/player.h"
#include "export/snapshot.h"

#include <QMetaObject>
#include <QPointer>

namespace tavero::ui {

namespace {
// Colour of the information lines (0x00BBGGRR): red.
constexpr std::uint32_t kInfoColour = 255;
// The snapshot's text colour, as the information lines.
constexpr std::uint32_t kSnapshotColour = 255;
} // namespace

// Called on engine threads: hands each notification to the UI thread, in order. The controller
// destroys the engine (and with it every thread that could post) before it goes away itself;
// a call still queued then is dropped by Qt with its receiver.
class EngineController::Sink final : public engine::NotificationSink {
public:
    explicit Sink(EngineController* owner) : m_owner(owner) {}

    void Post(std::uint32_t message, engine::COzuCtrl* /*control*/, std::int64_t lParam) override {
        EngineController* owner = m_owner;
        QMetaObject::invokeMethod(
            owner, [owner, message, lParam] { owner->deliver(message, lParam); },
            Qt::QueuedConnection);
    }

private:
    EngineController* m_owner;
};

EngineController::EngineController(QObject* parent)
    : PlayerController(parent), m_sink(std::make_unique<Sink>(this)) {
    m_control = engine::PlayerCreate(m_sink.get());
    if (m_control != nullptr) {
        m_commands = std::make_unique<app::EnginePlayer>(m_control);
        m_backup = std::make_unique<app::EngineBackup>(*m_control);
        for (int ch = 0; ch < app::kChannelCount; ++ch) {
            engine::PlayerSetNotifyWindow(m_control, m_sink.get(), ch);
        }
    }
}

EngineController::~EngineController() {
    if (m_control != nullptr) {
        engine::PlayerClose(m_control);
        m_backup.reset(); // the AVI writers detach from the closed control
        for (int ch = 0; ch < app::kChannelCount; ++ch) {
            engine::PlayerSetVideoWindow(m_control, nullptr, ch);
        }
        engine::PlayerDestroy(m_control);
        m_control = nullptr;
    }
}

void EngineController::deliver(quint32 message, qint64 lParam) {
    switch (message) {
    case engine::kMsgVideoSize:
        Q_EMIT videoSizeChanged(static_cast<int>(lParam));
        break;
    case engine::kMsgEndOfStream:
        Q_EMIT endOfStream(lParam);
        break;
    case engine::kMsgUnitTrailer:
        Q_EMIT unitTrailerArrived();
        break;
    default:
        break; // export files opened and closed: no window acts on them
    }
}

app::PlayerCommands& EngineController::commands() {
    // Only called on a valid controller: the window stops at start-up otherwise.
    return *m_commands;
}

void EngineController::setVideoWindow(int channel, engine::VideoWindow* window) {
    if (m_control != nullptr) {
        engine::PlayerSetVideoWindow(m_control, window, channel);
    }
}

void EngineController::configureChannel(int channel, const app::ChannelSettings& s) {
    if (m_control == nullptr) {
        return;
    }
    engine::PlayerEnableAudio(m_control, s.enableAudio, channel);
    engine::PlayerEnableVideo(m_control, s.enableVideo, channel);
    engine::PlayerEnableDxva2(m_control, s.enableDxva2, channel);
    engine::PlayerSetCrop(m_control, channel, s.cutLeft, s.cutTop, s.cutRight, s.cutBottom);
}

void EngineController::showInfo(bool on) {
    if (m_control != nullptr) {
        engine::PlayerShowInfo(m_control, on ? 1 : 0, kInfoColour);
    }
}

void EngineController::repaint() {
    if (m_control != nullptr) {
        engine::PlayerRepaint(m_control);
    }
}

bool EngineController::snapshot(const app::SnapshotTexts& t) {
    if (m_control == nullptr) {
        return false;
    }
    if (t.stamped) {
        return exporting::PlayerSnapshotStamped(m_control, exporting::kSnapshotBmp, 0,
                                                kSnapshotColour, t.prefix, t.latitude, t.longitude,
                                                t.speed) != 0;
    }
    return exporting::PlayerSnapshot(m_control, exporting::kSnapshotBmp, 0, kSnapshotColour,
                                     t.prefix) != 0;
}

} // namespace tavero::ui
