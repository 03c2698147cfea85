#pragma once
// Pieces every command of tavero-cli shares: the options any command takes (--drive, --user,
// --password), the card-user check run before a card is read, and the commands that parse their
// own options.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class QGuiApplication;

namespace tavero::cli {

using Args = std::vector<std::string>; // the words after the command name

enum class CommonOption { NotCommon, Taken, Error };

// Takes args[i] (and its value, advancing i) when it is --drive N=PATH, --drive=N=PATH,
// --user NAME or --password PASSWORD. On Error, error says what is wrong.
[[nodiscard]] CommonOption TakeCommonOption(const Args& args, std::size_t& i, std::string& error);

// The name and password given with --user and --password (empty when not given).
struct CardCredentials {
    std::string user;
    std::string password;
    bool haveUser = false;
    bool havePassword = false;
};
[[nodiscard]] const CardCredentials& GivenCredentials();

// Run before a card (a car2://N source) is read: a card whose configuration lists users is read
// only after a user name and password are checked (from --user/--password, or asked on the
// terminal). Prints the one-line failure naming the source and returns false when refused.
[[nodiscard]] bool CheckCardUsersForCommand(int driveNumber, const std::string& name,
                                            std::FILE* err);

// Whole decimal numbers, nothing else around them.
// A file a command is about to write (replacing it when it exists): not a folder, in a folder
// that exists and is writable. Checked before the source is read, so a typo in the name costs no
// read of the card; prints the one-line refusal.
[[nodiscard]] bool CheckOutputPath(const std::string& output, std::FILE* err);

[[nodiscard]] bool ParseInteger(const std::string& text, std::int64_t& out);
// Numbers from 1 separated by commas ("1,3,4").
[[nodiscard]] bool ParseNumberList(const std::string& text, std::vector<int>& out);

// Text on pictures needs fonts, which need a GUI application object; without a display the
// offscreen platform serves. Qt's own chatter is kept from the user.
[[nodiscard]] std::unique_ptr<QGuiApplication> MakeGuiApplication();

// SIGINT and SIGTERM ask a running command to stop: it closes what it writes, says so and ends
// with StopExitStatus() (128 + the signal). A second signal ends the process at once.
void InstallStopSignals();
[[nodiscard]] bool StopRequested();
[[nodiscard]] int StopExitStatus();

// Prints "tavero-cli: MESSAGE" and where to find the usage to err; returns 2.
int UsageError(const std::string& message, std::FILE* err);

// Commands with option parsers of their own.
int RunExportCommand(const Args& args, std::FILE* out, std::FILE* err);
int RunSnapshotCommand(const Args& args, std::FILE* out, std::FILE* err);
int RunGpsCommand(const Args& args, std::FILE* out, std::FILE* err);
int RunConfigCommand(const Args& args, std::FILE* out, std::FILE* err);
int RunWifiCommand(const Args& args, std::FILE* out, std::FILE* err);
int RunFormatCommand(const Args& args, std::FILE* out, std::FILE* err);
int RunRestoreCommand(const Args& args, std::FILE* out, std::FILE* err);
int RunScanCommand(const Args& args, std::FILE* out, std::FILE* err);

} // namespace tavero::cli
