#pragma once
// Writing a whole configuration to a card in the recorder's save order, and the factory defaults
// written after a format.
//
// Thread: UI thread.

#include "recorderconfig/car_set_files.h"
#include "recorderconfig/config_sector.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::recorderconfig {

// Everything a save writes besides the sector image, as chosen on the configuration page.
struct CardSaveChoices {
    std::optional<ClockFields> clockUtc; // "Time Setting" ticked: the picked time in UTC
    bool pal = true;                     // "videonorm.vfg": 1 PAL, 0 NTSC
    bool continuousRecording = false;    // "rec_mode.cfg" holds 0 when on
    std::optional<GsensorChoice> gsensor;
    int gsensorParameterSet = 1;
    std::optional<int> frontSensitivity; // 0..4, with frontTable
    std::optional<int> rearSensitivity;  // 0..4, with rearTable
    CameraTable frontTable = kDefaultCameraTable;
    CameraTable rearTable = kDefaultCameraTable;
    bool rearCameraDisabled = false;
    CarData carData;
    bool audioOn = true;
    bool dstOn = false;
};

struct CardSaveOutcome {
    bool sectorWritten = false;
    std::string sectorError;               // why the sector write failed
    std::vector<std::string> skippedFiles; // files that could not be written (paths)
};

// Writes the files (unless the root is raw-only) and then the sector, in the recorder's order:
// "car_set/", clock, video norm, recording mode, G-sensor, setting record, camera scripts, video
// record, rear camera, car data, audio, daylight saving, and the sector to `drive`. The sector's
// frame rate 25 becomes 30 from the video record on (the setting record keeps 25); `sector` is
// updated accordingly. The caller has done every check of the page before calling: nothing here
// stops half-way.
CardSaveOutcome SaveCardConfiguration(std::string_view cardRoot, int drive, ConfigSector& sector,
                                      const CardSaveChoices& choices);

// Defaults after a format: the G-sensor off, the first camera value, an all-zero video record,
// rear camera on, no car data, audio off, NTSC, daylight saving off; then the default sector with
// identifier 0 is written and read back into `image`, which thus becomes the default sector with
// the card's own identifier (the format tool writes it again with that identifier). No setting
// record, clock or recording-mode file is written. The disabled G-sensor still carries the
// thresholds of its parameter set ("GsensorParameterArray_DfSet").
CardSaveOutcome WriteFactoryConfiguration(std::string_view cardRoot, int drive,
                                          const CameraTable& frontTable,
                                          const CameraTable& rearTable, ConfigSector& image,
                                          int gsensorParameterSet = 1);

} // namespace tavero::recorderconfig
