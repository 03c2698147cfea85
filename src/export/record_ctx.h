#pragma once
// CRecordCtx: the export worker of one channel. It turns the pictures and sound the source
// reader hands over into AVI files named after the export path and the channel ("trip1.avi",
// then "trip1 (2).avi" after a split): a file starts at a key picture, is split when it grows
// past the size limit (500 MiB), and is closed at the end of the export, at a write error and
// when the player control closes.
//
// Threads: Write and WriteAudio come from the source thread, Reset and Close from the
// controlling thread; m_lock serialises them. Notifications are posted with the lock held, so a
// sink must not call back into the worker.

#include "engine/export_output.h"
#include "export/avi_file.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace tavero::engine {
class COzuCtrl;
}

namespace tavero::exporting {

inline constexpr std::uint64_t kDefaultSplitBytes = 0x1F400000; // 500 MiB

// Picture size of a stream's resolution code; false for codes without one.
[[nodiscard]] bool ResolutionOfCode(int code, int& width, int& height);

class CRecordCtx {
public:
    CRecordCtx(engine::COzuCtrl& owner, int channel);
    CRecordCtx(const CRecordCtx&) = delete;
    CRecordCtx& operator=(const CRecordCtx&) = delete;
    ~CRecordCtx();

    // A picture or a sound frame with its time stamp (µs). Each file's sound starts at the time
    // of its first picture: sound read before that picture is kept for a few seconds, sound
    // from before it is cut off.
    void Write(const engine::ExportHeader& header, std::span<const std::uint8_t> payload,
               std::int64_t ptsUs);
    void WriteAudio(const engine::ExportHeader& header, std::span<const std::uint8_t> payload,
                    std::int64_t ptsUs);
    void Close();
    void Reset();

    [[nodiscard]] bool IsFileOpen() const;
    void SetChannelHeader(const engine::ExportHeader& header);
    [[nodiscard]] engine::ExportHeader ChannelHeader() const;
    // Bytes after which a file is split; tests make it small.
    void SetSplitBytes(std::uint64_t bytes);

    // Files completed since the last Reset, full paths; and the first failure, if any.
    [[nodiscard]] std::vector<std::string> filesWritten() const;
    [[nodiscard]] std::string failure() const;
    // Forgets both, before the next export.
    void ClearResults();

    // Files whose completion failed (a full disk): what was written plays, but the file lacks
    // its index or more. Not among filesWritten().
    [[nodiscard]] std::vector<std::string> filesIncomplete() const;

    static constexpr std::size_t kKeptSoundBytes = 4 * 16000; // four seconds

private:
    struct Sound {
        std::int64_t ptsUs = 0;
        std::vector<std::uint8_t> bytes;
    };
    bool openNextFile(const engine::ExportHeader& first);
    // Writes the part of a sound frame that lies at or after the file's first picture.
    bool writeSoundFrom(std::span<const std::uint8_t> bytes, std::int64_t ptsUs);
    void keepSound(std::span<const std::uint8_t> bytes, std::int64_t ptsUs);
    void closeLocked();
    void failLocked(const std::string& why);

    engine::COzuCtrl& m_owner;
    const int m_channel;
    mutable std::mutex m_lock;
    CAviFile m_avi;         // guarded by m_lock
    bool m_writing = false; // a file has started with a key picture
    bool m_newFileNeeded = false;
    bool m_failed = false;           // a write failed: nothing more until Reset
    std::string m_name;              // current file's path without ".avi"; given with 1434/1435
    std::uint32_t m_fileCounter = 0; // files closed with content
    std::uint64_t m_byteTotal = 0;   // payload bytes of the current file
    std::int64_t m_lastTime = 0;
    std::uint32_t m_lastSize = 0;
    std::int64_t m_firstTime = 0;
    engine::ExportHeader m_channelHeader;
    std::uint64_t m_splitBytes = kDefaultSplitBytes;
    std::int64_t m_firstPtsUs = 0;   // time stamp of the current file's first picture
    std::deque<Sound> m_recentSound; // the last seconds of sound, for the next file's start
    std::size_t m_recentBytes = 0;
    std::vector<std::string> m_files;
    std::vector<std::string> m_incomplete;
    std::string m_failure;
};

} // namespace tavero::exporting
