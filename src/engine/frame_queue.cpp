#include "engine/frame_queue.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <sys/mman.h>
#include <utility>

namespace tavero::engine {

// ---- MappedArea ----

MappedArea::MappedArea(MappedArea&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

MappedArea& MappedArea::operator=(MappedArea&& other) noexcept {
    if (this != &other) {
        unmap();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

MappedArea::~MappedArea() {
    unmap();
}

MappedArea MappedArea::Reserve(std::size_t bytes) {
    MappedArea area;
    if (bytes == 0) {
        return area;
    }
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
        return area;
    }
    area.m_data = static_cast<std::uint8_t*>(p);
    area.m_size = bytes;
    return area;
}

void MappedArea::unmap() {
    if (m_data != nullptr) {
        ::munmap(m_data, m_size);
        m_data = nullptr;
        m_size = 0;
    }
}

// ---- CBuffer ----

CBuffer::CBuffer(std::uint32_t maxRecords) : m_maxRecords(maxRecords) {}

CBuffer::~CBuffer() = default;

bool CBuffer::Init(std::size_t size, std::size_t margin, bool blocking) {
    ListLock lock(*this);
    m_list.clear();
    m_bytes = 0;
    m_sideHead = 0;
    m_sideUsed = 0;
    m_blocking.store(blocking);
    m_event.Reset();
    if (size == 0) {
        return false;
    }
    if (size + kReadPadding > m_area.size()) {
        // The padding behind the area lets a decoder read a little past a payload that ends
        // at the area end, as decoders of compressed pictures do.
        MappedArea fresh = MappedArea::Reserve(size + kReadPadding);
        if (!fresh.valid()) {
            // The previous, smaller area stays reserved but unused.
            m_capacity = 0;
            return false;
        }
        m_area = std::move(fresh);
    }
    m_capacity = size;
    m_margin = margin;
    return true;
}

void CBuffer::Release() {
    m_blocking.store(false);
    m_event.Set();
}

void CBuffer::Trim() {
    {
        ListLock lock(*this);
        keepFirstLocked();
    }
    signalRoom(1); // a producer waiting on the full queue goes on
}

void CBuffer::Reset(std::uint8_t*& writePosition) {
    ListLock lock(*this);
    writePosition = resetLocked();
}

bool CBuffer::Push(FrameRecord& record) {
    ListLock lock(*this);
    return pushLocked(record);
}

bool CBuffer::Pop(FrameRecord& out) {
    bool ok = false;
    std::size_t listed = 0;
    {
        ListLock lock(*this);
        ok = popLocked(out);
        listed = m_list.size();
    }
    signalRoom(listed);
    return ok;
}

bool CBuffer::PushSide(FrameRecord& record, std::span<const std::uint8_t> bytes) {
    ListLock lock(*this);
    return pushSideLocked(record, bytes);
}

bool CBuffer::pushSideLocked(FrameRecord& record, std::span<const std::uint8_t> bytes) {
    if (countsBytes(record.kind) || bytes.size() > kSideSlotSize || m_area.data() == nullptr) {
        return false;
    }
    if (m_sideUsed == kSideSlots) {
        return false;
    }
    if (!m_side.valid()) {
        m_side = MappedArea::Reserve(kSideSlots * kSideSlotSize);
        if (!m_side.valid()) {
            return false;
        }
    }
    std::uint8_t* const slot =
        m_side.data() + ((m_sideHead + m_sideUsed) % kSideSlots) * kSideSlotSize;
    std::memcpy(slot, bytes.data(), bytes.size());
    FrameRecord queued = record;
    queued.payload = slot;
    queued.size = static_cast<std::uint32_t>(bytes.size());
    if (m_list.empty()) {
        // The consumer's current record: a placeholder, so that its first Pop hands out the
        // side record and no slot is listed twice.
        FrameRecord held;
        held.kind = kKindIgnored;
        m_list.push_back(held);
    }
    m_list.push_back(queued);
    ++m_sideUsed;
    return true;
}

bool CBuffer::inSideSlotLocked(const FrameRecord& record) const {
    const std::uint8_t* const base = m_side.data();
    if (base == nullptr || record.payload == nullptr) {
        return false;
    }
    return !std::less<const std::uint8_t*>()(record.payload, base) &&
           std::less<const std::uint8_t*>()(record.payload, base + m_side.size());
}

void CBuffer::releaseSideLocked(const FrameRecord& record, bool fromFront) {
    if (m_sideUsed == 0 || !inSideSlotLocked(record)) {
        return;
    }
    --m_sideUsed;
    if (fromFront) {
        m_sideHead = (m_sideHead + 1) % kSideSlots;
    }
}

bool CBuffer::oldestRingPayloadLocked(std::size_t& offset) const {
    for (const FrameRecord& r : m_list) {
        if (offsetInArea(r.payload, r.size, offset)) {
            return true;
        }
    }
    return false;
}

void CBuffer::Flush() {
    {
        ListLock lock(*this);
        keepFirstLocked();
    }
    signalRoom(1);
}

std::uint8_t* CBuffer::EnsureRoom(FrameRecord& record, std::int64_t n) {
    std::uint8_t* const base = m_area.data();
    std::size_t from = 0; // where the bytes written so far lie now
    std::size_t to = 0;   // where they go
    std::size_t piece = 0;
    const std::size_t size = record.size;
    {
        ListLock lock(*this);
        const std::size_t cap = m_capacity;
        if (base == nullptr || !offsetInArea(record.payload, size, from)) {
            return nullptr;
        }
        // Compare before negating: -n of the most negative value does not exist.
        if (n > static_cast<std::int64_t>(cap) || n < -static_cast<std::int64_t>(cap)) {
            return nullptr;
        }
        if (n > 0) {
            piece = static_cast<std::size_t>(n);
            if (from + size + piece <= cap) {
                return regionFreeLocked(from + size, from + size + piece) ? base + from + size
                                                                          : nullptr;
            }
            if (size + piece > cap) {
                return nullptr;
            }
            // The moved frame keeps a full margin ahead of it, as a pushed one would.
            to = 0;
            if (!regionFreeLocked(0, std::max(size + piece, m_margin))) {
                return nullptr;
            }
        } else {
            piece = static_cast<std::size_t>(-n);
            if (from >= piece) {
                return regionFreeLocked(from - piece, from) ? base + from - piece : nullptr;
            }
            const std::size_t reserve = std::max(m_margin, size);
            if (reserve > cap || size + piece > cap - reserve) {
                return nullptr;
            }
            to = cap - reserve - size;
            if (!regionFreeLocked(to - piece, to + size)) {
                return nullptr;
            }
        }
    }
    // Outside the lock: regions only ever become free while the producer is away (the consumer
    // pops, Trim and Flush drop), so what was free at the check is still free now.
    if (size > 0 && from != to) {
        std::memmove(base + to, base + from, size);
    }
    record.payload = base + to;
    return n > 0 ? base + to + size : base + to - piece;
}

std::size_t CBuffer::recordCount() const {
    ListLock lock(*this);
    return m_list.size();
}

std::size_t CBuffer::queuedBytes() const {
    ListLock lock(*this);
    return m_bytes;
}

bool CBuffer::pushLocked(FrameRecord& record) {
    std::uint8_t* const base = m_area.data();
    const std::uint32_t kind = record.kind;
    std::size_t p = 0;
    if (base == nullptr || !offsetInArea(record.payload, record.size, p)) {
        // A side record must lie inside the area; anything else with a stray payload is refused.
        return base != nullptr && !countsBytes(kind);
    }
    const std::size_t s = record.size;
    const std::size_t cap = m_capacity;
    const std::size_t margin = m_margin;

    if (m_list.empty()) {
        // The first copy stands for the consumer's current record, so its first Pop hands out
        // the second.
        m_list.push_back(record);
        m_list.push_back(record);
        m_bytes = countsBytes(kind) ? s : 0;
        record.payload = base + nextAfterLocked(p + s);
        return true;
    }

    if (!countsBytes(kind)) {
        // Side records are kept only when they fit before the area end with a margin to spare;
        // otherwise they are dropped. The write position moves past them so that the next frame
        // does not overwrite a queued side record.
        if (p + s + margin > cap || !regionFreeLocked(p + s, p + s + margin)) {
            return true;
        }
        m_list.push_back(record);
        record.payload = base + p + s;
        return true;
    }

    const bool picture = kind == kKindKeyFrame || kind == kKindFrame || kind == kKindOtherFrame;
    if (picture && record.speed < 0) {
        // Read backwards: the producer placed the payload with EnsureRoom, below what it read
        // before, and writes nothing behind it next; the margin ahead of a forward write
        // position does not apply (it would hold the producer up behind a record the
        // consumer keeps, forever when the consumer is paused).
        if (!regionFreeLocked(p, p + s)) {
            return false;
        }
        m_list.push_back(record);
        m_bytes += s;
        return true;
    }
    std::size_t tail = 0;
    const bool anyListed = oldestRingPayloadLocked(tail);
    std::size_t next = p + s;
    if (anyListed && p < tail) {
        // The writer has wrapped and is catching up with the consumer.
        if (p + s + margin >= tail) {
            return false;
        }
    } else if (p + s + margin > cap) {
        if (kind == kKindKeyFrame || kind == kKindFrame || kind == kKindOtherFrame) {
            // Video frames keep writing towards the end; the producer moves a frame that would
            // cross it with EnsureRoom.
            next = p + s;
        } else {
            if (anyListed && tail < margin) {
                return false;
            }
            next = 0;
        }
    }
    // The arithmetic above keeps the margin behind the next write position free when payloads
    // follow each other round the ring; this also holds when they do not (reading backwards).
    if (!regionFreeLocked(next, next + margin)) {
        return false;
    }
    m_list.push_back(record);
    m_bytes += s;
    record.payload = base + next;
    return true;
}

bool CBuffer::popLocked(FrameRecord& out) {
    if (m_list.empty()) {
        return false;
    }
    releaseSideLocked(m_list.front(), true);
    m_list.pop_front();
    if (m_list.empty()) {
        return false;
    }
    out = m_list.front();
    if (countsBytes(out.kind)) {
        m_bytes -= std::min<std::size_t>(m_bytes, out.size);
    }
    return true;
}

void CBuffer::keepFirstLocked() {
    dropAfterLocked(0);
}

void CBuffer::dropAfterLocked(std::size_t keep) {
    while (m_list.size() > keep + 1) {
        const FrameRecord& last = m_list.back();
        if (countsBytes(last.kind)) {
            m_bytes -= std::min<std::size_t>(m_bytes, last.size);
        }
        releaseSideLocked(last, false);
        m_list.pop_back();
    }
    if (m_list.size() <= 1) {
        m_bytes = 0;
    }
}

std::uint8_t* CBuffer::resetLocked() {
    keepFirstLocked();
    std::uint8_t* const base = m_area.data();
    if (base == nullptr || m_list.empty()) {
        return base;
    }
    std::size_t first = 0;
    if (!offsetInArea(m_list.front().payload, m_list.front().size, first)) {
        return base; // the consumer holds a side record or a placeholder: the ring is empty
    }
    return base + nextAfterLocked(first + m_list.front().size);
}

void CBuffer::waitWhileFull(std::size_t listed) {
    // A pop or Release between the count and this wait has set the event already, so the wait
    // returns at once: no wake-up is lost.
    if (m_blocking.load() && listed >= m_maxRecords) {
        m_event.Wait();
    }
}

void CBuffer::signalRoom(std::size_t listed) {
    if (m_blocking.load() && listed < m_maxRecords) {
        m_event.Set();
    }
}

bool CBuffer::offsetInArea(const std::uint8_t* p, std::size_t size, std::size_t& offset) const {
    const std::uint8_t* const base = m_area.data();
    if (base == nullptr || p == nullptr) {
        return false;
    }
    // Ordered through std::less: the pointer may lie outside the area.
    if (std::less<const std::uint8_t*>()(p, base) ||
        std::less<const std::uint8_t*>()(base + m_capacity, p)) {
        return false;
    }
    offset = static_cast<std::size_t>(p - base);
    if (size > m_capacity - offset) {
        return false;
    }
    return true;
}

bool CBuffer::regionFreeLocked(std::size_t begin, std::size_t end) const {
    end = std::min(end, m_capacity);
    if (begin >= end) {
        return true;
    }
    for (const FrameRecord& r : m_list) {
        std::size_t p = 0;
        if (r.size == 0 || !offsetInArea(r.payload, r.size, p)) {
            continue; // no payload, or one in a side slot
        }
        if (p < end && begin < p + r.size) {
            return false;
        }
    }
    return true;
}

std::size_t CBuffer::nextAfterLocked(std::size_t end) const {
    if (m_capacity - end < m_margin && regionFreeLocked(0, m_margin)) {
        return 0;
    }
    return end;
}

} // namespace tavero::engine
