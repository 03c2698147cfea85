#include "cli_common.h"

namespace tavero::cli {

int RunConfigCommand(const Args& /*args*/, std::FILE* /*out*/, std::FILE* err) {
    return UsageError("this command is not available yet", err);
}

} // namespace tavero::cli
