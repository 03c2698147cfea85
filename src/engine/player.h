#pragma once
// The player facade: the flat functions through which the user interface drives the engine.
// Every function takes the control first and is called from the controlling thread.

#include "engine/ozu_ctrl.h"

#include <cstdint>
#include <string>

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

// Volume in hundredths of a dB; -2700 and below become -10000 (silence).
void PlayerSetVolume(COzuCtrl* control, int volume, int channel);
// Picture size of the channel's video worker; 0 without one.
std::uint32_t PlayerGetVideoWidth(COzuCtrl* control, int channel);
std::uint32_t PlayerGetVideoHeight(COzuCtrl* control, int channel);
// Time value of the last frame the channel's video worker handled; 0 without one.
std::uint32_t PlayerGetLastTime(COzuCtrl* control, int channel);
// 1 from the start of the channel's video worker until it showed its first picture, and when
// the channel has no worker.
std::uint8_t PlayerIsChannelIdle(COzuCtrl* control, int channel);
std::string PlayerGetPath(COzuCtrl* control);
// True when drive N holds a card of the recorder's older layout.
bool PlayerProbeDrive(COzuCtrl* control, int drive);
// Where the channel's pictures go (null: nowhere).
void PlayerSetVideoWindow(COzuCtrl* control, VideoWindow* window, int channel);
// Where notifications go; only channel 0's entry is used.
void PlayerSetNotifyWindow(COzuCtrl* control, NotificationSink* sink, int channel);
void PlayerEnableAudio(COzuCtrl* control, int enabled, int channel);
void PlayerEnableVideo(COzuCtrl* control, int enabled, int channel);
// Hardware decoding for the channel from its next play, when this machine offers it.
void PlayerEnableDxva2(COzuCtrl* control, int enabled, int channel);
void PlayerSetCrop(COzuCtrl* control, int channel, std::int32_t left, std::int32_t top,
                   std::int32_t right, std::int32_t bottom);
// Information lines on or off, in the colour 0x00BBGGRR.
void PlayerShowInfo(COzuCtrl* control, int enabled, std::uint32_t colour);
// Every channel redraws its last picture.
void PlayerRepaint(COzuCtrl* control);
void PlayerSelectChannel(COzuCtrl* control, int channel, int included, int ticked);
bool PlayerExportList(COzuCtrl* control, const std::string& outputPath,
                      store::IndexRecord* const* records, int count);
bool PlayerExportRange(COzuCtrl* control, const std::string& outputPath, store::IndexRecord* entry,
                       int parameter, std::int64_t start, std::int64_t end);

} // namespace tavero::engine
