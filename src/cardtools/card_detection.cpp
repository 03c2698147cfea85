#include "cardtools/card_detection.h"

#include "cardtools/boot_image_writer.h"
#include "recorderconfig/card_users.h"

#include <algorithm>
#include <filesystem>
#include <thread>

namespace tavero::cardtools {

CCardDetection::CCardDetection(CardDriveScanner& scanner, CardDetectionHost& host,
                               CardToolPrompts& prompts)
    : m_scanner(scanner), m_host(host), m_prompts(prompts) {}

void CCardDetection::SetDelays(std::chrono::milliseconds beforeScan,
                               std::chrono::milliseconds afterOpen) {
    m_beforeScan = beforeScan;
    m_afterOpen = afterOpen;
}

bool CCardDetection::ScanDrives() {
    return m_scanner.ScanDrives(m_removable, m_other);
}

bool CCardDetection::SelectDevice(const std::string& deviceText) {
    m_selectedDevice = deviceText;
    const int drive = m_scanner.DriveNumberOfDeviceText(deviceText);
    if (drive < 0) {
        return false;
    }
    m_currentDrive = drive;
    return true;
}

bool CCardDetection::OpenCard(const std::string& deviceText) {
    if (!SelectDevice(deviceText)) {
        return false;
    }
    m_sectorValid = recorderconfig::ReadConfigSector(m_currentDrive, m_sector);
    if (!m_sectorValid) {
        // No usable sector: this card opens as one without users (nothing is known of them),
        // and the speed display keeps the program's own unit. It unlocks nothing: not itself
        // once its sector reads again, and no other card.
        m_sector.magic = 0;
        m_sector.speedUnit = m_host.SpeedUnitSetting();
    } else if (recorderconfig::CardHasUsers(m_sector) &&
               m_unlockedCards.count(CardIdentity(m_sector)) == 0) {
        if (!recorderconfig::CheckCardPassword(m_sector, m_prompts)) {
            return true;
        }
        m_unlockedCards.insert(CardIdentity(m_sector));
    }
    if (m_host.OpenCardSource(m_currentDrive)) {
        // A card with recordings whose partition table is damaged is offered the repair.
        (void)WriteBootImage(deviceText, m_currentDrive, true, m_scanner, m_prompts);
    }
    m_host.CardOpened(deviceText);
    return true;
}

bool CCardDetection::CheckUsers(const recorderconfig::ConfigSector& sector) {
    if (IsUnlocked(sector)) {
        return true;
    }
    if (!recorderconfig::CheckCardPassword(sector, m_prompts)) {
        return false;
    }
    m_unlockedCards.insert(CardIdentity(sector));
    return true;
}

bool CCardDetection::IsUnlocked(const recorderconfig::ConfigSector& sector) const {
    return !recorderconfig::CardHasUsers(sector) ||
           m_unlockedCards.count(CardIdentity(sector)) != 0;
}

void CCardDetection::ConfigurationSaved(const recorderconfig::ConfigSector& sector) {
    m_sector = sector;
    m_sectorValid = true;
    if (recorderconfig::CardHasUsers(sector)) {
        m_unlockedCards.insert(CardIdentity(sector));
    }
}

std::string CCardDetection::CardIdentity(const recorderconfig::ConfigSector& sector) {
    std::string identity = std::to_string(sector.diskId) + ":";
    for (const auto* field :
         {&sector.user1Name, &sector.user1Password, &sector.user2Name, &sector.user2Password}) {
        identity.append(field->begin(), field->end());
    }
    return identity;
}

bool CCardDetection::Unlocked() const {
    return m_sectorValid && m_unlockedCards.count(CardIdentity(m_sector)) != 0;
}

bool CCardDetection::AutoPlayBackupFile() {
    if (m_host.AutoPlayDvdSetting() == 0) {
        return false;
    }
    m_currentDrive = -1;
    (void)ScanDrives();
    for (const DeviceEntry& entry : m_other) {
        if (entry.text.empty()) {
            return false;
        }
        if (IsDevicePathText(entry.text)) {
            continue; // a raw drive has no files
        }
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& file : std::filesystem::directory_iterator(entry.text, ec)) {
            const std::string name = file.path().filename().string();
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".sd") == 0 &&
                file.is_regular_file(ec)) {
                names.push_back(name);
            }
        }
        if (names.empty()) {
            continue;
        }
        std::sort(names.begin(), names.end());
        std::string root = entry.text;
        if (root.back() != '/') {
            root.push_back('/');
        }
        m_host.OpenBackupFile(root + names.front());
        if (!m_host.RecordingListEmpty()) {
            m_host.StartPlayback();
            return true;
        }
    }
    return false;
}

