#pragma once
// Creates the folders of a path that names a file (or a file-name prefix): every folder before
// a separator. Used before exports and snapshots write their files.

#include <string>

namespace tavero::platform {

// For every '/' that is not the first character and does not follow another '/', makes the
// folder named by the text before it when it is missing. False when a folder cannot be made, or
// when a part of the path exists but is not a folder; the text after the last '/' is never made.
[[nodiscard]] bool CreatePath(const std::string& path);

} // namespace tavero::platform
