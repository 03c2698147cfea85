#pragma once
// The card's two users and the check that a person at this computer is one of them. The names and
// passwords are plain text in the configuration sector; the check is a courtesy of this program,
// not a protection of the card's data.
//
// Thread: UI thread (the login prompt is modal).

#include "recorderconfig/config_sector.h"
#include "recorderconfig/messages.h"

#include <string>

namespace tavero::recorderconfig {

// Asks for a user name and a password: the login dialog in the window, the terminal (or the
// --user/--password options) in the command-line tool. Messages are shown through the sink part.
class LoginPrompt : public MessageSink {
public:
    // Fills name and password (at most 15 characters each are meaningful) and returns true on OK;
    // false when the user cancels (or no answer can be had).
    [[nodiscard]] virtual bool AskLogin(std::string& name, std::string& password) = 0;
};

// True when at least one of the two users has a password (first byte of its field not 0).
[[nodiscard]] bool CardHasUsers(const ConfigSector& sector);

// Passes at once when the card has no users. Otherwise asks once (no retry; the caller decides
// whether to ask again): passes when name and password match a user who has a password, exactly
// and case-sensitively; a mismatch shows kMsgWrongPassword; a cancel fails silently.
[[nodiscard]] bool CheckCardPassword(const ConfigSector& sector, LoginPrompt& prompt);

// The comparison alone, for callers that already have the answer.
[[nodiscard]] bool CredentialsMatch(const ConfigSector& sector, const std::string& name,
                                    const std::string& password);

} // namespace tavero::recorderconfig
