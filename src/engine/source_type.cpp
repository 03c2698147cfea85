#include "engine/source_type.h"

namespace tavero::engine {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

DetectedSource DetectSource(std::string_view rawPath) {
    DetectedSource out;
    const std::string_view path = Trim(rawPath);
    out.path = std::string(path);
    const std::size_t sep = path.find("://");
    if (sep == std::string_view::npos) {
        if (path.empty()) {
            out.type = kSourceNone;
        } else if (path.size() >= 3 ? path.substr(path.size() - 3) == ".sd" : path == ".sd") {
            out.type = kSourceBackupFile;
        } else {
            out.type = kSourceOtherFile;
        }
        return out;
    }
    out.type = path.substr(0, sep) == "car2" ? kSourceCard : kSourceNone;
    std::string_view host = path.substr(sep + 3);
    const std::size_t end = host.find_first_of(":/");
    if (end != std::string_view::npos) {
        host = host.substr(0, end);
    }
    out.host = std::string(host.substr(0, kMaxHostBytes));
    return out;
}

std::string CardUrl(unsigned drive) {
    return "car2://" + std::to_string(drive);
}

int CardDriveNumber(const DetectedSource& source) {
    if (source.type != kSourceCard || source.host.empty() || source.host[0] < '0' ||
        source.host[0] > '9') {
        return -1;
    }
    return source.host[0] - '0';
}

bool IsPlayable(SourceType type) {
    return type == kSourceCard || type == kSourceBackupFile;
}

} // namespace tavero::engine
