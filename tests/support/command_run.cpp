#include "command_run.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "card_fixture.h"

namespace tavero::testing {

std::string Quote(const std::string& text) { return "'" + text + "'"; }

CommandRun RunCommand(const std::string& line, const std::string& input) {
    TempDir dir;
    const auto inFile = dir / "in.txt";
    const auto errFile = dir / "err.txt";
    std::ofstream(inFile) << input;
    const std::string command = "(" + line + ") <" + Quote(inFile.string()) + " 2>" + Quote(errFile.string());
    CommandRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.out.append(buffer.data(), n);
    }
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(errFile);
    std::stringstream text;
    text << err.rdbuf();
    run.err = text.str();
    return run;
}

} // namespace tavero::testing
