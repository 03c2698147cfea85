#include "engine/player.h"

#include "engine/video_ctx.h"
#include "store/sto_reader.h"

#include <array>

namespace tavero::engine {

COzuCtrl* PlayerCreate(NotificationSink* sink) {
    return new COzuCtrl(sink);
}

void PlayerDestroy(COzuCtrl* control) {
    if (control != nullptr) {
        control->Close();
        delete control;
    }
}

void PlayerOpen(COzuCtrl* control, const std::string& path) {
    control->Open(path);
}
void PlayerClose(COzuCtrl* control) {
    control->Close();
}
store::IndexRecord* PlayerLoadIndex(COzuCtrl* control) {
    return control->LoadIndex();
}
store::IndexRecord* PlayerNextEntry(COzuCtrl* control, const store::IndexRecord* entry) {
    return control->NextEntry(entry);
}
store::IndexRecord* PlayerGetCurrentEntry(COzuCtrl* control) {
    return control->CurrentEntry();
}
bool PlayerPlay(COzuCtrl* control, store::IndexRecord* entry, int parameter) {
    return control->Play(entry, parameter);
}
void PlayerPause(COzuCtrl* control, int paused) {
    control->Pause(paused != 0);
}
void PlayerSetSpeed(COzuCtrl* control, double speed) {
    control->SetSpeed(speed);
}
void PlayerSeek(COzuCtrl* control, std::int32_t seconds) {
    control->Seek(seconds);
}
std::uint32_t PlayerGetTime(COzuCtrl* control, int channel) {
    return control->GetTime(channel);
}
void PlayerTick(COzuCtrl* control, int step) {
    control->Tick(step);
}
std::uint32_t PlayerGetElapsed(COzuCtrl* control) {
    return control->GetElapsed();
}
bool PlayerGetUnitTrailer(COzuCtrl* control, std::uint8_t* trailer512) {
    return control->GetUnitTrailer(trailer512);
}
namespace {

bool ValidChannel(int channel) {
    return channel >= 0 && channel < kChannelCount;
}

CVideoCtx* VideoWorker(COzuCtrl* control, int channel) {
    if (!ValidChannel(channel)) {
        return nullptr;
    }
    ChannelSlot* slot = control->slot(channel);
    return slot != nullptr ? slot->videoWorker.get() : nullptr;
}

} // namespace

void PlayerSetVolume(COzuCtrl* control, int volume, int channel) {
    if (ValidChannel(channel)) {
        control->SetVolume(channel, volume);
    }
}

std::uint32_t PlayerGetVideoWidth(COzuCtrl* control, int channel) {
    CVideoCtx* worker = VideoWorker(control, channel);
    return worker != nullptr ? static_cast<std::uint32_t>(worker->width()) : 0;
}

std::uint32_t PlayerGetVideoHeight(COzuCtrl* control, int channel) {
    CVideoCtx* worker = VideoWorker(control, channel);
    return worker != nullptr ? static_cast<std::uint32_t>(worker->height()) : 0;
}

std::uint32_t PlayerGetLastTime(COzuCtrl* control, int channel) {
    CVideoCtx* worker = VideoWorker(control, channel);
    return worker != nullptr ? worker->lastTime() : 0;
}

std::uint8_t PlayerIsChannelIdle(COzuCtrl* control, int channel) {
    CVideoCtx* worker = VideoWorker(control, channel);
    return worker == nullptr || worker->idle() ? 1 : 0;
}

std::string PlayerGetPath(COzuCtrl* control) {
    return control->path();
}

bool PlayerProbeDrive(COzuCtrl* /*control*/, int drive) {
    // The older layout marks its cards with 00 41 46 53 at byte 0x7D82001.
    constexpr std::uint64_t kMarkOffset = 0x7D82001;
    constexpr std::uint64_t kSector = 512;
    store::CStoReader reader;
    if (!reader.OpenPhysicalDrive(drive, store::StoAccess::Read)) {
        return false;
    }
    std::array<std::uint8_t, kSector> sector{};
    const std::uint64_t at = kMarkOffset / kSector * kSector;
    if (!reader.Seek(static_cast<std::int64_t>(at), store::SeekOrigin::Begin) ||
        !reader.Read(sector.data(), kSector)) {
        return false;
    }
    const std::size_t skip = kMarkOffset - at;
    return sector[skip] == 0x00 && sector[skip + 1] == 0x41 && sector[skip + 2] == 0x46 &&
           sector[skip + 3] == 0x53;
}

void PlayerSetVideoWindow(COzuCtrl* control, VideoWindow* window, int channel) {
    if (ValidChannel(channel)) {
        control->settings[static_cast<std::size_t>(channel)].window = window;
    }
}

void PlayerSetNotifyWindow(COzuCtrl* control, NotificationSink* sink, int channel) {
    if (channel == 0) {
        control->setSink(sink);
    }
}

void PlayerEnableAudio(COzuCtrl* control, int enabled, int channel) {
    control->EnableAudio(channel, enabled != 0);
}

void PlayerEnableVideo(COzuCtrl* control, int enabled, int channel) {
    if (ValidChannel(channel)) {
        control->settings[static_cast<std::size_t>(channel)].videoEnabled = enabled != 0;
    }
}

void PlayerEnableDxva2(COzuCtrl* control, int enabled, int channel) {
    if (ValidChannel(channel)) {
        control->settings[static_cast<std::size_t>(channel)].hardwareDecoding = enabled != 0;
    }
}

void PlayerSetCrop(COzuCtrl* control, int channel, std::int32_t left, std::int32_t top,
                   std::int32_t right, std::int32_t bottom) {
    if (ValidChannel(channel)) {
        auto& crop = control->settings[static_cast<std::size_t>(channel)].crop;
        crop[0] = left;
        crop[1] = top;
        crop[2] = right;
        crop[3] = bottom;
    }
}

void PlayerShowInfo(COzuCtrl* control, int enabled, std::uint32_t colour) {
    control->infoColour = colour;
    control->showInfo = enabled != 0;
}

void PlayerRepaint(COzuCtrl* control) {
    for (int c = 0; c < kChannelCount; ++c) {
        if (CVideoCtx* worker = VideoWorker(control, c)) {
            worker->RequestRepaint(CVideoCtx::kRepaintShow);
        }
    }
}

void PlayerSelectChannel(COzuCtrl* control, int channel, int included, int ticked) {
    control->SelectChannel(channel, included != 0, ticked != 0);
}
bool PlayerExportList(COzuCtrl* control, const std::string& outputPath,
                      store::IndexRecord* const* records, int count) {
    return control->ExportList(outputPath, records, count);
}
bool PlayerExportRange(COzuCtrl* control, const std::string& outputPath, store::IndexRecord* entry,
                       int parameter, std::int64_t start, std::int64_t end) {
    return control->ExportRange(outputPath, entry, parameter, start, end);
}

} // namespace tavero::engine
