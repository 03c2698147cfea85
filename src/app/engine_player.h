// PlayerCommands over the engine's facade: what the window hands to its rules.
//
// Thread: UI thread. The control is owned by the caller and must outlive this object.
#pragma once

#include "app/player_commands.h"
#include "engine/ozu_ctrl.h"

namespace tavero::app {

class EnginePlayer final : public PlayerCommands {
public:
    explicit EnginePlayer(engine::COzuCtrl* control) : m_control(control) {}

    void Open(const std::string& path) override;
    void Close() override;
    [[nodiscard]] store::IndexRecord* LoadIndex() override;
    [[nodiscard]] std::string LoadError() override;
    [[nodiscard]] store::RecordingEntry BuildEntry(store::IndexRecord* first,
                                                   std::int32_t number) override;
    [[nodiscard]] store::IndexRecord* CurrentEntry() override;
    [[nodiscard]] bool Play(store::IndexRecord* entry, int parameter) override;
    void Pause(int paused) override;
    void SetSpeed(double speed) override;
    void Seek(std::int32_t seconds) override;
    void SetVolume(int volume, int channel) override;
    [[nodiscard]] std::uint32_t GetTime(int channel) override;
    void Tick(int step) override;
    [[nodiscard]] std::uint32_t GetLastTime(int channel) override;
    [[nodiscard]] std::uint8_t IsChannelIdle(int channel) override;
    [[nodiscard]] std::uint32_t GetVideoWidth(int channel) override;
    [[nodiscard]] std::uint32_t GetVideoHeight(int channel) override;
    [[nodiscard]] std::string GetPath() override;
    [[nodiscard]] bool GetUnitTrailer(std::uint8_t* trailer512) override;

    [[nodiscard]] engine::COzuCtrl* control() const { return m_control; }

private:
    engine::COzuCtrl* m_control;
};

} // namespace tavero::app
