#include "engine/video_queue.h"

namespace tavero::engine {

CVBuffer2::CVBuffer2(std::uint32_t maxRecords, const TickSource* ticks)
    : CBuffer(maxRecords), m_ticks(ticks != nullptr ? *ticks : SystemTicks()) {}

CVBuffer2::~CVBuffer2() = default;

bool CVBuffer2::Init(std::size_t size, std::size_t margin, bool blocking) {
    const bool ok = CBuffer::Init(size, margin, blocking);
    ListLock lock(*this);
    m_keyFrameState = 0;
    return ok;
}

void CVBuffer2::Trim() {
    const std::int64_t now = m_ticks.nowMs();
    {
        ListLock lock(*this);
        std::size_t keep = 0;
        for (std::size_t i = m_list.size(); i-- > 0;) {
            if (m_list[i].kind == kKindSequenceHeader) {
                keep = i;
                break;
            }
        }
        dropAfterLocked(keep);
        if (m_keyFrameState != kWaitingForSequence) {
            m_keyFrameState = 0;
        }
        m_lastTrimTick = now;
    }
    signalRoom(1); // a producer waiting on the full queue goes on
}
void CVBuffer2::Reset(std::uint8_t*& writePosition) {
    ListLock lock(*this);
    writePosition = resetLocked();
    m_keyFrameState = kWaitingForSequence;
}

void CVBuffer2::CloseGate() {
    ListLock lock(*this);
    m_keyFrameState = kWaitingForSequence;
}

bool CVBuffer2::Push(FrameRecord& record) {
    bool ok = false;
    std::size_t listed = 0;
    {
        ListLock lock(*this);
        ok = gatedPushLocked(record);
        listed = m_list.size();
    }
    waitWhileFull(listed);
    return ok;
}

bool CVBuffer2::Pop(FrameRecord& out) {
    bool ok = false;
    std::size_t listed = 0;
    {
        ListLock lock(*this);
        ok = popLocked(out);
        if (ok && out.kind == kKindKeyFrame && m_keyFrameState > 1) {
            --m_keyFrameState;
        }
        listed = m_list.size();
    }
    signalRoom(listed);
    return ok;
}

int CVBuffer2::keyFrameState() const {
    ListLock lock(*this);
    return m_keyFrameState;
}

std::int64_t CVBuffer2::lastTrimTick() const {
    ListLock lock(*this);
    return m_lastTrimTick;
}

bool CVBuffer2::gatedPushLocked(FrameRecord& record) {
    switch (record.kind) {
    case kKindIgnored:
        return true;
    case kKindSequenceHeader: {
        const bool ok = pushLocked(record);
        m_keyFrameState = ok ? 0 : kWaitingForSequence;
        return ok;
    }
    case kKindKeyFrame: {
        if (m_keyFrameState > 0) {
            const bool ok = pushLocked(record);
            ++m_keyFrameState;
            return ok;
        }
        // Waiting for a sequence header, or shut after a refusal: a key picture starts a
        // decodable group (the recorder's carry their sequence header), so once it is queued
        // the predicted pictures behind it may follow. A refused one leaves the gate shut for
        // them until a key picture is queued.
        const bool ok = pushLocked(record);
        m_keyFrameState = ok ? 1 : 0;
        return ok;
    }
    case kKindFrame:
    case kKindOtherFrame: {
        if (m_keyFrameState <= 0) {
            return true;
        }
        const bool ok = pushLocked(record);
        if (!ok) {
            m_keyFrameState = 0;
        }
        return ok;
    }
    default:
        return pushLocked(record);
    }
}

} // namespace tavero::engine
