#pragma once
// Classification of the text that names a source: a recorder card URL ("car2://N") or a raw
// backup file path ending in ".sd". Pure functions; any thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace tavero::engine {

enum SourceType : std::int32_t {
    kSourceNone = 0,      // empty, or a URL whose scheme is not "car2"
    kSourceOtherFile = 1, // never played
    kSourceCard = 11,     // recorder card as a raw drive
    kSourceBackupFile = 12,
};

inline constexpr std::size_t kMaxHostBytes = 260;

struct DetectedSource {
    SourceType type = kSourceNone;
    std::string path; // trimmed
    std::string host; // text after "://" up to ':' or '/', at most 260 bytes; empty for files
};

// Trims white space at both ends, then classifies. Comparisons are case-sensitive.
[[nodiscard]] DetectedSource DetectSource(std::string_view path);

// The card URL of drive n: "car2://n".
[[nodiscard]] std::string CardUrl(unsigned drive);

// Drive number of a card source's host (its first character, '0'..'9'), or -1.
[[nodiscard]] int CardDriveNumber(const DetectedSource& source);

[[nodiscard]] bool IsPlayable(SourceType type);

} // namespace tavero::engine
