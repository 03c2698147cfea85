// Output file of the simulator: created (or truncated) on open, written at absolute offsets so
// that a card image stays sparse where nothing is written. Owns its descriptor.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tavero::sim {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    [[nodiscard]] bool create(const std::string& path, std::string& error);
    [[nodiscard]] bool resize(uint64_t bytes, std::string& error);
    [[nodiscard]] bool writeAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error);
    // Flushes and closes; reports a failed close (delayed write errors show up there).
    [[nodiscard]] bool close(std::string& error);

private:
    int m_fd = -1;
    std::string m_path;
};

} // namespace tavero::sim
