// Fuzz target: the recorder's "car_set/" files as the configuration page and the Wi-Fi dialog
// read them from a card: the input becomes each file in turn (in memory-backed /dev/shm).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "recorderconfig/car_set_files.h"
#include "recorderconfig/wifi_config.h"

using namespace tavero::recorderconfig;

namespace {

const std::string& Root() {
    static const std::string root = [] {
        const std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        const std::string r = base + "/tavero-fuzz-car-set-" + std::to_string(getpid()) + "/";
        std::filesystem::create_directories(r + std::string(kCarSetFolder));
        return r;
    }();
    // Registered after `root`, so it runs before `root` goes away.
    static const bool cleanup = std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(Root(), ec);
    }) == 0;
    (void)cleanup;
    return root;
}

void Put(const std::string& path, const std::uint8_t* data, std::size_t size) {
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string folder = Root() + std::string(kCarSetFolder);
    for (const std::string_view name : {kWifiFile, kSettingFile, kSensorFile, kSensorChoiceFile,
                                        kFrontCameraFile, kRearCamSwitchFile}) {
        Put(folder + std::string(name), data, size);
    }
    WifiSettings wifi;
    (void)ReadWifiFile(Root(), wifi);
    (void)WifiConfigText(wifi);
    SettingRecord setting;
    (void)ReadSettingRecord(folder + std::string(kSettingFile), setting);
    const int camera = ReadCameraScript(folder + std::string(kFrontCameraFile), kDefaultCameraTable);
    if (camera < 0 || camera >= kCameraLevels) {
        __builtin_trap();
    }
    const int rear = ReadSwitchRecord(folder + std::string(kRearCamSwitchFile), kRearCamMagic, 1);
    const int low = ReadSwitchRecord(folder + std::string(kRearCamSwitchFile), kAudioMagic, 0, true);
    if ((rear != 0 && rear != 1) || (low != 0 && low != 1)) {
        __builtin_trap();
    }
    const GsensorChoice g = ReadGsensorChoice(Root(), 1, GsensorChoice{0, 3});
    if (g.carType < 0 || g.carType >= kGsensorCarTypes || g.level < 0 || g.level > kGsensorLevels) {
        __builtin_trap();
    }
    return 0;
}
