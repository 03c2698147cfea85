#pragma once
// Shared pieces of the card tools' tests: card images from the recorder simulator, configuration
// sectors built from the format's table, region hashes, fake prompts and progress, and running
// the system's partition and FAT tools on images.

#include "command_run.h"
#include "card_fixture.h"
#include "cardtools/card_messages.h"
#include "cardtools/format_tool.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace tavero::testing {

struct SectorUsers {
    std::string user1, password1, user2, password2;
};

// A valid configuration sector (outer and inner checksums) with frame rate 15, the fixed table,
// the users, a few reserved bytes set, and diskId.
Bytes512 ConfigSectorBytes(std::uint32_t diskId, const SectorUsers& users = {});

// A recorder card image of the simulator with one short recording.
void MakeSimCard(const std::filesystem::path& path, std::uint32_t blocks, std::uint32_t diskId);

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path, std::int64_t offset,
                                    std::size_t count);
void WriteBytes(const std::filesystem::path& path, std::int64_t offset,
                const std::vector<std::uint8_t>& bytes);
// Hash of the bytes [from, to) of the file; to = -1 means its end.
std::uint64_t HashRange(const std::filesystem::path& path, std::int64_t from, std::int64_t to);
// True when every byte of [from, to) is zero.
bool AllZero(const std::filesystem::path& path, std::int64_t from, std::int64_t to);

struct ToolRun {
    int status = -1;
    std::string out;
};
// Runs a shell command line, standard error joined to the output.
ToolRun RunTool(const std::string& command);

class FakePrompts : public cardtools::CardToolPrompts {
public:
    bool answerYes = true;
    bool loginGiven = false;
    std::string loginName, loginPassword;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    int logins = 0;

    bool AskYesNo(std::string_view q, std::string_view detail) override {
        questions.push_back(std::string(q) + std::string(detail));
        return answerYes;
    }
    bool AskLogin(std::string& name, std::string& password) override {
        ++logins;
        name = loginName;
        password = loginPassword;
        return loginGiven;
    }
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
};

class FakeProgress : public cardtools::FormatProgress {
public:
    void OnPercent(int percent) override {
        std::lock_guard guard(lock);
        percents.push_back(percent);
    }
    void OnMessage(std::string_view text) override {
        std::lock_guard guard(lock);
        messages.emplace_back(text);
    }
    void OnFinished(bool ok, cardtools::FormatState state) override {
        std::lock_guard guard(lock);
        finished = true;
        finishedOk = ok;
        finalState = state;
    }
    std::mutex lock;
    std::vector<int> percents;
    std::vector<std::string> messages;
    bool finished = false;
    bool finishedOk = false;
    cardtools::FormatState finalState = cardtools::FormatState::Refused;
};

} // namespace tavero::testing
