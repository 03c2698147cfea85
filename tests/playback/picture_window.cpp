#include "picture_window.h"

#include "engine/picture_hash.h"
#include "platform/drive_table.h"

namespace tavero::testing {

void PictureWindow::Decoded(int channel, const engine::YuvPicture& picture) {
    ShownPicture shown{engine::YuvPictureMd5(picture),
                       picture.width,
                       picture.height,
                       picture.ptsUs,
                       picture.key,
                       picture.timeSeconds};
    std::lock_guard guard(m_lock);
    m_shown[static_cast<std::size_t>(channel)].push_back(std::move(shown));
}

void PictureWindow::Present(int channel, const QImage&, const engine::CropRect&) {
    std::lock_guard guard(m_lock);
    ++m_presented[static_cast<std::size_t>(channel)];
}

void PictureWindow::SetVisible(int channel, bool visible) {
    std::lock_guard guard(m_lock);
    const auto c = static_cast<std::size_t>(channel);
    m_visibility[c].push_back(VisibilityChange{visible, m_shown[c].size()});
}

std::vector<VisibilityChange> PictureWindow::visibility(int channel) const {
    std::lock_guard guard(m_lock);
    return m_visibility[static_cast<std::size_t>(channel)];
}

void PictureWindow::Clear() {
    std::lock_guard guard(m_lock);
    for (auto& list : m_shown) {
        list.clear();
    }
    for (auto& list : m_visibility) {
        list.clear();
    }
}

std::vector<ShownPicture> PictureWindow::shown(int channel) const {
    std::lock_guard guard(m_lock);
    return m_shown[static_cast<std::size_t>(channel)];
}

int PictureWindow::presented(int channel) const {
    std::lock_guard guard(m_lock);
    return m_presented[static_cast<std::size_t>(channel)];
}

ControlPtr OpenUnpaced(engine::NotificationSink& sink, PictureWindow& window, int drive,
                       const std::string& image) {
    platform::SetDrivePath(drive, image);
    ControlPtr control(engine::PlayerCreate(&sink));
    control->unpaced = true;
    for (int c = 0; c < engine::kChannelCount; ++c) {
        engine::PlayerSetVideoWindow(control.get(), &window, c);
    }
    engine::PlayerOpen(control.get(), "car2://" + std::to_string(drive));
    return control;
}

bool WaitForChannelEnds(engine::RecordingSink& sink, const std::vector<int>& channels,
                        int timeoutMs) {
    for (const int c : channels) {
        const std::int64_t channel = c;
        if (!sink.WaitFor(engine::kMsgEndOfStream, timeoutMs, &channel)) {
            return false;
        }
    }
    return true;
}

} // namespace tavero::testing
