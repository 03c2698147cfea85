#include "app/engine_player.h"

#include "engine/player.h"
#include "store/card_layout.h"

namespace tavero::app {

void EnginePlayer::Open(const std::string& path) {
    engine::PlayerOpen(m_control, path);
}

void EnginePlayer::Close() {
    engine::PlayerClose(m_control);
}

store::IndexRecord* EnginePlayer::LoadIndex() {
    return engine::PlayerLoadIndex(m_control);
}

std::string EnginePlayer::LoadError() {
    if (!engine::IsPlayable(m_control->sourceType())) {
        return "not a raw backup file (*.sd) or a recorder card";
    }
    const store::StoreError& error = m_control->box().lastError();
    if (error.ok()) {
        return {};
    }
    std::string text = error.describe();
    if (error.code == store::StoreErrorCode::IndexInvalid &&
        error.offset == store::kCardIndexBaseA) {
        text += " (the card holds no recordings: it is empty or freshly formatted)";
    }
    return text;
}

store::RecordingEntry EnginePlayer::BuildEntry(store::IndexRecord* first, std::int32_t number) {
    // Display texts are made by the window's own time rule; the store's are not used.
    return store::BuildRecordingEntry(m_control->box().index(), first, 0, 0, number);
}

store::IndexRecord* EnginePlayer::CurrentEntry() {
    return engine::PlayerGetCurrentEntry(m_control);
}

bool EnginePlayer::Play(store::IndexRecord* entry, int parameter) {
    return engine::PlayerPlay(m_control, entry, parameter);
}

void EnginePlayer::Pause(int paused) {
    engine::PlayerPause(m_control, paused);
}

void EnginePlayer::SetSpeed(double speed) {
    engine::PlayerSetSpeed(m_control, speed);
}

void EnginePlayer::Seek(std::int32_t seconds) {
    engine::PlayerSeek(m_control, seconds);
}

void EnginePlayer::SetVolume(int volume, int channel) {
    engine::PlayerSetVolume(m_control, volume, channel);
}

std::uint32_t EnginePlayer::GetTime(int channel) {
    return engine::PlayerGetTime(m_control, channel);
}

void EnginePlayer::Tick(int step) {
    engine::PlayerTick(m_control, step);
}

std::uint32_t EnginePlayer::GetLastTime(int channel) {
    return engine::PlayerGetLastTime(m_control, channel);
}

std::uint8_t EnginePlayer::IsChannelIdle(int channel) {
    return engine::PlayerIsChannelIdle(m_control, channel);
}

std::uint32_t EnginePlayer::GetVideoWidth(int channel) {
    return engine::PlayerGetVideoWidth(m_control, channel);
}

std::uint32_t EnginePlayer::GetVideoHeight(int channel) {
    return engine::PlayerGetVideoHeight(m_control, channel);
}

std::string EnginePlayer::GetPath() {
    return engine::PlayerGetPath(m_control);
}

bool EnginePlayer::GetUnitTrailer(std::uint8_t* trailer512) {
    return engine::PlayerGetUnitTrailer(m_control, trailer512);
}

} // namespace tavero::app
