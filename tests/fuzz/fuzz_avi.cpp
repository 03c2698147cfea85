// Fuzz target: the AVI reader on arbitrary files (in memory-backed /dev/shm): open, then every
// picture and all the sound, with a buffer that is sometimes too small.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "export/avi_file.h"

namespace {

const std::string& Path() {
    static const std::string path =
        (std::filesystem::exists("/dev/shm") ? std::string("/dev/shm") : std::string("/tmp")) +
        "/tavero-fuzz-avi-" + std::to_string(getpid()) + ".avi";
    static const bool cleanup = std::atexit([] { std::remove(Path().c_str()); }) == 0;
    (void)cleanup;
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (std::FILE* f = std::fopen(Path().c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    tavero::exporting::CAviFile avi;
    if (!avi.Open(Path())) {
        return 0;
    }
    std::vector<std::uint8_t> buffer(size > 0 && data[0] % 2 == 0 ? 16 : 1 << 20);
    for (int i = 0; i < 10000; ++i) {
        std::size_t n = buffer.size();
        if (!avi.ReadVideoFrame(buffer.data(), n)) {
            if (n > buffer.size() && n <= (1u << 24)) {
                buffer.resize(n); // too small: the size needed was said
                continue;
            }
            break;
        }
        if (n > buffer.size()) {
            __builtin_trap();
        }
    }
    for (int i = 0; i < 10000; ++i) {
        std::size_t n = buffer.size() & ~std::size_t{1};
        if (!avi.ReadAudio(buffer.data(), n)) {
            break;
        }
        if (n > buffer.size()) {
            __builtin_trap();
        }
    }
    (void)avi.Close();
    return 0;
}
