#include "app/ini_file.h"

#include "platform/program_paths.h"

#include <cstdint>
#include <utility>

namespace tavero::app {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\v\f";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kLineBreaksAndNul{"\r\n\0", 3};

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

bool isWhiteSpace(char c) {
    return kWhiteSpace.find(c) != std::string_view::npos;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

bool isQuotedPair(std::string_view value) {
    return value.size() >= 2 && isQuote(value.front()) && value.front() == value.back();
}

std::string_view unquote(std::string_view value) {
    return isQuotedPair(value) ? value.substr(1, value.size() - 2) : value;
}

// Wraps a value in double quotes when reading would otherwise change it (surrounding white space
// or its own surrounding quotes), so every valid value reads back exactly as written.
std::string encodeValue(std::string_view value) {
    const bool needsQuotes = !value.empty() && (isWhiteSpace(value.front()) ||
                                                isWhiteSpace(value.back()) || isQuotedPair(value));
    return needsQuotes ? "\"" + std::string(value) + "\"" : std::string(value);
}

// One line of text: [begin, contentEnd) without its line break, [begin, end) with it.
struct Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0;
    std::size_t end = 0;
};

class LineCursor {
public:
    explicit LineCursor(std::string_view text) : m_text(text) {}

    bool next(Line& line) {
        if (m_pos >= m_text.size()) {
            return false;
        }
        line.begin = m_pos;
        const auto newline = m_text.find('\n', m_pos);
        line.end = newline == std::string_view::npos ? m_text.size() : newline + 1;
        line.contentEnd = newline == std::string_view::npos ? m_text.size() : newline;
        if (line.contentEnd > line.begin && m_text[line.contentEnd - 1] == '\r') {
            --line.contentEnd;
        }
        m_pos = line.end;
        return true;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;  // section name or key, trimmed
    std::string_view value; // trimmed, quotes still on
};

ParsedLine parseLine(std::string_view content) {
    const auto text = trim(content);
    if (text.empty() || text.front() == ';') {
        return {};
    }
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            return {};
        }
        return {LineKind::Section, trim(text.substr(1, close - 1)), {}};
    }
    const auto equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return {};
    }
    return {LineKind::Key, trim(text.substr(0, equals)), trim(text.substr(equals + 1))};
}

// Calls `onKey(parsedLine, line)` for every key line of the first section named `section`.
// Stops early when onKey returns false.
template <typename OnKey>
void forEachKeyOfSection(std::string_view text, std::string_view section, OnKey&& onKey) {
    LineCursor cursor(text);
    Line line;
    bool inSection = false;
    while (cursor.next(line)) {
        const auto parsed = parseLine(text.substr(line.begin, line.contentEnd - line.begin));
        if (parsed.kind == LineKind::Section) {
            if (inSection) {
                return;
            }
            inSection = equalsNoCase(parsed.name, section);
        } else if (inSection && parsed.kind == LineKind::Key && !onKey(parsed, line)) {
            return;
        }
    }
}

void appendUtf8(std::string& out, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// UTF-16 after its byte-order mark to UTF-8. Unpaired surrogates become U+FFFD; an odd last byte
// is dropped.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    const auto unitAt = [&](std::size_t i) {
        const auto b0 = static_cast<std::uint8_t>(bytes[i]);
        const auto b1 = static_cast<std::uint8_t>(bytes[i + 1]);
        return static_cast<std::uint32_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
    };
    constexpr std::uint32_t kReplacement = 0xFFFD;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    const std::size_t units = bytes.size() / 2;
    for (std::size_t u = 0; u < units; ++u) {
        const std::uint32_t unit = unitAt(2 * u);
        if (unit >= 0xD800 && unit <= 0xDBFF && u + 1 < units) {
            const std::uint32_t low = unitAt(2 * (u + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++u;
                continue;
            }
        }
        appendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
    return out;
}

std::string_view newlineOf(std::string_view text) {
    const auto newline = text.find('\n');
    return newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r' ? "\r\n"
                                                                                         : "\n";
}

// `text` ends in a line break.
bool lastLineIsBlank(std::string_view text) {
    text.remove_suffix(1);
    const auto previousBreak = text.rfind('\n');
    return trim(previousBreak == std::string_view::npos ? text : text.substr(previousBreak + 1))
        .empty();
}

} // namespace

IniFile::IniFile(std::string path) : m_path(std::move(path)) {}

std::string_view IniFile::decode(std::string& bytes) {
    const std::string_view view = bytes;
    if (view.starts_with(kUtf8Bom)) {
        bytes.erase(0, kUtf8Bom.size());
        return kUtf8Bom;
    }
    if (view.starts_with("\xFF\xFE") || view.starts_with("\xFE\xFF")) {
        bytes = utf16ToUtf8(view.substr(2), view.front() == '\xFE');
        return kUtf8Bom;
    }
    return {};
}

