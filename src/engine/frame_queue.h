#pragma once
// The frame queue that connects the source thread (the one producer) with one channel's video or
// audio worker (the one consumer). Payloads are never copied: the producer writes them straight
// into the queue's data area, a ring, and the consumer decodes them in place.
//
// Ring discipline. The first record of the list is the one the consumer holds (it got it from
// its last Pop); the others wait, oldest first. The producer writes behind the payload it pushed
// last and wraps to the area start. Push returns the next write position and guarantees that the
// margin bytes from there (up to the area end) overlap no queued payload, the consumer's one
// included; EnsureRoom gives the same guarantee for bytes the producer moves or adds while it
// fills a frame. Where a push or a move would break that guarantee it is refused instead, and the
// producer tries again after the consumer has moved on. A producer that writes only where these
// two calls let it therefore never touches a payload the consumer may still read.

#include "engine/crit_secs.h"
#include "engine/frame_record.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

namespace tavero::engine {

// A private anonymous mapping reserved without swap accounting: pages cost memory only once
// touched, so eight large video areas that are never filled stay cheap. Move-only owner.
class MappedArea {
public:
    MappedArea() = default;
    MappedArea(const MappedArea&) = delete;
    MappedArea& operator=(const MappedArea&) = delete;
    MappedArea(MappedArea&& other) noexcept;
    MappedArea& operator=(MappedArea&& other) noexcept;
    ~MappedArea();

    // An empty area when the mapping fails.
    [[nodiscard]] static MappedArea Reserve(std::size_t bytes);

    [[nodiscard]] std::uint8_t* data() const { return m_data; }
    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] bool valid() const { return m_data != nullptr; }

private:
    void unmap();

    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

// The queue base. Its list operations take the list lock through lockList()/unlockList(), which
// the base leaves empty: a bare CBuffer is for one thread only; CVBuffer2 and CABuffer2 lock.
//
// Threads: one producer (Push, Reset, EnsureRoom), one consumer (Pop); Trim and Flush from
// either; Init only while neither runs; Release, SetSpeed and the counters from any thread.
// The list, the byte count and the derived classes' gate state are guarded by the list lock.
// Area, margin and capacity change only in Init. The event has its own lock.
class CBuffer {
public:
    explicit CBuffer(std::uint32_t maxRecords);
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;
    virtual ~CBuffer();

    // Makes the area hold size bytes (a larger request replaces the reservation, a smaller one
    // reuses it), sets the margin (the largest piece the producer writes at once), arms the
    // event, sets blocking and empties the list. False only when the area cannot be reserved
    // (the queue then has no area and refuses every push).
    [[nodiscard]] virtual bool Init(std::size_t size, std::size_t margin, bool blocking);
    // Blocking off and the event set, so that a producer waiting on a full queue returns.
    virtual void Release();
    // Keeps only the first record.
    virtual void Trim();
    // Drops every record but the first; writePosition = just behind the first payload, or the
    // area start when the list is empty or fewer than margin bytes remain before the end (null
    // before a successful Init).
    virtual void Reset(std::uint8_t*& writePosition);
    // Queues a record whose payload the producer has written at the current write position. On
    // success record.payload becomes the next write position. False when the ring is full: the
    // producer keeps the record and tries again.
    [[nodiscard]] virtual bool Push(FrameRecord& record);
    // Releases the record the consumer held and copies out the next one, which stays queued as
    // the consumer's current record. False when nothing follows.
    [[nodiscard]] virtual bool Pop(FrameRecord& out);
    // Drops every waiting record. The consumer's current record stays listed (so its payload
    // stays protected) until its next Pop, which then finds nothing or what was pushed since.
    virtual void Flush();

    // Producer side. record.payload/record.size describe the bytes written so far for the frame
    // being filled. n > 0: the producer wants to write n more bytes behind them; when that would
    // cross the area end they are first moved to the area start. n <= 0: it wants to put -n
    // bytes in front of them (reading backwards); when that would cross the area start they are
    // first moved to end at the area end minus max(margin, size). record.payload follows a move.
    // Returns where the new bytes go, or null when they (or the move) would touch a queued
    // payload or cannot fit at all; the producer then tries again later, as after a full Push.
    [[nodiscard]] std::uint8_t* EnsureRoom(FrameRecord& record, std::int64_t n);

