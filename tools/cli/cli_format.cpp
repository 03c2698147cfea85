// tavero-cli format / restore: prepares a card for the recorder, or wipes the recorder's
// structures and gives the card back to ordinary use. Both share this file's runner; restore's
// own file only names its options.

#include "cardtools/format_tool.h"
#include "cli_common.h"
#include "platform/drive_table.h"
#include "platform/unmount_service.h"

#include <QCoreApplication>
#include <cstdio>
#include <mutex>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace tavero::cli {

int RunCardToolCommand(bool restore, const Args& args, std::FILE* out, std::FILE* err);

namespace {

constexpr const char* kFormatHelp =
    "usage: tavero-cli format (--drive N=PATH | DEVICE) [--boot-image] [--yes]\n"
    "                         [--user NAME --password PASSWORD]\n"
    "Prepares a card for the recorder: new disk information (identifier + 5, or 10000 on a card\n"
    "without one), empty index areas, the configuration sector kept with the new identifier,\n"
    "the label \"tavero-SD\" on its configuration partition. After the confirmation the card's\n"
    "mounted file systems are unmounted (UDisks2, or umount2 as root).\n"
    "  DEVICE         the card's mount point or a device path (/dev/sdX)\n"
    "  --drive N=PATH drive N is the block device or whole-card image PATH\n"
    "  --boot-image   also write a fresh boot image (partition table and FAT16 partition);\n"
    "                 always done for a device path or image\n"
    "  --yes          do not ask for confirmation\n"
    "  --user, --password  the card user, when the card has users (asked on a terminal)\n";

constexpr const char* kRestoreHelp =
    "usage: tavero-cli restore (--drive N=PATH | DEVICE) [--local-disk] [--yes]\n"
    "                          [--user NAME --password PASSWORD]\n"
    "Gives a card back to ordinary use: the recorder's structures are wiped (the first 64\n"
    "sectors and 0x4000000 to 0x17000000). After the confirmation the card's mounted file\n"
    "systems are unmounted (UDisks2, or umount2 as root).\n"
    "  --local-disk   also write a new partition table with one FAT32 partition from sector 63\n"
    "                 and make its file system with mkfs.fat; without it (\"Removable Storage\")\n"
    "                 a mounted card gets a FAT file system over the whole card, a device path\n"
    "                 is only wiped\n"
    "  --yes          do not ask for confirmation\n"
    "  --user, --password  the card user, when the card has users (asked on a terminal)\n";

std::string ReadTerminalLine(bool echo) {
    termios saved{};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal && !echo) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        (void)::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        line.push_back(static_cast<char>(c));
    }
    if (terminal && !echo) {
        (void)::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
    return line;
}

// Questions on the terminal; without a terminal only --yes and --user/--password answer.
class TerminalPrompts : public cardtools::CardToolPrompts {
public:
    TerminalPrompts(std::FILE* err, bool assumeYes) : m_err(err), m_assumeYes(assumeYes) {}

    bool AskYesNo(std::string_view question, std::string_view detail) override {
        if (m_assumeYes) {
            return true;
        }
        if (::isatty(STDIN_FILENO) == 0) {
            m_noTerminal = true;
            return false;
        }
        std::fprintf(m_err, "%.*s%.*s [y/N] ", static_cast<int>(question.size()), question.data(),
                     static_cast<int>(detail.size()), detail.data());
        std::fflush(m_err);
        const std::string answer = ReadTerminalLine(true);
        return answer == "y" || answer == "Y" || answer == "yes";
    }

    bool AskLogin(std::string& name, std::string& password) override {
        const CardCredentials& given = GivenCredentials();
        if (given.haveUser && given.havePassword) {
            name = given.user;
            password = given.password;
            return true;
        }
        if (::isatty(STDIN_FILENO) == 0) {
            m_noTerminal = true;
            return false;
        }
        std::fputs("The card has users.\nUser name: ", m_err);
        std::fflush(m_err);
        name = given.haveUser ? given.user : ReadTerminalLine(true);
        if (given.haveUser) {
            std::fprintf(m_err, "%s\n", name.c_str());
        }
        std::fputs("Password: ", m_err);
        std::fflush(m_err);
        password = given.havePassword ? given.password : ReadTerminalLine(false);
        std::fputc('\n', m_err);
        return true;
    }

    void ShowMessage(std::string_view text) override { m_message = std::string(text); }

    [[nodiscard]] const std::string& message() const { return m_message; }
    [[nodiscard]] bool noTerminal() const { return m_noTerminal; }

private:
    std::FILE* m_err;
    bool m_assumeYes;
    bool m_noTerminal = false;
    std::string m_message;
};

// Progress of the worker: a bar on a terminal, "progress N%" lines every ten percent otherwise.
class TerminalProgress : public cardtools::FormatProgress {
public:
    explicit TerminalProgress(std::FILE* err)
        : m_err(err), m_terminal(::isatty(fileno(err)) != 0) {}

