#pragma once
// Bounded byte cursors for the recorder's on-card structures. Card bytes are never cast onto
// structs: every multi-byte number is assembled from single bytes with an explicit byte order.
// A cursor that runs past its end sets a sticky failure flag and yields zeros from then on, so a
// parser can read a whole structure and check once at the end.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavero::store {

inline std::uint16_t LoadBe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t LoadBe32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) |
           std::uint32_t{p[0]};
}
inline void StoreBe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void StoreBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    [[nodiscard]] bool failed() const { return m_failed; }
    [[nodiscard]] std::size_t position() const { return m_pos; }
    [[nodiscard]] std::size_t remaining() const { return m_bytes.size() - m_pos; }

    // Moves to an absolute offset; an offset past the end fails the cursor.
    void seek(std::size_t offset) {
        if (offset > m_bytes.size()) {
            fail();
            return;
        }
        m_pos = offset;
    }
    void skip(std::size_t count) {
        if (count > remaining()) {
            fail();
            return;
        }
        m_pos += count;
    }
    std::uint8_t u8() {
        const std::uint8_t* p = take(1);
        return p ? p[0] : 0;
    }
    std::uint16_t be16() {
        const std::uint8_t* p = take(2);
        return p ? LoadBe16(p) : 0;
    }
    std::int16_t be16s() { return static_cast<std::int16_t>(be16()); }
    std::uint32_t be32() {
        const std::uint8_t* p = take(4);
        return p ? LoadBe32(p) : 0;
    }
    std::uint32_t le32() {
        const std::uint8_t* p = take(4);
        return p ? LoadLe32(p) : 0;
    }
    // Copies count bytes into out; on failure out is zero-filled.
    void bytes(std::uint8_t* out, std::size_t count) {
        const std::uint8_t* p = take(count);
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = p ? p[i] : 0;
        }
    }

private:
    const std::uint8_t* take(std::size_t count) {
        if (m_failed || count > remaining()) {
            fail();
            return nullptr;
        }
        const std::uint8_t* p = m_bytes.data() + m_pos;
        m_pos += count;
        return p;
    }
    void fail() {
        m_failed = true;
        m_pos = m_bytes.size();
    }

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

class ByteWriter {
public:
    explicit ByteWriter(std::span<std::uint8_t> bytes) : m_bytes(bytes) {}

    [[nodiscard]] bool failed() const { return m_failed; }
    [[nodiscard]] std::size_t position() const { return m_pos; }

    void seek(std::size_t offset) {
        if (offset > m_bytes.size()) {
            m_failed = true;
            return;
        }
        m_pos = offset;
    }
    void u8(std::uint8_t v) {
        if (std::uint8_t* p = take(1)) {
            p[0] = v;
        }
    }
    void be16(std::uint16_t v) {
        if (std::uint8_t* p = take(2)) {
            StoreBe16(p, v);
        }
    }
    void be32(std::uint32_t v) {
        if (std::uint8_t* p = take(4)) {
            StoreBe32(p, v);
        }
    }
    void le32(std::uint32_t v) {
        if (std::uint8_t* p = take(4)) {
            StoreLe32(p, v);
        }
    }
    void bytes(const std::uint8_t* in, std::size_t count) {
        if (std::uint8_t* p = take(count)) {
            for (std::size_t i = 0; i < count; ++i) {
                p[i] = in[i];
            }
        }
    }

private:
    std::uint8_t* take(std::size_t count) {
        if (m_failed || count > m_bytes.size() - m_pos) {
            m_failed = true;
            return nullptr;
        }
        std::uint8_t* p = m_bytes.data() + m_pos;
        m_pos += count;
        return p;
    }

    std::span<std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace tavero::store
