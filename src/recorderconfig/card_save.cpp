#include "recorderconfig/card_save.h"

namespace tavero::recorderconfig {
namespace {

constexpr std::uint32_t kPalFrameRate = 25;
constexpr std::uint32_t kNtscFrameRate = 30;

// Collects the names of files that could not be written; the save goes on regardless.
class FileWriter {
public:
    FileWriter(std::string_view cardRoot, CardSaveOutcome& outcome)
        : m_root(cardRoot), m_outcome(outcome) {}

    template <typename Write> void file(std::string_view name, Write&& write) {
        const std::string path = CarSetPath(m_root, name);
        if (!write(path)) {
            m_outcome.skippedFiles.push_back(path);
        }
    }
    // The file and its second copy, same content.
    template <typename Write> void twice(std::string_view name, Write&& write) {
        file(name, write);
        const std::string path = SecondCopy(CarSetPath(m_root, name));
        if (!write(path)) {
            m_outcome.skippedFiles.push_back(path);
        }
    }
    void folder() {
        if (!CreateCarSetFolder(m_root)) {
            m_outcome.skippedFiles.push_back(CarSetPath(m_root, ""));
        }
    }
    void gsensor(const GsensorChoice& choice, int set) {
        if (WriteGsensorFiles(m_root, choice, set) != 0) {
            m_outcome.skippedFiles.push_back(CarSetPath(m_root, "sensor*.gse*"));
        }
    }

private:
    std::string_view m_root;
    CardSaveOutcome& m_outcome;
};

auto Switch(std::uint32_t magic, bool on, bool lowByteOnly = false) {
    return [=](const std::string& path) {
        return WriteSwitchRecord(path, magic, on ? 1 : 0, lowByteOnly);
    };
}

void WriteSector(int drive, ConfigSector& sector, CardSaveOutcome& outcome) {
    outcome.sectorWritten = WriteConfigSector(drive, sector, &outcome.sectorError);
}

} // namespace

CardSaveOutcome SaveCardConfiguration(std::string_view cardRoot, int drive, ConfigSector& sector,
                                      const CardSaveChoices& choices) {
    CardSaveOutcome outcome;
    if (!IsRawOnlyRoot(cardRoot)) {
        FileWriter files(cardRoot, outcome);
        files.folder();
        if (choices.clockUtc) {
            files.twice(kClockFile, [&](const std::string& path) {
                return WriteClockSetting(path, *choices.clockUtc);
            });
        }
        files.file(kVideoNormFile, Switch(kVideoNormMagic, choices.pal, true));
        files.file(kRecModeFile, Switch(kRecModeMagic, !choices.continuousRecording));
        if (choices.gsensor) {
            files.gsensor(*choices.gsensor, choices.gsensorParameterSet);
        }
        files.twice(kSettingFile,
                    [&](const std::string& path) { return WriteSettingRecord(path, sector); });
        if (choices.frontSensitivity) {
            auto front = [&](const std::string& path) {
                return WriteCameraScript(path, choices.frontTable, *choices.frontSensitivity);
            };
            files.twice(kFrontCameraFile, front);
            files.twice(kFrontCameraAFile, front);
        }
        if (choices.rearSensitivity) {
            files.twice(kRearCameraFile, [&](const std::string& path) {
                return WriteCameraScript(path, choices.rearTable, *choices.rearSensitivity);
            });
        }
    }
    // The recorder takes 30 where the page offers "25(PAL) / 30(NTSC)"; only the setting record
    // above keeps the 25 the user chose.
    if (sector.frameRate == kPalFrameRate) {
        sector.frameRate = kNtscFrameRate;
    }
    if (!IsRawOnlyRoot(cardRoot)) {
        FileWriter files(cardRoot, outcome);
        files.twice(kVideoFile, [&](const std::string& path) {
            return WriteVideoRecord(path, sector.videoFormat, sector.frameRate,
                                    sector.videoQuality);
        });
        files.twice(kRearCamSwitchFile, Switch(kRearCamMagic, choices.rearCameraDisabled));
        files.file(kCarDataFile,
                   [&](const std::string& path) { return WriteCarData(path, choices.carData); });
        files.twice(kAudioSwitchFile, Switch(kAudioMagic, choices.audioOn, true));
        files.file(kDstSwitchFile, Switch(kDstMagic, choices.dstOn));
    }
    WriteSector(drive, sector, outcome);
    return outcome;
}

CardSaveOutcome WriteFactoryConfiguration(std::string_view cardRoot, int drive,
                                          const CameraTable& frontTable,
                                          const CameraTable& rearTable, ConfigSector& image,
                                          int gsensorParameterSet) {
    CardSaveOutcome outcome;
    MakeDefaultConfigSector(image, 0);
    if (!IsRawOnlyRoot(cardRoot)) {
        FileWriter files(cardRoot, outcome);
        files.folder();
        files.gsensor(GsensorChoice{0, 0}, gsensorParameterSet);
        auto front = [&](const std::string& path) {
            return WriteCameraScript(path, frontTable, 0);
        };
        files.twice(kFrontCameraFile, front);
        files.twice(kFrontCameraAFile, front);
        files.twice(kRearCameraFile,
                    [&](const std::string& path) { return WriteCameraScript(path, rearTable, 0); });
        files.twice(kVideoFile,
                    [](const std::string& path) { return WriteVideoRecord(path, 0, 0, 0); });
        files.twice(kRearCamSwitchFile, Switch(kRearCamMagic, false));
        files.file(kCarDataFile, [](const std::string& path) { return WriteCarData(path, {}); });
        files.twice(kAudioSwitchFile, Switch(kAudioMagic, false, true));
        files.file(kVideoNormFile, Switch(kVideoNormMagic, false, true));
        files.file(kDstSwitchFile, Switch(kDstMagic, false));
    }
    WriteSector(drive, image, outcome);
    // Identifier 0 is never the card's, so this read yields the default sector with the card's
    // identifier; its "invalid" answer is expected and not a failure of the factory write.
    (void)ReadConfigSector(drive, image);
    return outcome;
}

} // namespace tavero::recorderconfig
