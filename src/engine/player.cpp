#include "engine/player.h"

namespace tavero::engine {

COzuCtrl* PlayerCreate(NotificationSink* sink) { return new COzuCtrl(sink); }

void PlayerDestroy(COzuCtrl* control) {
    if (control != nullptr) {
        control->Close();
        delete control;
    }
}

void PlayerOpen(COzuCtrl* control, const std::string& path) { control->Open(path); }
void PlayerClose(COzuCtrl* control) { control->Close(); }
store::IndexRecord* PlayerLoadIndex(COzuCtrl* control) { return control->LoadIndex(); }
store::IndexRecord* PlayerNextEntry(COzuCtrl* control, const store::IndexRecord* entry) {
    return control->NextEntry(entry);
}
store::IndexRecord* PlayerGetCurrentEntry(COzuCtrl* control) { return control->CurrentEntry(); }
bool PlayerPlay(COzuCtrl* control, store::IndexRecord* entry, int parameter) {
    return control->Play(entry, parameter);
}
void PlayerPause(COzuCtrl* control, int paused) { control->Pause(paused != 0); }
void PlayerSetSpeed(COzuCtrl* control, double speed) { control->SetSpeed(speed); }
void PlayerSeek(COzuCtrl* control, std::int32_t seconds) { control->Seek(seconds); }
std::uint32_t PlayerGetTime(COzuCtrl* control, int channel) { return control->GetTime(channel); }
void PlayerTick(COzuCtrl* control, int step) { control->Tick(step); }
std::uint32_t PlayerGetElapsed(COzuCtrl* control) { return control->GetElapsed(); }
bool PlayerGetUnitTrailer(COzuCtrl* control, std::uint8_t* trailer512) {
    return control->GetUnitTrailer(trailer512);
}
void PlayerSelectChannel(COzuCtrl* control, int channel, int included, int ticked) {
    control->SelectChannel(channel, included != 0, ticked != 0);
}
bool PlayerExportList(COzuCtrl* control, const std::string& outputPath,
                      store::IndexRecord* const* records, int count) {
    return control->ExportList(outputPath, records, count);
}
bool PlayerExportRange(COzuCtrl* control, const std::string& outputPath,
                       store::IndexRecord* entry, int parameter, std::int64_t start,
                       std::int64_t end) {
    return control->ExportRange(outputPath, entry, parameter, start, end);
}

} // namespace tavero::engine