    void OnPercent(int percent) override {
        std::lock_guard guard(m_lock);
        if (percent == m_shown) {
            return;
        }
        m_shown = percent;
        if (m_terminal) {
            const int filled = percent * 40 / 100;
            std::fprintf(m_err, "\r[%.*s%*s] %3d%%", filled,
                         "########################################", 40 - filled, "", percent);
            if (percent >= 100) {
                std::fputc('\n', m_err);
            }
        } else if (percent / 10 != m_lastTenth || percent == 100) {
            m_lastTenth = percent / 10;
            std::fprintf(m_err, "progress %d%%\n", percent);
        }
        std::fflush(m_err);
    }
    void OnMessage(std::string_view text) override {
        std::lock_guard guard(m_lock);
        m_message = std::string(text);
    }
    void OnFinished(bool, cardtools::FormatState) override {
        std::lock_guard guard(m_lock);
        if (m_terminal && m_shown >= 0 && m_shown < 100) {
            std::fputc('\n', m_err);
        }
    }
    [[nodiscard]] std::string message() {
        std::lock_guard guard(m_lock);
        return m_message;
    }

private:
    std::mutex m_lock;
    std::FILE* m_err;
    bool m_terminal;
    int m_shown = -1;      // guarded by m_lock
    int m_lastTenth = -1;  // guarded by m_lock
    std::string m_message; // guarded by m_lock
};

} // namespace

int RunCardToolCommand(bool restore, const Args& args, std::FILE* out, std::FILE* err) {
    const char* name = restore ? "restore" : "format";
    std::string device;
    std::string drivePath;
    int driveOptions = 0;
    bool bootImage = false;
    bool localDisk = false;
    bool assumeYes = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(restore ? kRestoreHelp : kFormatHelp, out);
            return 0;
        }
        const bool isDrive = arg == "--drive" || arg.rfind("--drive=", 0) == 0;
        std::string error;
        const std::size_t before = i;
        switch (TakeCommonOption(args, i, error)) {
        case CommonOption::Error:
            return UsageError(error, err);
        case CommonOption::Taken:
            if (isDrive) {
                const std::string& value = arg == "--drive" ? args[before + 1] : arg.substr(8);
                drivePath = value.substr(2);
                ++driveOptions;
            }
            continue;
        case CommonOption::NotCommon:
            break;
        }
        if (arg == "--yes" || arg == "-y") {
            assumeYes = true;
        } else if (!restore && arg == "--boot-image") {
            bootImage = true;
        } else if (restore && arg == "--local-disk") {
            localDisk = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError(std::string(name) + ": unknown option " + arg, err);
        } else if (device.empty()) {
            device = arg;
        } else {
            return UsageError(std::string(name) + ": give one device, not '" + device + "' and '" +
                                  arg + "'",
                              err);
        }
    }
    if (device.empty()) {
        if (driveOptions != 1) {
            return UsageError(std::string(name) +
                                  (driveOptions == 0
                                       ? " needs a device or --drive N=PATH"
                                       : ": several --drive options; name the device"),
                              err);
        }
        device = drivePath;
    }

    // Qt D-Bus, which reaches UDisks2, wants an application object.
    std::unique_ptr<QCoreApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char appName[] = "tavero-cli";
        static char* argv[] = {appName, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    TerminalPrompts prompts(err, assumeYes);
    TerminalProgress progress(err);
    cardtools::CardDriveScanner scanner;
    const std::unique_ptr<platform::UnmountService> unmount = platform::MakeDesktopUnmountService();
    cardtools::CFormatTool tool(scanner, prompts, progress);
    tool.SetUnmountService(unmount.get());
    tool.SetWriteBootImage(bootImage);
    tool.SetMode(localDisk ? cardtools::DeviceListMode::LocalDisk
                           : cardtools::DeviceListMode::RemovableStorage);
    // Nothing on a command line needs the window's pause before the recording area is touched.
    tool.SetDelays(std::chrono::milliseconds(0), std::chrono::milliseconds(100));

    auto failLine = [&](const std::string& message, const std::string& detail) {
        std::string line = message;
        if (!detail.empty() && detail != message) {
            line += line.empty() ? detail : " (" + detail + ")";
        }
        std::fprintf(err, "tavero-cli: %s: %s\n", device.c_str(),
                     line.empty() ? "failed" : line.c_str());
        return 1;
    };
    const bool started = restore ? tool.StartRestore(device) : tool.StartFormat(device);
    if (!started) {
        if (prompts.noTerminal()) {
            return failLine("not confirmed", "no terminal to ask on; give --yes, --user and "
                                             "--password");
        }
        return failLine(prompts.message(), tool.LastError());
    }
    tool.Wait();
    if (tool.State() != cardtools::FormatState::Done) {
        return failLine(progress.message(), tool.LastError());
    }
    std::fprintf(out, "%s: %s\n", tool.ChosenDeviceText().c_str(), progress.message().c_str());
    return 0;
}

int RunFormatCommand(const Args& args, std::FILE* out, std::FILE* err) {
    return RunCardToolCommand(false, args, out, err);
}

} // namespace tavero::cli
