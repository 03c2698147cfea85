// Bounded writer over a caller-owned byte buffer.
//
// Every card structure is produced through this writer with explicit big- or little-endian
// putters; nothing is ever cast onto a struct. A write past the end of the span sets a sticky
// failure flag and is dropped, so a caller checks ok() once after a batch of puts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavero::sim {

class ByteWriter {
public:
    explicit ByteWriter(std::span<uint8_t> bytes) : m_bytes(bytes) {}

    // Moves the cursor to an absolute offset inside the span.
    void seek(size_t offset) {
        if (offset > m_bytes.size()) {
            m_failed = true;
            return;
        }
        m_pos = offset;
    }

    void putU8(uint8_t value) {
        if (!reserve(1))
            return;
        m_bytes[m_pos++] = value;
    }

    void putU16Be(uint16_t value) {
        if (!reserve(2))
            return;
        m_bytes[m_pos++] = static_cast<uint8_t>(value >> 8);
        m_bytes[m_pos++] = static_cast<uint8_t>(value);
    }

    void putI16Be(int16_t value) { putU16Be(static_cast<uint16_t>(value)); }

    void putU32Be(uint32_t value) {
        if (!reserve(4))
            return;
        for (int shift = 24; shift >= 0; shift -= 8)
            m_bytes[m_pos++] = static_cast<uint8_t>(value >> shift);
    }

    void putU16Le(uint16_t value) {
        if (!reserve(2))
            return;
        m_bytes[m_pos++] = static_cast<uint8_t>(value);
        m_bytes[m_pos++] = static_cast<uint8_t>(value >> 8);
    }

    void putU32Le(uint32_t value) {
        if (!reserve(4))
            return;
        for (int shift = 0; shift <= 24; shift += 8)
            m_bytes[m_pos++] = static_cast<uint8_t>(value >> shift);
    }

    void putBytes(std::span<const uint8_t> bytes) {
        if (!reserve(bytes.size()))
            return;
        for (uint8_t b : bytes)
            m_bytes[m_pos++] = b;
    }

    void putZeros(size_t count) {
        if (!reserve(count))
            return;
        for (size_t i = 0; i < count; ++i)
            m_bytes[m_pos++] = 0;
    }

    [[nodiscard]] size_t position() const { return m_pos; }
    [[nodiscard]] bool ok() const { return !m_failed; }

private:
    // Overflow-safe: compares against the room left rather than adding to the position.
    bool reserve(size_t count) {
        if (m_failed || count > m_bytes.size() - m_pos) {
            m_failed = true;
            return false;
        }
        return true;
    }

    std::span<uint8_t> m_bytes;
    size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace tavero::sim
