#pragma once
// The commands of tavero-cli. Each prints its result to out and returns the exit status; a
// failure prints one line naming the source and the reason to err.

#include <cstdio>
#include <string>

namespace tavero::cli {

struct CommandOptions {
    std::string source;
    bool json = false;
};

int RunInfo(const CommandOptions& options, std::FILE* out, std::FILE* err);
int RunList(const CommandOptions& options, std::FILE* out, std::FILE* err);
int RunUnits(const CommandOptions& options, std::FILE* out, std::FILE* err);
// Reads NMEA sentences from in, one a line.
int RunRmc(std::FILE* in, std::FILE* out);

} // namespace tavero::cli
