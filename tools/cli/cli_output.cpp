#include "cli_output.h"

#include <cstdio>

namespace tavero::cli {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                // Card text is ASCII; anything else is shown as a code, never as broken UTF-8.
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(ch);
            }
        }
    }
    out += '"';
    return out;
}

JsonObject& JsonObject::add(std::string_view key, std::string_view value) {
    m_fields.emplace_back(std::string(key), JsonString(value));
    return *this;
}

JsonObject& JsonObject::add(std::string_view key, std::int64_t value) {
    m_fields.emplace_back(std::string(key), std::to_string(value));
    return *this;
}

JsonObject& JsonObject::add(std::string_view key, bool value) {
    m_fields.emplace_back(std::string(key), value ? "true" : "false");
    return *this;
}

JsonObject& JsonObject::addRaw(std::string_view key, std::string raw) {
    m_fields.emplace_back(std::string(key), std::move(raw));
    return *this;
}

std::string JsonObject::str() const {
    std::string out = "{";
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += JsonString(m_fields[i].first) + ": " + m_fields[i].second;
    }
    return out + "}";
}

std::string JsonArray(const std::vector<std::string>& items) {
    if (items.empty()) {
        return "[]";
    }
    std::string out = "[\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += "  " + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
    }
    return out + "]";
}

} // namespace tavero::cli
