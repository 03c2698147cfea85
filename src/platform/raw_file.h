#pragma once
// A block device or file opened for whole-sector access at 64-bit offsets. Every handle takes an
// advisory shared lock, so an exclusive open (the format tool) fails while another handle of this
// program has the same device open. Owned by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace tavero::platform {

enum class OpenMode {
    ReadOnly,         // playback, listing, backup, probing: works on write-protected cards
    ReadWrite,        // must exist
    ReadWriteCreate,  // created when missing
    ReadWriteExclusive, // format: O_EXCL on block devices, exclusive advisory lock
};

class RawFile {
public:
    // False with errno-based text in error() when the path cannot be opened or locked.
    [[nodiscard]] bool open(const std::string& path, OpenMode mode);
    void close() { m_fd.reset(); }
    [[nodiscard]] bool isOpen() const { return m_fd.valid(); }
    [[nodiscard]] bool isBlockDevice() const { return m_blockDevice; }

    // Size in bytes: BLKGETSIZE64 for a block device, the file size otherwise; -1 on failure.
    [[nodiscard]] std::int64_t size() const;

    // Full transfers only: a short read or write (end of file, I/O error) is a failure.
    [[nodiscard]] bool readAt(std::int64_t offset, void* buffer, std::size_t count);
    [[nodiscard]] bool writeAt(std::int64_t offset, const void* buffer, std::size_t count);

    // Cuts or extends the file to size bytes (files only).
    [[nodiscard]] bool truncate(std::int64_t size);
    // Waits until what was written is on the medium.
    [[nodiscard]] bool sync();

    [[nodiscard]] const std::string& error() const { return m_error; }
    [[nodiscard]] int fd() const { return m_fd.get(); }

private:
    UniqueFd m_fd;
    bool m_blockDevice = false;
    std::string m_error;
};

} // namespace tavero::platform
