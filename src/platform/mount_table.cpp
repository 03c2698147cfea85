#include "platform/mount_table.h"

#include <fstream>
#include <sstream>

namespace tavero::platform {

std::string DecodeMountEscapes(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1];
            const char b = field[i + 2];
            const char c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ') {
            ++pos;
        }
        const std::size_t end = line.find(' ', pos);
        const std::size_t stop = end == std::string_view::npos ? line.size() : end;
        if (stop > pos) {
            fields.push_back(line.substr(pos, stop - pos));
        }
        pos = stop;
    }
    return fields;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> table;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        const std::string_view line =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        // id parent major:minor root mountpoint options [optional fields...] - fstype source super
        const std::vector<std::string_view> f = SplitFields(line);
        std::size_t dash = 6;
        while (dash < f.size() && f[dash] != "-") {
            ++dash;
        }
        if (f.size() < 6 || dash + 2 >= f.size() || f[2].find(':') == std::string_view::npos) {
            continue;
        }
        MountEntry entry;
        entry.devNumber = std::string(f[2]);
        entry.mountPoint = DecodeMountEscapes(f[4]);
        entry.fsType = DecodeMountEscapes(f[dash + 1]);
        entry.source = DecodeMountEscapes(f[dash + 2]);
        if (dash + 3 < f.size()) {
            entry.superOptions = DecodeMountEscapes(f[dash + 3]);
        }
        table.push_back(std::move(entry));
    }
    return table;
}

bool ReadMountTable(const std::string& mountInfoPath, std::vector<MountEntry>& out) {
    std::ifstream in(mountInfoPath);
    if (!in) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    out = ParseMountInfo(text.str());
    return true;
}

const MountEntry* FindMountPoint(const std::vector<MountEntry>& table, const std::string& path) {
    const std::string wanted = WithoutTrailingSlash(path);
    const MountEntry* found = nullptr;
    for (const MountEntry& entry : table) {
        if (WithoutTrailingSlash(entry.mountPoint) == wanted) {
            found = &entry;
        }
    }
    return found;
}

const MountEntry* FindMountHolding(const std::vector<MountEntry>& table, const std::string& path) {
    const std::string wanted = WithoutTrailingSlash(path);
    const MountEntry* found = nullptr;
    std::size_t foundLength = 0;
    for (const MountEntry& entry : table) {
        const std::string point = WithoutTrailingSlash(entry.mountPoint);
        const bool holds = point == "/" ? wanted.starts_with("/")
                                        : wanted == point || (wanted.starts_with(point) &&
                                                              wanted.size() > point.size() &&
                                                              wanted[point.size()] == '/');
        if (holds && (found == nullptr || point.size() >= foundLength)) {
            found = &entry;
            foundLength = point.size();
        }
    }
    return found;
}

} // namespace tavero::platform