std::optional<std::string> IniFile::findValue(std::string_view text, std::string_view section,
                                              std::string_view key) {
    section = trim(section);
    key = trim(key);
    std::optional<std::string> found;
    forEachKeyOfSection(text, section, [&](const ParsedLine& parsed, const Line&) {
        if (!equalsNoCase(parsed.name, key)) {
            return true;
        }
        found = std::string(unquote(parsed.value));
        return false;
    });
    return found;
}

std::vector<IniEntry> IniFile::sectionEntries(std::string_view text, std::string_view section) {
    std::vector<IniEntry> entries;
    forEachKeyOfSection(text, trim(section), [&](const ParsedLine& parsed, const Line&) {
        entries.push_back({std::string(parsed.name), std::string(unquote(parsed.value))});
        return true;
    });
    return entries;
}

bool IniFile::isValidEntry(std::string_view section, std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    return !section.empty() && !key.empty() &&
           section.find_first_of(kLineBreaksAndNul) == std::string_view::npos &&
           key.find_first_of(kLineBreaksAndNul) == std::string_view::npos &&
           value.find_first_of(kLineBreaksAndNul) == std::string_view::npos &&
           section.find(']') == std::string_view::npos && key.find('=') == std::string_view::npos &&
           key.front() != ';' && key.front() != '[';
}

std::optional<std::string> IniFile::withValue(std::string_view text, std::string_view section,
                                              std::string_view key, std::string_view value) {
    if (!isValidEntry(section, key, value)) {
        return std::nullopt;
    }
    section = trim(section);
    key = trim(key);
    const std::string_view newline = newlineOf(text);
    const std::string encoded = encodeValue(value);

    // Where a new key goes: after the last non-blank line of the first matching section, so the
    // blank lines that separate it from the next section stay where they are.
    std::optional<std::size_t> insertAt;
    bool insertNeedsBreak = false;
    bool inSection = false;
    LineCursor cursor(text);
    Line line;
    while (cursor.next(line)) {
        const auto content = text.substr(line.begin, line.contentEnd - line.begin);
        const auto parsed = parseLine(content);
        if (parsed.kind == LineKind::Section) {
            if (inSection) {
                break;
            }
            inSection = equalsNoCase(parsed.name, section);
        }
        if (!inSection) {
            continue;
        }
        if (parsed.kind == LineKind::Key && equalsNoCase(parsed.name, key)) {
            // The key keeps its spelling in the file; only the value changes.
            std::string result(text.substr(0, line.begin));
            result.append(parsed.name).append("=").append(encoded);
            result.append(text.substr(line.contentEnd));
            return result;
        }
        if (!trim(content).empty()) {
            insertAt = line.end;
            // A last line without its '\n' (a lone '\r' is no line break) gets one first.
            insertNeedsBreak = text[line.end - 1] != '\n';
        }
    }

    const std::string newLine = std::string(key) + "=" + encoded + std::string(newline);
    if (insertAt) {
        std::string result(text.substr(0, *insertAt));
        if (insertNeedsBreak) {
            result.append(newline);
        }
        result.append(newLine);
        result.append(text.substr(*insertAt));
        return result;
    }

    std::string result(text);
    if (!result.empty()) {
        if (result.back() != '\n') {
            result.append(newline);
        }
        // One blank line between the last section and the new one.
        if (!lastLineIsBlank(result)) {
            result.append(newline);
        }
    }
    result.append("[").append(section).append("]").append(newline).append(newLine);
    return result;
}

std::optional<std::string> IniFile::read(std::string_view section, std::string_view key) const {
    std::string bytes;
    platform::FileError error;
    if (platform::readWholeFile(m_path, kMaxFileBytes, bytes, error) !=
        platform::ReadFileStatus::Ok) {
        return std::nullopt;
    }
    decode(bytes);
    return findValue(bytes, section, key);
}

std::vector<IniEntry> IniFile::readSection(std::string_view section) const {
    std::string bytes;
    platform::FileError error;
    if (platform::readWholeFile(m_path, kMaxFileBytes, bytes, error) !=
        platform::ReadFileStatus::Ok) {
        return {};
    }
    decode(bytes);
    return sectionEntries(bytes, section);
}

bool IniFile::write(std::string_view section, std::string_view key, std::string_view value) {
    m_lastError = {};
    if (!isValidEntry(section, key, value)) {
        m_lastError = {IniErrorCode::InvalidEntry, "cannot store [" + std::string(section) + "] " +
                                                       std::string(key) + " in " + m_path};
        return false;
    }
    std::string bytes;
    platform::FileError error;
    const auto status = platform::readWholeFile(m_path, kMaxFileBytes, bytes, error);
    if (status == platform::ReadFileStatus::Failed ||
        status == platform::ReadFileStatus::TooLarge) {
        // Replacing a file that could not be read would lose everything else in it.
        m_lastError = {IniErrorCode::ReadFailed, error.detail};
        return false;
    }
    const std::string_view bom = decode(bytes);
    const auto text = withValue(bytes, section, key, value);
    if (!platform::writeFileAtomically(m_path, std::string(bom) + *text, error)) {
        m_lastError = {IniErrorCode::WriteFailed, error.detail};
        return false;
    }
    return true;
}

} // namespace tavero::app
