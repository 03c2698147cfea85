#pragma once
// Settings and message sink stand-ins for the configuration page.

#include "recorderconfig/config_page.h"

#include <map>
#include <string>
#include <vector>

namespace tavero::testing {

class FakeSettings : public recorderconfig::PageSettings {
public:
    int ReadInt(std::string_view section, std::string_view key, int defaultValue) const override {
        const auto it = values.find(std::string(section) + "/" + std::string(key));
        return it == values.end() ? defaultValue : it->second;
    }
    void WriteInt(std::string_view section, std::string_view key, int value) override {
        values[std::string(section) + "/" + std::string(key)] = value;
    }
    bool IsChineseInterface() const override { return chinese; }
    std::vector<std::string> ProvinceLines() const override { return provinces; }

    std::map<std::string, int> values;
    bool chinese = false;
    std::vector<std::string> provinces;
};

class RecordingSink : public recorderconfig::MessageSink {
public:
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    std::vector<std::string> messages;
};

} // namespace tavero::testing
