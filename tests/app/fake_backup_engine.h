// The engine's export commands for the backup dialog's tests: every command is logged, and an
// export ends when the test says so.
//
// Thread: the test's thread.
#pragma once

#include "app/backup_chooser.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tavero::test {

class FakeBackupEngine final : public app::BackupCommands {
public:
    explicit FakeBackupEngine(std::function<store::IndexRecord*(store::IndexRecord*)> next)
        : m_next(std::move(next)) {}

    store::IndexRecord* NextRecord(store::IndexRecord* record) override { return m_next(record); }
    void SelectChannel(int channel, bool included, bool ticked) override {
        if (included && ticked) {
            selectedChannels.insert(channel);
        } else {
            selectedChannels.erase(channel);
        }
    }
    bool ExportList(const std::string& path,
                    const std::vector<store::IndexRecord*>& list) override {
        std::string slots;
        for (const store::IndexRecord* r : list) {
            slots += std::to_string(r->slot) + ",";
        }
        log.push_back("raw " + path + " " + slots);
        return startSucceeds;
    }
    bool ExportRange(const std::string& path, store::IndexRecord* entry, std::int64_t start,
                     std::int64_t end) override {
        log.push_back("avi " + path + " " + std::to_string(entry->slot) + " " +
                      std::to_string(start - timeBase) + ".." + std::to_string(end - timeBase));
        channelsAtExport.push_back(selectedChannels);
        return startSucceeds;
    }
    std::string ExportError() override { return "disk not there"; }
    std::string ExportProblem() override { return problem; }
    void StopExport() override { ++stops; }

    std::int64_t timeBase = 1714550400; // range times are logged from here
    std::vector<std::string> log;
    std::set<int> selectedChannels;
    std::vector<std::set<int>> channelsAtExport;
    bool startSucceeds = true;
    std::string problem;
    int stops = 0;

private:
    std::function<store::IndexRecord*(store::IndexRecord*)> m_next;
};

} // namespace tavero::test