    // Producer side. Queues a side record (a unit trailer) whose bytes are copied into a slot of
    // the queue's own, apart from the ring, so that it can be queued while a frame is being
    // filled across units. A slot is taken until its record leaves the list. False (the record
    // is left out) when every slot is taken, the bytes exceed a slot, or the kind is not a side
    // kind. Does not wait and never moves the write position.
    [[nodiscard]] bool PushSide(FrameRecord& record, std::span<const std::uint8_t> bytes);
    // Readable zero bytes behind the area's end.
    static constexpr std::size_t kReadPadding = 4096;
    static constexpr std::size_t kSideSlots = 512; // more than a video queue's 384 records
    static constexpr std::size_t kSideSlotSize = 512;

    [[nodiscard]] std::uint8_t* areaStart() const { return m_area.data(); }
    [[nodiscard]] std::uint8_t* areaEnd() const { return m_area.data() + m_capacity; }
    [[nodiscard]] std::size_t margin() const { return m_margin; }
    [[nodiscard]] std::uint32_t maxRecords() const { return m_maxRecords; }

    // Speed stored by the player control for the workers; any thread.
    void SetSpeed(double speed) { m_speed.store(speed); }
    [[nodiscard]] double speed() const { return m_speed.load(); }
    [[nodiscard]] bool blocking() const { return m_blocking.load(); }

    // Listed records, the consumer's current one included.
    [[nodiscard]] std::size_t recordCount() const;
    // Payload bytes of the waiting records (kinds 21 and 81 not counted).
    [[nodiscard]] std::size_t queuedBytes() const;

protected:
    virtual void lockList() const {}
    virtual void unlockList() const {}

    class ListLock {
    public:
        explicit ListLock(const CBuffer& queue) : m_queue(queue) { m_queue.lockList(); }
        ~ListLock() { m_queue.unlockList(); }
        ListLock(const ListLock&) = delete;
        ListLock& operator=(const ListLock&) = delete;

    private:
        const CBuffer& m_queue;
    };

    // The following run with the list lock held.
    [[nodiscard]] bool pushLocked(FrameRecord& record);
    [[nodiscard]] bool popLocked(FrameRecord& out);
    [[nodiscard]] bool pushSideLocked(FrameRecord& record, std::span<const std::uint8_t> bytes);
    void keepFirstLocked();
    // Drops the records behind index `keep`, lowering the byte count.
    void dropAfterLocked(std::size_t keep);
    std::uint8_t* resetLocked();

    // Outside the list lock: the producer's wait while the queue holds its maximum record count.
    void waitWhileFull(std::size_t listed);
    // Outside the list lock: wakes a waiting producer after a pop left fewer than the maximum.
    void signalRoom(std::size_t listed);

    [[nodiscard]] static bool countsBytes(std::uint32_t kind) {
        return kind != kKindSideRecord && kind != kKindTrailer;
    }

    std::deque<FrameRecord> m_list; // guarded by the list lock
    std::size_t m_bytes = 0;        // guarded by the list lock

private:
    // Offset of p inside the area when [p, p + size) lies inside it.
    [[nodiscard]] bool offsetInArea(const std::uint8_t* p, std::size_t size,
                                    std::size_t& offset) const;
    // True when [begin, end) (area offsets) overlaps no listed payload.
    [[nodiscard]] bool regionFreeLocked(std::size_t begin, std::size_t end) const;
    // True when the record's payload is one of the side slots.
    [[nodiscard]] bool inSideSlotLocked(const FrameRecord& record) const;
    // A record leaving the list: its side slot, if any, becomes free. Side records leave in
    // list order from the front (Pop) or from the back (Trim, Reset, Flush).
    void releaseSideLocked(const FrameRecord& record, bool fromFront);
    // The offset of the oldest listed payload in the ring; false when no listed record has one.
    [[nodiscard]] bool oldestRingPayloadLocked(std::size_t& offset) const;
    // The next write position behind a payload ending at `end`: wrapped to the area start when
    // fewer than margin bytes remain and the start is free.
    [[nodiscard]] std::size_t nextAfterLocked(std::size_t end) const;

    const std::uint32_t m_maxRecords;
    MappedArea m_area;
    std::size_t m_capacity = 0; // bytes of the area in use, at most m_area.size()
    std::size_t m_margin = 0;
    std::atomic<bool> m_blocking{false};
    std::atomic<double> m_speed{1.0};
    AutoResetEvent m_event;     // set after a pop that leaves room, and by Release
    MappedArea m_side;          // side slots, reserved at the first side record
    std::size_t m_sideHead = 0; // slot of the oldest listed side record (list lock)
    std::size_t m_sideUsed = 0; // listed side records in slots (list lock)
};

} // namespace tavero::engine
