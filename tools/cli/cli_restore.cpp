// tavero-cli restore: the runner lives with format (cli_format.cpp); restore differs only in its
// options and in the work the format tool does.

#include "cli_common.h"

namespace tavero::cli {

int RunCardToolCommand(bool restore, const Args& args, std::FILE* out, std::FILE* err);

int RunRestoreCommand(const Args& args, std::FILE* out, std::FILE* err) {
    return RunCardToolCommand(true, args, out, err);
}

} // namespace tavero::cli
