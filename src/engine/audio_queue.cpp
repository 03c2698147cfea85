#include "engine/audio_queue.h"

namespace tavero::engine {

CABuffer2::CABuffer2(std::uint32_t maxRecords) : CBuffer(maxRecords) {}

CABuffer2::~CABuffer2() = default;

bool CABuffer2::Push(FrameRecord& record) {
    ListLock lock(*this);
    bool result = pushLocked(record);
    if (!result) {
        if (record.kind == kKindAudio) {
            result = false;
        } else if (record.kind == kKindSideRecord) {
            // Offered once more; dropped like any other kind when refused again.
            (void)pushLocked(record);
            result = true;
        } else {
            result = true;
        }
    }
    if (blocking() && m_list.size() >= maxRecords() && m_drop.load()) {
        FrameRecord dropped;
        (void)popLocked(dropped);
    }
    return result;
}

} // namespace tavero::engine
