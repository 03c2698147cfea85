#pragma once
// COzuCtrl: the playback engine as the user interface sees it. One object, created once and kept;
// it holds the opened source, owns every queue and worker of the eight channels and the source
// reader, and reports events through its notification sink. The facade in player.h is the only
// way in for the user interface.
//
// Threads: facade calls come from one controlling thread (the UI thread, or the command-line
// tool's main thread). The source thread and the channel workers read the playback state below;
// every field they share is atomic, and each says who writes it.

#include "engine/audio_queue.h"
#include "engine/channel_clock.h"
#include "engine/export_output.h"
#include "engine/fps_ctrl.h"
#include "engine/notifications.h"
#include "engine/sound_output.h"
#include "engine/source_box_ctx.h"
#include "engine/source_type.h"
#include "engine/video_queue.h"
#include "engine/video_window.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tavero::engine {

inline constexpr int kChannelCount = 8;

// Queue sizes of playback and of a raw backup (list export).
inline constexpr std::size_t kPlayVideoArea = 0x5000000;  // 80 MiB
inline constexpr std::size_t kPlayVideoMargin = 0x280000; // 2.5 MiB: the largest picture
inline constexpr std::size_t kExportVideoArea = 0x800000; // 8 MiB
inline constexpr std::size_t kExportVideoMargin = 0x40000;
inline constexpr std::size_t kAudioArea = 0x200000;
inline constexpr std::size_t kAudioMargin = 0x4000;
inline constexpr std::uint32_t kVideoQueueRecords = 384;

class CVideoCtx;
class CAudioCtx;

// The objects of one channel; created together on first play or export and kept.
struct ChannelSlot {
    ChannelSlot(COzuCtrl& owner, int channel);
    ~ChannelSlot();
    CFpsCtrl pacer;
    CVBuffer2 video;
    CABuffer2 audio;
    std::unique_ptr<CVideoCtx> videoWorker;
    std::unique_ptr<CAudioCtx> audioWorker;
    // The recorder switched the channel off: its picture is hidden until its pictures come
    // back. Written by the channel's video worker when it reaches that point of the stream.
    std::atomic<bool> hidden{false};
};

// What the user interface sets per channel; read by the channel's workers for every picture.
struct ChannelSettings {
    std::atomic<bool> videoEnabled{true};
    std::atomic<bool> hardwareDecoding{false};
    std::atomic<VideoWindow*> window{nullptr};
    std::array<std::atomic<std::int32_t>, 4> crop{}; // left, top, right, bottom
    std::atomic<int> volume{0};                      // hundredths of a dB
    [[nodiscard]] CropRect cropRect() const {
        return {crop[0].load(), crop[1].load(), crop[2].load(), crop[3].load()};
    }
};

class COzuCtrl {
public:
    explicit COzuCtrl(NotificationSink* sink);
    ~COzuCtrl();
    COzuCtrl(const COzuCtrl&) = delete;
    COzuCtrl& operator=(const COzuCtrl&) = delete;

    // Facade bodies (see player.h).
    void Open(const std::string& path);
    void Close();
    store::IndexRecord* LoadIndex();
    store::IndexRecord* NextEntry(const store::IndexRecord* record);
    store::IndexRecord* CurrentEntry();
    // Starts (or, while playing, repositions) playback at the record; parameter k >= 1 starts at
    // its event entry k - 1. The channels' decoding workers attach to the queues.
    [[nodiscard]] bool Play(store::IndexRecord* entry, int parameter);
    void Pause(bool paused);
    void SetSpeed(double speed);
    void Seek(std::int32_t seconds);
    [[nodiscard]] std::uint32_t GetTime(int channel) const;
    void Tick(int step);
    [[nodiscard]] std::uint32_t GetElapsed() const;
    [[nodiscard]] bool GetUnitTrailer(std::uint8_t* trailer512);
    void SelectChannel(int channel, bool included, bool ticked);
    void EnableAudio(int channel, bool enabled);
    // Stores the channel's volume (hundredths of a dB) and passes it to its audio worker.
    void SetVolume(int channel, int volume);
    [[nodiscard]] bool ExportList(const std::string& outputPath, store::IndexRecord* const* records,
                                  int count);
    [[nodiscard]] bool ExportRange(const std::string& outputPath, store::IndexRecord* entry,
                                   int parameter, std::int64_t start, std::int64_t end);

