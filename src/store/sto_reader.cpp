#include "store/sto_reader.h"

#include "platform/drive_table.h"

namespace tavero::store {

CStoReader::~CStoReader() {
    Close();
}

bool CStoReader::openPath(const std::string& path, platform::OpenMode mode) {
    m_position = 0;
    m_path.clear();
    if (!m_file.open(path, mode)) {
        m_error = m_file.error();
        return false;
    }
    m_path = path;
    m_error.clear();
    return true;
}

bool CStoReader::OpenPhysicalDrive(int n, StoAccess access) {
    const auto path = platform::ResolveDrivePath(n);
    if (!path) {
        m_error = "drive " + std::to_string(n) + ": no such drive";
        return false;
    }
    return openPath(*path, access == StoAccess::Read ? platform::OpenMode::ReadOnly
                                                     : platform::OpenMode::ReadWrite);
}

bool CStoReader::OpenPhysicalDriveExclusive(int n) {
    const auto path = platform::ResolveDrivePath(n);
    if (!path) {
        m_error = "drive " + std::to_string(n) + ": no such drive";
        return false;
    }
    return openPath(*path, platform::OpenMode::ReadWriteExclusive);
}

bool CStoReader::OpenFile(const std::string& path, StoAccess access) {
    return openPath(path, access == StoAccess::Read ? platform::OpenMode::ReadOnly
                                                    : platform::OpenMode::ReadWriteCreate);
}

bool CStoReader::Seek(std::int64_t distance, SeekOrigin origin, std::int64_t* newPosition) {
    if (!IsOpen()) {
        return false;
    }
    const std::int64_t base = origin == SeekOrigin::Begin ? 0 : m_position;
    if ((distance < 0 && base + distance < 0) || (distance > 0 && base > INT64_MAX - distance)) {
        return false;
    }
    m_position = base + distance;
    if (newPosition != nullptr) {
        *newPosition = m_position;
    }
    return true;
}

bool CStoReader::Read(void* buffer, std::uint32_t count) {
    if (!IsOpen() || !m_file.readAt(m_position, buffer, count)) {
        return false;
    }
    m_position += count;
    return true;
}

bool CStoReader::Write(const void* buffer, std::uint32_t count) {
    if (!IsOpen()) {
        return false;
    }
    if (!m_file.writeAt(m_position, buffer, count)) {
        m_error = m_file.error();
        return false;
    }
    m_position += count;
    return true;
}

bool CStoReader::Truncate() {
    if (!m_file.truncate(0)) {
        m_error = m_file.error();
        return false;
    }
    m_position = 0;
    return true;
}

bool CStoReader::Sync() {
    if (!m_file.sync()) {
        m_error = m_file.error();
        return false;
    }
    return true;
}

bool CStoReader::Close() {
    if (!IsOpen()) {
        return false;
    }
    m_file.close();
    m_path.clear();
    m_position = 0;
    return true;
}

} // namespace tavero::store
