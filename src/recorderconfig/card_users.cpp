#include "recorderconfig/card_users.h"

namespace tavero::recorderconfig {
namespace {

bool UserMatches(const UserField& storedName, const UserField& storedPassword,
                 const std::string& name, const std::string& password) {
    // A user without a password can never log in, even with an empty typed password.
    return storedPassword[0] != 0 && FieldText(storedName) == name &&
           FieldText(storedPassword) == password;
}

} // namespace

bool CardHasUsers(const ConfigSector& sector) {
    return sector.user1Password[0] != 0 || sector.user2Password[0] != 0;
}

bool CredentialsMatch(const ConfigSector& sector, const std::string& name,
                      const std::string& password) {
    return UserMatches(sector.user1Name, sector.user1Password, name, password) ||
           UserMatches(sector.user2Name, sector.user2Password, name, password);
}

bool CheckCardPassword(const ConfigSector& sector, LoginPrompt& prompt) {
    if (!CardHasUsers(sector)) {
        return true;
    }
    std::string name;
    std::string password;
    if (!prompt.AskLogin(name, password)) {
        return false;
    }
    if (CredentialsMatch(sector, name, password)) {
        return true;
    }
    prompt.ShowMessage(kMsgWrongPassword);
    return false;
}

} // namespace tavero::recorderconfig
