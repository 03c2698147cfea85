#include "cli_common.h"

namespace tavero::cli {

bool CheckCardUsersForCommand(int /*driveNumber*/, const std::string& /*name*/, std::FILE* /*err*/) {
    return true;
}

} // namespace tavero::cli