    // What went wrong with the last refused export or play, for people.
    [[nodiscard]] const std::string& lastError() const { return m_lastError; }
    [[nodiscard]] SourceType sourceType() const { return m_source.type; }
    [[nodiscard]] const std::string& path() const { return m_source.path; }
    [[nodiscard]] const DetectedSource& source() const { return m_source; }
    [[nodiscard]] CSourceBoxCtx& box() { return m_box; }
    [[nodiscard]] ChannelSlot* slot(int channel) { return m_slots[channel].get(); }
    [[nodiscard]] NotificationSink* sink() const { return m_sink.load(); }
    void setSink(NotificationSink* sink) { m_sink.store(sink); }
    void Notify(std::uint32_t message, std::int64_t lParam);
    // The source reader repositioned the sound: channel 0's audio worker takes the media time
    // (µs) and latency (ms) as its new clock base when it next writes sound.
    void RebaseAudioClock(std::int64_t mediaTimeUs, int latencyMs);
    // Set by RebaseAudioClock, taken by the audio worker.
    std::atomic<bool> rebasePending{false};
    std::atomic<std::int64_t> rebaseMediaUs{0};
    std::atomic<int> rebaseLatencyMs{0};

    // Per-channel settings of the user interface; kept across plays.
    std::array<ChannelSettings, kChannelCount> settings;
    // The information lines (off, red, at 10, 60).
    std::atomic<bool> showInfo{false};
    std::atomic<std::uint32_t> infoColour{255};
    std::atomic<int> infoX{10};
    std::atomic<int> infoY{60};
    // Whether playing starts the channels' decoding workers (tests of the source side alone
    // consume the queues themselves).
    std::atomic<bool> runWorkers{true};
    // Headless runs: no pacing waits, pictures as fast as they decode.
    std::atomic<bool> unpaced{false};
    // Folder of the WAV files of the sounding channels ("chN.wav", N from 0); empty: none.
    // Set before the first play: paced, the sound also goes to the device; unpaced, only
    // into the files.
    std::string soundFolder;
    // Unpaced: the WAV files hold only the first this many microseconds of each channel's sound
    // (0: all of it). Set before a play.
    std::int64_t unpacedSoundDurationUs = 0;
    // Makes a channel's sound output (empty: the sound device, plus the WAV file when
    // soundFolder is set). Set before the first play.
    SoundOutputFactory soundOutputFactory;
    // What went wrong with the sound output of the last play, for people; empty when nothing.
    [[nodiscard]] std::string soundError() const;
    // Set by a channel's video worker when it met the end of the data.
    std::array<std::atomic<bool>, kChannelCount> ended{};

    // Keeps the channels in step; every slot's pacer is attached when the slots are made.
    ChannelClock channelClock;

    // Playback state shared with the engine threads.
    std::atomic<bool> playing{false};        // written by the controlling thread
    std::atomic<bool> paused{false};         // controlling thread
    std::atomic<double> speed{1.0};          // controlling thread; sign = direction
    std::atomic<std::int32_t> seekTarget{0}; // controlling thread sets, source thread clears
    // Raised by the source thread each time it repositions for a seek; every record carries the
    // generation it was read in, and the workers drop older ones.
    std::atomic<std::uint32_t> seekGeneration{0};
    std::atomic<std::int64_t> clock{0}; // playback clock, seconds; several writers
    std::array<std::atomic<std::int64_t>, kChannelCount> currentTime{}; // per channel, seconds
    std::array<std::atomic<std::uint32_t>, kChannelCount> frameCount{};
    std::array<std::atomic<std::uint32_t>, kChannelCount> byteCount{};
    // Counts of the last second; written by the controlling thread, read by the workers.
    std::array<std::atomic<std::uint32_t>, kChannelCount> latchedFrames{};
    std::array<std::atomic<std::uint32_t>, kChannelCount> latchedBytes{};
    std::array<std::atomic<bool>, kChannelCount> audioEnabled{}; // controlling thread
    std::array<bool, kChannelCount> exportIncluded{};
    std::array<std::atomic<bool>, kChannelCount> exportTicked{};
    // Export target: set when an export starts, kept until the control closes.
    std::string exportPath; // ".avi" removed
    std::atomic<bool> exportAvi{false};
    std::atomic<bool> exportTargetSet{false};
    std::int64_t exportDuration = 0;
    // The stream-copy export's workers, owned by the caller and kept while this control lives;
    // without them an AVI export is refused. Controlling thread, while nothing runs.
    void SetExportOutput(ExportOutput* output) { m_exportOutput = output; }
    [[nodiscard]] ExportOutput* exportOutput() const { return m_exportOutput; }

private:
    [[nodiscard]] bool ensureSlots();
    [[nodiscard]] bool prepareExport(const std::string& outputPath, std::int64_t duration);
    [[nodiscard]] bool startExport();
    [[nodiscard]] bool setExportTarget(const std::string& outputPath, std::int64_t duration);
    void resetState();

    std::atomic<NotificationSink*> m_sink;
    ExportOutput* m_exportOutput = nullptr;
    DetectedSource m_source;
    std::array<std::unique_ptr<ChannelSlot>, kChannelCount> m_slots;
    CSourceBoxCtx m_box;
    std::string m_lastError;
};

} // namespace tavero::engine
