#pragma once
// The player facade: the flat functions through which the user interface drives the engine.
// Every function takes the control first and is called from the controlling thread.

#include <cstdint>
#include <string>

#include "engine/ozu_ctrl.h"

namespace tavero::engine {

// Creates the one control; notifications go to sink (which must outlive the control).
[[nodiscard]] COzuCtrl* PlayerCreate(NotificationSink* sink);
void PlayerDestroy(COzuCtrl* control);
void PlayerOpen(COzuCtrl* control, const std::string& path);
void PlayerClose(COzuCtrl* control);
store::IndexRecord* PlayerLoadIndex(COzuCtrl* control);
store::IndexRecord* PlayerNextEntry(COzuCtrl* control, const store::IndexRecord* entry);
store::IndexRecord* PlayerGetCurrentEntry(COzuCtrl* control);
bool PlayerPlay(COzuCtrl* control, store::IndexRecord* entry, int parameter);
void PlayerPause(COzuCtrl* control, int paused);
void PlayerSetSpeed(COzuCtrl* control, double speed);
void PlayerSeek(COzuCtrl* control, std::int32_t seconds);
std::uint32_t PlayerGetTime(COzuCtrl* control, int channel);
void PlayerTick(COzuCtrl* control, int step);
std::uint32_t PlayerGetElapsed(COzuCtrl* control);
bool PlayerGetUnitTrailer(COzuCtrl* control, std::uint8_t* trailer512);
void PlayerSelectChannel(COzuCtrl* control, int channel, int included, int ticked);
bool PlayerExportList(COzuCtrl* control, const std::string& outputPath,
                      store::IndexRecord* const* records, int count);
bool PlayerExportRange(COzuCtrl* control, const std::string& outputPath,
                       store::IndexRecord* entry, int parameter, std::int64_t start,
                       std::int64_t end);

} // namespace tavero::engine
