// Windows-style INI text files: the settings file, the language files and the recorder's Wi-Fi
// file share this syntax.
//
// Syntax read:
//   - "[name]" lines start a section; "key=value" lines belong to the section above them; lines
//     before the first section, lines without "=", and lines starting with ";" are ignored.
//   - Section and key names compare without regard to ASCII case; white space around names and
//     values is not part of them; a value wrapped in a pair of matching double or single quotes
//     loses the quotes.
//   - Only the first section of a given name counts, and in it the first line of a given key.
//   - "\r\n" and "\n" end lines alike. A UTF-8 byte-order mark is skipped; a file that starts with
//     a UTF-16 byte-order mark (as shipped language files often do) is read as UTF-16.
//
// Every call opens, reads or rewrites, and closes the file: nothing is cached, so edits made by
// hand or by another instance are seen at the next call.
//
// Thread: an object has no shared state and is used by one thread at a time; for "Config.ini"
// that is the UI thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::app {

enum class IniErrorCode {
    None,
    InvalidEntry, // a section, key or value that the syntax cannot hold (line breaks, "=", "]")
    ReadFailed,   // the existing file could not be read, so it was not replaced
    WriteFailed,  // the new contents could not be written; the old file is unchanged
};

struct IniError {
    IniErrorCode code = IniErrorCode::None;
    std::string detail;
};

struct IniEntry {
    std::string key;
    std::string value;
};

class IniFile {
public:
    // Larger files are not settings files; they are neither read nor replaced.
    static constexpr std::size_t kMaxFileBytes = std::size_t{8} * 1024 * 1024;

    explicit IniFile(std::string path);

    [[nodiscard]] const std::string& path() const { return m_path; }

    // The value of `key` in `section`; nullopt when the file, the section or the key is missing,
    // or the file cannot be read.
    [[nodiscard]] std::optional<std::string> read(std::string_view section,
                                                  std::string_view key) const;

    // Every key and value of `section` in file order (lists such as plate provinces).
    [[nodiscard]] std::vector<IniEntry> readSection(std::string_view section) const;

    // Sets `key` in `section` to `value`, keeping every other byte of the file: the key's line is
    // replaced where it stands, a new key goes after the last line of its section, a new section
    // goes at the end of the file. The first write creates the file (but not its folder). The file
    // is replaced atomically, so a failure leaves the old contents intact.
    [[nodiscard]] bool write(std::string_view section, std::string_view key,
                             std::string_view value);

    // Why the last write() failed.
    [[nodiscard]] const IniError& lastError() const { return m_lastError; }

    // The same operations on text already decoded to UTF-8, for callers that hold a file in memory.
    [[nodiscard]] static std::optional<std::string>
    findValue(std::string_view text, std::string_view section, std::string_view key);
    [[nodiscard]] static std::vector<IniEntry> sectionEntries(std::string_view text,
                                                              std::string_view section);
    // nullopt when isValidEntry() rejects the entry.
    [[nodiscard]] static std::optional<std::string> withValue(std::string_view text,
                                                              std::string_view section,
                                                              std::string_view key,
                                                              std::string_view value);

    // False for entries that would not read back as written: empty names, line breaks or NUL
    // anywhere, "]" in a section name, "=" in a key, a key starting with ";" or "[".
    [[nodiscard]] static bool isValidEntry(std::string_view section, std::string_view key,
                                           std::string_view value);

    // File bytes to UTF-8 text without a byte-order mark. Returns the mark to put back in front
    // of rewritten text: the UTF-8 mark when the file had any mark, else nothing.
    static std::string_view decode(std::string& bytes);

private:
    std::string m_path;
    IniError m_lastError;
};

} // namespace tavero::app
