#include "platform/raw_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace tavero::platform {

bool RawFile::open(const std::string& path, OpenMode mode) {
    close();
    m_error.clear();
    int flags = O_CLOEXEC;
    switch (mode) {
    case OpenMode::ReadOnly:
        flags |= O_RDONLY;
        break;
    case OpenMode::ReadWrite:
        flags |= O_RDWR;
        break;
    case OpenMode::ReadWriteCreate:
        flags |= O_RDWR | O_CREAT;
        break;
    case OpenMode::ReadWriteExclusive:
        flags |= O_RDWR;
        break;
    }
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    m_blockDevice = exists && S_ISBLK(st.st_mode);
    if (exists && S_ISDIR(st.st_mode)) {
        m_error = "is a folder";
        return false;
    }
    if (mode == OpenMode::ReadWriteExclusive && m_blockDevice) {
        // On a block device O_EXCL without O_CREAT fails while the kernel has it mounted.
        flags |= O_EXCL;
    }
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        m_error = std::strerror(errno);
        return false;
    }
    m_fd.reset(fd);
    const int lockKind = mode == OpenMode::ReadWriteExclusive ? LOCK_EX : LOCK_SH;
    if (::flock(fd, lockKind | LOCK_NB) != 0) {
        m_error = mode == OpenMode::ReadWriteExclusive ? "in use by another program"
                                                       : std::strerror(errno);
        close();
        return false;
    }
    return true;
}

std::int64_t RawFile::size() const {
    if (!isOpen()) {
        return -1;
    }
    if (m_blockDevice) {
        std::uint64_t bytes = 0;
        if (::ioctl(m_fd.get(), BLKGETSIZE64, &bytes) != 0) {
            return -1;
        }
        return static_cast<std::int64_t>(bytes);
    }
    struct stat st {};
    if (::fstat(m_fd.get(), &st) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(st.st_size);
}

bool RawFile::readAt(std::int64_t offset, void* buffer, std::size_t count) {
    if (!isOpen() || offset < 0) {
        return false;
    }
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(m_fd.get(), out + done, count - done,
                                  static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_error = n == 0 ? "end of data" : std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool RawFile::writeAt(std::int64_t offset, const void* buffer, std::size_t count) {
    if (!isOpen() || offset < 0) {
        return false;
    }
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(m_fd.get(), in + done, count - done,
                                   static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_error = n == 0 ? "device full" : std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool RawFile::truncate(std::int64_t size) {
    if (!isOpen() || m_blockDevice || ::ftruncate(m_fd.get(), static_cast<off_t>(size)) != 0) {
        m_error = m_blockDevice ? "a device cannot be truncated" : std::strerror(errno);
        return false;
    }
    return true;
}

bool RawFile::sync() {
    if (!isOpen() || ::fdatasync(m_fd.get()) != 0) {
        m_error = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace tavero::platform
