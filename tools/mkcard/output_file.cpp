#include "mkcard/output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tavero::sim {

namespace {

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

} // namespace

OutputFile::~OutputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool OutputFile::create(const std::string& path, std::string& error) {
    m_path = path;
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        error = systemError("cannot create", path);
        return false;
    }
    return true;
}

bool OutputFile::resize(uint64_t bytes, std::string& error) {
    if (::ftruncate(m_fd, static_cast<off_t>(bytes)) != 0) {
        error = systemError("cannot size", m_path);
        return false;
    }
    return true;
}

bool OutputFile::writeAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                                         static_cast<off_t>(offset + done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = systemError("cannot write", m_path);
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

bool OutputFile::close(std::string& error) {
    const int fd = m_fd;
    m_fd = -1;
    if (fd >= 0 && ::close(fd) != 0) {
        error = systemError("cannot close", m_path);
        return false;
    }
    return true;
}

} // namespace tavero::sim
