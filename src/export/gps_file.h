#pragma once
// Writes a finished track file so that a failure never leaves a partial file behind: the text
// goes to a temporary file beside the target, is flushed to the medium, and is renamed over the
// target only when all of it was written. A target that existed stays untouched on failure.

#include <string>
#include <string_view>

namespace tavero::exporter {

// error: the reason in words (the caller names the path). The temporary file is removed on every
// failure.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::string_view content,
                                       std::string& error);

} // namespace tavero::exporter
