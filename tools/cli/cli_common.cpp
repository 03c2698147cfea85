#include "cli_common.h"

#include "platform/drive_table.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace tavero::cli {
namespace {

CardCredentials& Credentials() {
    static CardCredentials credentials;
    return credentials;
}

bool TakeDrive(const std::string& value, std::string& error) {
    const std::size_t eq = value.find('=');
    if (eq != 1 || value[0] < '0' || value[0] > '9' || value.size() < 3) {
        error = "--drive needs N=PATH with N from 0 to 9, got '" + value + "'";
        return false;
    }
    platform::SetDrivePath(value[0] - '0', value.substr(2));
    return true;
}

} // namespace

CommonOption TakeCommonOption(const Args& args, std::size_t& i, std::string& error) {
    const std::string& arg = args[i];
    if (arg.rfind("--drive=", 0) == 0) {
        return TakeDrive(arg.substr(8), error) ? CommonOption::Taken : CommonOption::Error;
    }
    if (arg != "--drive" && arg != "--user" && arg != "--password") {
        return CommonOption::NotCommon;
    }
    if (i + 1 >= args.size()) {
        error = arg == "--drive" ? "--drive needs N=PATH" : arg + " needs a value";
        return CommonOption::Error;
    }
    const std::string& value = args[++i];
    if (arg == "--drive") {
        return TakeDrive(value, error) ? CommonOption::Taken : CommonOption::Error;
    }
    CardCredentials& credentials = Credentials();
    if (arg == "--user") {
        credentials.user = value;
        credentials.haveUser = true;
    } else {
        credentials.password = value;
        credentials.havePassword = true;
    }
    return CommonOption::Taken;
}

const CardCredentials& GivenCredentials() {
    return Credentials();
}

bool CheckOutputPath(const std::string& output, std::FILE* err) {
    auto fail = [&](const std::string& why) {
        std::fprintf(err, "tavero-cli: %s: %s\n", output.c_str(), why.c_str());
        return false;
    };
    const std::filesystem::path path(output);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return fail("is a directory");
    }
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    if (!std::filesystem::is_directory(folder, ec)) {
        return fail("the folder " + folder.string() + " does not exist");
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        return fail("the folder " + folder.string() + " is not writable");
    }
    return true;
}

bool ParseInteger(const std::string& text, std::int64_t& out) {
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end;
}

bool ParseNumberList(const std::string& text, std::vector<int>& out) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string piece =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::int64_t n = 0;
        if (!ParseInteger(piece, n) || n < 1 || n > 1000000) {
            return false;
        }
        out.push_back(static_cast<int>(n));
        if (comma == std::string::npos) {
            return true;
        }
        start = comma + 1;
    }
}

} // namespace tavero::cli
