#pragma once
// CCardDetection: the main window's part in finding and opening recorder cards - selecting a
// device, opening a card with its configuration sector and user check, the partition-table
// repair offer, and the reaction to devices arriving and leaving (automatic playback of cards
// and of backup files, the older-generation probe).
//
// Thread: UI thread only. The window (or a test) implements CardDetectionHost; device events
// come from a DeviceEventSource (the udev monitor, or a fake) through PumpDeviceEvents.

#include "cardtools/card_messages.h"
#include "cardtools/drive_scan.h"
#include "platform/udev_monitor.h"
#include "recorderconfig/config_sector.h"

#include <chrono>
#include <set>
#include <string>
#include <vector>

namespace tavero::cardtools {

// Device-change codes as the recorder's tools know them.
inline constexpr int kDeviceArrival = 0x8000;
inline constexpr int kDeviceRemoveComplete = 0x8004;
inline constexpr int kDeviceNodesChanged = 7;

// The backup dialog's source kind.
enum class BackupSourceKind { LocalDisk, RemovableStorage, BackupFile };

// What card detection needs from the main window and its dialogs.
class CardDetectionHost {
public:
    virtual ~CardDetectionHost() = default;
    // Settings read at the moment of use: "AutoPlay" (default 1), "AutoPlayDVD" (default 0),
    // "SetEDR_Speed".
    [[nodiscard]] virtual int AutoPlaySetting() = 0;
    [[nodiscard]] virtual int AutoPlayDvdSetting() = 0;
    [[nodiscard]] virtual std::uint32_t SpeedUnitSetting() = 0;
    [[nodiscard]] virtual BackupSourceKind SourceKind() = 0;
    // Text of the current entry of the other device list; empty when none is chosen.
    [[nodiscard]] virtual std::string CurrentOtherListText() = 0;
    // Opens "car2://N" in the player and loads its index; true when the index gave an entry.
    [[nodiscard]] virtual bool OpenCardSource(int drive) = 0;
    // The card is open: the backup dialog fills its list and shows the volume label.
    virtual void CardOpened(const std::string& deviceText) = 0;
    // Opens a raw backup file through the backup dialog.
    virtual void OpenBackupFile(const std::string& path) = 0;
    [[nodiscard]] virtual bool RecordingListEmpty() = 0;
    // Selects the first recording, hides the backup dialog and starts playback.
    virtual void StartPlayback() = 0;
    virtual void LaunchOldPlayer() = 0;
    // The format tool, when open, takes over the current drive number.
    virtual void SetFormatToolDrive(int drive) = 0;
};

class CCardDetection {
public:
    CCardDetection(CardDriveScanner& scanner, CardDetectionHost& host, CardToolPrompts& prompts);

    // The pauses of the device-change reaction (100 ms before it looks, 10 ms after each card
    // it opens); tests set them to zero.
    void SetDelays(std::chrono::milliseconds beforeScan, std::chrono::milliseconds afterOpen);

    [[nodiscard]] bool ScanDrives();
    // Stores the text and makes its drive the current one; false when it names no drive.
    [[nodiscard]] bool SelectDevice(const std::string& deviceText);
    // Selects the device, reads its configuration sector, checks the card's users and opens it
    // in the player. False only when the device cannot be selected; a refused user leaves the
    // card closed and still returns true.
    [[nodiscard]] bool OpenCard(const std::string& deviceText);
    // The reaction to a device event; hasData is false for an event that names no device.
    // Returns 0 when the event was ignored, 1 otherwise.
    int OnDeviceChange(int event, bool hasData);
    // Playback of the first backup file found on a CD-ROM or USB drive ("AutoPlayDVD").
    [[nodiscard]] bool AutoPlayBackupFile();

    [[nodiscard]] int CurrentDrive() const { return m_currentDrive; }
    void SetCurrentDrive(int drive) { m_currentDrive = drive; }
    [[nodiscard]] const std::string& SelectedDevice() const { return m_selectedDevice; }
    [[nodiscard]] const std::string& TakenDevice() const { return m_takenDevice; }
    [[nodiscard]] const std::vector<DeviceEntry>& RemovableList() const { return m_removable; }
    [[nodiscard]] const std::vector<DeviceEntry>& OtherList() const { return m_other; }
    [[nodiscard]] const recorderconfig::ConfigSector& Sector() const { return m_sector; }
    // True when the card last opened was unlocked by a user's name and password in this run
    // (false for a card without users, and for one whose sector could not be read).
    [[nodiscard]] bool Unlocked() const;
    // The card dialogs' user check on a sector just read from the card they are about to act
    // on: passes for a card without users and for one already unlocked in this run; otherwise
    // asks once and remembers a success.
    [[nodiscard]] bool CheckUsers(const recorderconfig::ConfigSector& sector);
    // The same without asking: true for a card without users or one unlocked in this run.
    [[nodiscard]] bool IsUnlocked(const recorderconfig::ConfigSector& sector) const;
    // The configuration page saved `sector` to the current card: it becomes the image, and the
    // users just set count as unlocked (the person who set them is not asked for them again).
    void ConfigurationSaved(const recorderconfig::ConfigSector& sector);

private:
    CardDriveScanner& m_scanner;
    CardDetectionHost& m_host;
    CardToolPrompts& m_prompts;
    std::chrono::milliseconds m_beforeScan{100};
    std::chrono::milliseconds m_afterOpen{10};

    int m_currentDrive = -1;
    std::string m_selectedDevice;
    // The logical drives present when a card was taken for playback, and that card's text.
    std::set<std::string> m_takenDrives;
    std::string m_takenDevice;
    std::vector<DeviceEntry> m_removable;
    std::vector<DeviceEntry> m_other;
    recorderconfig::ConfigSector m_sector;
    // The cards unlocked in this run. A card is its disk identifier together with its users:
    // freshly formatted cards share identifiers, and a card whose users changed is asked again.
    [[nodiscard]] static std::string CardIdentity(const recorderconfig::ConfigSector& sector);
    std::set<std::string> m_unlockedCards;
    bool m_sectorValid = false;
};

// Hands every waiting event of the source to OnDeviceChange: additions as arrivals, removals as
// removal-complete events, other changes as "device nodes changed" with data.
void PumpDeviceEvents(platform::DeviceEventSource& source, CCardDetection& detection);

} // namespace tavero::cardtools
