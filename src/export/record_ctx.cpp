#include "export/record_ctx.h"

#include "engine/ozu_ctrl.h"

#include <cstdio>

namespace tavero::exporting {
namespace {

struct Resolution {
    int width;
    int height;
};

constexpr Resolution kResolutions[] = {
    {352, 288}, {720, 288}, {720, 576}, {352, 240},  {720, 240},   {720, 480},
    {176, 144}, {640, 480}, {320, 240}, {1280, 720}, {2560, 1440},
};

// Files with no more payload than this are not worth keeping.
constexpr std::uint64_t kEmptyFileBytes = 24;
// A stream whose frame rate is missing from its headers is written at the player's default.
constexpr int kDefaultFps = 30;
// Sound further than this from the pictures is on a clock of its own; it is written as it comes.
constexpr std::int64_t kUnrelatedClockUs = 10'000'000;

// a - b of two frame time stamps, which are 32-bit values that wrap.
std::int64_t StampDifference(std::int64_t a, std::int64_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

} // namespace

bool ResolutionOfCode(int code, int& width, int& height) {
    if (code < 0 || code >= static_cast<int>(std::size(kResolutions))) {
        return false;
    }
    width = kResolutions[code].width;
    height = kResolutions[code].height;
    return true;
}

CRecordCtx::CRecordCtx(engine::COzuCtrl& owner, int channel) : m_owner(owner), m_channel(channel) {}

CRecordCtx::~CRecordCtx() {
    Reset();
}

bool CRecordCtx::IsFileOpen() const {
    std::lock_guard guard(m_lock);
    return m_avi.IsOpen();
}

void CRecordCtx::SetChannelHeader(const engine::ExportHeader& header) {
    std::lock_guard guard(m_lock);
    m_channelHeader = header;
}

engine::ExportHeader CRecordCtx::ChannelHeader() const {
    std::lock_guard guard(m_lock);
    return m_channelHeader;
}

void CRecordCtx::SetSplitBytes(std::uint64_t bytes) {
    std::lock_guard guard(m_lock);
    m_splitBytes = bytes;
}

std::vector<std::string> CRecordCtx::filesWritten() const {
    std::lock_guard guard(m_lock);
    return m_files;
}

std::vector<std::string> CRecordCtx::filesIncomplete() const {
    std::lock_guard guard(m_lock);
    return m_incomplete;
}

std::string CRecordCtx::failure() const {
    std::lock_guard guard(m_lock);
    return m_failure;
}

void CRecordCtx::ClearResults() {
    std::lock_guard guard(m_lock);
    m_files.clear();
    m_incomplete.clear();
    m_failure.clear();
}

void CRecordCtx::failLocked(const std::string& why) {
    if (m_failure.empty()) {
        m_failure = why;
    }
    m_writing = false;
    m_newFileNeeded = true;
    // Nothing more is written for this export: a full disk would only take the next file too.
    m_failed = true;
    m_owner.exportTargetSet = false;
    closeLocked();
}

void CRecordCtx::Write(const engine::ExportHeader& header, std::span<const std::uint8_t> payload,
                       std::int64_t ptsUs) {
    std::lock_guard guard(m_lock);
    if (m_failed) {
        return;
    }
    if (!m_writing) {
        // A file starts at a key picture; sound and predicted pictures before it are dropped.
        if (!header.isVideo() || !header.isKey()) {
            return;
        }
        if (m_newFileNeeded) {
            closeLocked();
            m_newFileNeeded = false;
        }
        m_writing = true;
    } else if (m_newFileNeeded && header.isVideo() && header.isKey()) {
        // A file past the size limit ends at a key picture, which starts the next file: the
        // predicted pictures up to it stay in the file they depend on, and none is lost.
        closeLocked();
        m_newFileNeeded = false;
    }
    const bool opening = !m_avi.IsOpen();
    if (opening && !openNextFile(header)) {
        // Dropped; the next key picture tries again.
        m_writing = false;
        return;
    }
    if (opening) {
        m_firstPtsUs = ptsUs;
    }
    if (!m_avi.WriteVideoFrame(payload, header.isKey())) {
        failLocked(m_avi.lastError());
        return;
    }
    if (opening) {
        // The sound read ahead of this picture starts the file's sound at its time.
        for (const Sound& s : m_recentSound) {
            if (!writeSoundFrom(s.bytes, s.ptsUs)) {
                failLocked(m_avi.lastError());
                return;
            }
        }
    }
    m_byteTotal += payload.size();
    m_lastTime = header.time();
    m_lastSize = static_cast<std::uint32_t>(payload.size());
    if (m_byteTotal > m_splitBytes) {
        m_newFileNeeded = true;
    }
}

void CRecordCtx::WriteAudio(const engine::ExportHeader& header,
                            std::span<const std::uint8_t> payload, std::int64_t ptsUs) {
    std::lock_guard guard(m_lock);
    payload = payload.first(std::min<std::size_t>(payload.size(), header.payloadSize()));
    keepSound(payload, ptsUs);
    if (m_failed || !m_writing || !m_avi.IsOpen()) {
        return;
    }
    if (!writeSoundFrom(payload, ptsUs)) {
        failLocked(m_avi.lastError());
    }
}

void CRecordCtx::keepSound(std::span<const std::uint8_t> bytes, std::int64_t ptsUs) {
    m_recentSound.push_back(Sound{ptsUs, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
    m_recentBytes += bytes.size();
    while (m_recentBytes > kKeptSoundBytes && m_recentSound.size() > 1) {
        m_recentBytes -= m_recentSound.front().bytes.size();
        m_recentSound.pop_front();
    }
}

bool CRecordCtx::writeSoundFrom(std::span<const std::uint8_t> bytes, std::int64_t ptsUs) {
    const std::int64_t earlyUs = StampDifference(m_firstPtsUs, ptsUs);
    if (earlyUs > 0 && earlyUs < kUnrelatedClockUs) {
        // 8000 samples of 2 bytes a second: cut what lies before the first picture.
        const auto skip = static_cast<std::size_t>(earlyUs * 8000 / 1'000'000) * 2;
        if (skip >= bytes.size()) {
            return true;
        }
        bytes = bytes.subspan(skip);
    }
    if (!m_avi.WriteAudio(bytes)) {
        return false;
    }
    m_byteTotal += bytes.size();
    return true;
}

bool CRecordCtx::openNextFile(const engine::ExportHeader& first) {
    char number[48];
    if (m_fileCounter == 0) {
        std::snprintf(number, sizeof number, "%d", m_channel + 1);
    } else {
        std::snprintf(number, sizeof number, "%d (%u)", m_channel + 1, m_fileCounter + 1);
    }
    const std::string name = m_owner.exportPath + number;
    int width = 0;
    int height = 0;
    if (!ResolutionOfCode(m_channelHeader.resolutionCode(), width, height)) {
        (void)ResolutionOfCode(0, width, height);
    }
    const int fps = first.fps() > 0 ? first.fps() : kDefaultFps;
    if (!m_avi.Create(name + ".avi", width, height, fps)) {
        if (m_failure.empty()) {
            m_failure = m_avi.lastError();
        }
        return false;
    }
    m_name = name;
    m_byteTotal = 0;
    m_firstTime = first.time();
    m_owner.Notify(engine::kMsgExportFileOpened, reinterpret_cast<std::intptr_t>(m_name.c_str()));
    return true;
}

void CRecordCtx::closeLocked() {
    if (m_avi.IsOpen()) {
        const bool finished = m_avi.Close();
        if (!finished && m_failure.empty()) {
            m_failure = m_avi.lastError();
        }
        if (m_byteTotal > kEmptyFileBytes) {
            ++m_fileCounter;
            // A file whose headers or index could not be completed is not finished, though
            // what reached it still plays.
            (finished ? m_files : m_incomplete).push_back(m_name + ".avi");
        } else {
            std::remove((m_name + ".avi").c_str());
        }
        m_owner.Notify(engine::kMsgExportFileClosed,
                       reinterpret_cast<std::intptr_t>(m_name.c_str()));
    }
    m_byteTotal = 0;
    m_lastTime = 0;
    m_lastSize = 0;
}

void CRecordCtx::Close() {
    std::lock_guard guard(m_lock);
    closeLocked();
}

void CRecordCtx::Reset() {
    std::lock_guard guard(m_lock);
    closeLocked();
    m_recentSound.clear();
    m_recentBytes = 0;
    m_failed = false;
    m_writing = false;
    m_newFileNeeded = false;
    m_fileCounter = 0;
    m_byteTotal = 0;
}

} // namespace tavero::exporting
