// The card-user check of tavero-cli: a card whose configuration sector lists users is read only
// after a user name and password match one of them, taken from --user/--password or asked on the
// terminal (the password without echo).

#include "cli_common.h"
#include "recorderconfig/card_users.h"
#include "recorderconfig/config_sector.h"

#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace tavero::cli {
namespace {

// Reads one line from standard input; false at the end of input.
bool ReadLine(std::string& line) {
    line.clear();
    for (int c = std::getchar(); c != EOF; c = std::getchar()) {
        if (c == '\n') {
            return true;
        }
        line += static_cast<char>(c);
    }
    return !line.empty();
}

// Answers the login from the options, then from the terminal; never blocks on a pipe.
class TerminalLoginPrompt : public recorderconfig::LoginPrompt {
public:
    TerminalLoginPrompt(std::string source, std::FILE* err)
        : m_source(std::move(source)), m_err(err) {}

    bool AskLogin(std::string& name, std::string& password) override {
        const CardCredentials& given = GivenCredentials();
        const bool terminal = ::isatty(STDIN_FILENO) != 0;
        if ((!given.haveUser || !given.havePassword) && !terminal) {
            // Nobody to ask: refused as a wrong answer would be.
            return true;
        }
        if (given.haveUser) {
            name = given.user;
        } else {
            std::fputs("UserName: ", m_err);
            std::fflush(m_err);
            if (!ReadLine(name)) {
                return cancelled();
            }
        }
        if (given.havePassword) {
            password = given.password;
            return true;
        }
        std::fputs("Password: ", m_err);
        std::fflush(m_err);
        termios saved{};
        const bool echoOff = ::tcgetattr(STDIN_FILENO, &saved) == 0;
        if (echoOff) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
        const bool answered = ReadLine(password);
        if (echoOff) {
            (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        }
        std::fputs("\n", m_err);
        return answered ? true : cancelled();
    }

    void ShowMessage(std::string_view text) override {
        std::fprintf(m_err, "tavero-cli: %s: %.*s\n", m_source.c_str(),
                     static_cast<int>(text.size()), text.data());
        m_reported = true;
    }

    [[nodiscard]] bool reported() const { return m_reported; }

private:
    bool cancelled() {
        std::fprintf(m_err, "tavero-cli: %s: no user name and password given\n", m_source.c_str());
        m_reported = true;
        return false;
    }

    std::string m_source;
    std::FILE* m_err;
    bool m_reported = false;
};

} // namespace

bool CheckCardUsersForCommand(int driveNumber, const std::string& name, std::FILE* err) {
    // An unreadable or foreign sector reads as the default sector, which has no users: such a
    // card opens as any other.
    recorderconfig::ConfigSector sector;
    (void)recorderconfig::ReadConfigSector(driveNumber, sector);
    TerminalLoginPrompt prompt(name, err);
    if (recorderconfig::CheckCardPassword(sector, prompt)) {
        return true;
    }
    if (!prompt.reported()) {
        prompt.ShowMessage(recorderconfig::kMsgWrongPassword);
    }
    return false;
}

} // namespace tavero::cli
