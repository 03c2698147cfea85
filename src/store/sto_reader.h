#pragma once
// CStoReader: the one object through which the recording store touches storage - a recorder
// card opened as a whole drive, a raw backup file, or any other file addressed by absolute byte
// offset. Synchronous, one handle, a current position. Callers keep to whole 512-byte sectors.
// Owned by one thread at a time; two objects may have the same drive open at once.

#include "platform/raw_file.h"

#include <cstdint>
#include <string>

namespace tavero::store {

enum class StoAccess {
    Read,      // opens read-only, so write-protected cards still play
    ReadWrite, // files are created when missing
};

enum class SeekOrigin { Begin = 0, Current = 1 };

class CStoReader {
public:
    CStoReader() = default;
    CStoReader(const CStoReader&) = delete;
    CStoReader& operator=(const CStoReader&) = delete;
    virtual ~CStoReader();

    // Drive n (0..9) through the drive table. Opening over an open object is the caller's
    // business: callers close first.
    [[nodiscard]] bool OpenPhysicalDrive(int n, StoAccess access);
    [[nodiscard]] bool OpenFile(const std::string& path, StoAccess access);
    // Exclusive read/write open of drive n for formatting; fails while another handle has it.
    [[nodiscard]] bool OpenPhysicalDriveExclusive(int n);
    [[nodiscard]] bool IsOpen() const { return m_file.isOpen(); }

    // Moves the position; newPosition (optional) receives the absolute result. A negative
    // result fails and leaves the position unchanged.
    [[nodiscard]] bool Seek(std::int64_t distance, SeekOrigin origin,
                            std::int64_t* newPosition = nullptr);
    // Full transfers only; the position advances by the count on success and stays put on
    // failure.
    [[nodiscard]] bool Read(void* buffer, std::uint32_t count);
    [[nodiscard]] bool Write(const void* buffer, std::uint32_t count);
    // True when something was open.
    bool Close();
    // Empties an open file (not a device); the position goes to 0.
    [[nodiscard]] bool Truncate();
    // Waits until what was written is on the medium.
    [[nodiscard]] bool Sync();

    [[nodiscard]] std::int64_t Position() const { return m_position; }
    // Size of the open drive or file in bytes, -1 when unknown.
    [[nodiscard]] std::int64_t Size() const { return m_file.size(); }
    // Path of the open drive or file (empty when closed), and why the last open failed (the
    // reason only; callers name the path).
    [[nodiscard]] const std::string& Path() const { return m_path; }
    [[nodiscard]] const std::string& LastError() const { return m_error; }

private:
    [[nodiscard]] bool openPath(const std::string& path, platform::OpenMode mode);

    platform::RawFile m_file;
    std::int64_t m_position = 0;
    std::string m_path;
    std::string m_error;
};

} // namespace tavero::store
