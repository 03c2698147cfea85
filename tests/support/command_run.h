#pragma once
// Runs a command line through the shell for tests of the command-line tools: standard input
// from the given text (never a terminal), standard output and standard error kept apart.

#include <string>

namespace tavero::testing {

struct CommandRun {
    int status = -1; // exit status; -1 when the command did not exit normally
    std::string out;
    std::string err;
};

[[nodiscard]] CommandRun RunCommand(const std::string& line, const std::string& input = "");

// The text in single quotes for the shell (paths here hold no single quotes).
[[nodiscard]] std::string Quote(const std::string& text);

} // namespace tavero::testing
