#include "platform/create_path.h"

#include <cerrno>
#include <sys/stat.h>

namespace tavero::platform {

bool CreatePath(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/' || path[i - 1] == '/') {
            continue;
        }
        const std::string folder = path.substr(0, i);
        if (::mkdir(folder.c_str(), 0777) == 0) {
            continue;
        }
        if (errno != EEXIST) {
            return false;
        }
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return false;
        }
    }
    return true;
}

} // namespace tavero::platform