int CCardDetection::OnDeviceChange(int event, bool hasData) {
    if (event == kDeviceNodesChanged && !hasData) {
        return 0;
    }
    const std::string remembered = m_host.CurrentOtherListText();
    std::this_thread::sleep_for(m_beforeScan);
    bool probe = true;
    if (event == kDeviceArrival) {
        if (m_currentDrive != -1) {
            return 1;
        }
        const BackupSourceKind kind = m_host.SourceKind();
        if (m_host.AutoPlaySetting() != 1) {
            // only the older-card probe below
        } else if (remembered.empty() && kind == BackupSourceKind::RemovableStorage) {
            (void)ScanDrives();
            const std::vector<DeviceEntry> candidates = m_removable;
            for (const DeviceEntry& entry : candidates) {
                (void)OpenCard(entry.text);
                std::this_thread::sleep_for(m_afterOpen);
                if (!m_host.RecordingListEmpty()) {
                    m_takenDrives = m_scanner.LogicalDrives();
                    m_takenDevice = entry.text;
                    m_host.StartPlayback();
                    probe = false;
                    break;
                }
            }
            if (probe) {
                m_currentDrive = -1;
            }
        } else {
            if (remembered.empty() && kind == BackupSourceKind::LocalDisk) {
                m_currentDrive = -1;
                (void)ScanDrives();
                const std::vector<DeviceEntry> candidates = m_other;
                for (const DeviceEntry& entry : candidates) {
                    (void)OpenCard(entry.text);
                    if (!m_host.RecordingListEmpty()) {
                        break;
                    }
                }
            }
            if (AutoPlayBackupFile()) {
                probe = false;
            }
        }
    } else if (event == kDeviceRemoveComplete) {
        const std::set<std::string> now = m_scanner.LogicalDrives();
        std::set<std::string> changed;
        std::set_symmetric_difference(now.begin(), now.end(), m_takenDrives.begin(),
                                      m_takenDrives.end(), std::inserter(changed, changed.end()));
        if (!m_takenDevice.empty() && changed.count(m_takenDevice) != 0) {
            m_currentDrive = -1;
            m_takenDevice.clear();
        }
    }
    if (probe) {
        for (int n = 1; n <= static_cast<int>(m_other.size()); ++n) {
            if (ProbeOlderCard(n)) {
                m_host.LaunchOldPlayer();
                break;
            }
        }
    }
    m_host.SetFormatToolDrive(m_currentDrive);
    return 1;
}

void PumpDeviceEvents(platform::DeviceEventSource& source, CCardDetection& detection) {
    platform::DeviceEvent event;
    while (source.next(event)) {
        switch (event.action) {
        case platform::DeviceEvent::Action::Add:
            detection.OnDeviceChange(kDeviceArrival, true);
            break;
        case platform::DeviceEvent::Action::Remove:
            detection.OnDeviceChange(kDeviceRemoveComplete, true);
            break;
        case platform::DeviceEvent::Action::Change:
        case platform::DeviceEvent::Action::Other:
            detection.OnDeviceChange(kDeviceNodesChanged, true);
            break;
        }
    }
}

} // namespace tavero::cardtools
