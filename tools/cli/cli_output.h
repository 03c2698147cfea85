#pragma once
// Small output helpers of the command-line tool: JSON values and fixed-width text.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavero::cli {

[[nodiscard]] std::string JsonString(std::string_view text);

// One JSON object, keys in insertion order.
class JsonObject {
public:
    JsonObject& add(std::string_view key, std::string_view value);
    JsonObject& add(std::string_view key, const char* value) {
        return add(key, std::string_view(value));
    }
    JsonObject& add(std::string_view key, std::int64_t value);
    JsonObject& add(std::string_view key, bool value);
    JsonObject& addRaw(std::string_view key, std::string raw);
    [[nodiscard]] std::string str() const;

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

[[nodiscard]] std::string JsonArray(const std::vector<std::string>& items);

} // namespace tavero::cli
