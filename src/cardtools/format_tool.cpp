#include "cardtools/format_tool.h"

#include "cardtools/boot_image_writer.h"
#include "cardtools/disk_layout.h"
#include "platform/drive_table.h"
#include "platform/raw_file.h"
#include "recorderconfig/card_users.h"
#include "recorderconfig/config_sector.h"
#include "store/card_layout.h"
#include "store/sto_reader.h"

#include <algorithm>
#include <vector>

namespace tavero::cardtools {
namespace {

constexpr std::uint32_t kMiB = 0x100000;
// A card whose disk information cannot be read is refused at this many blocks or fewer.
constexpr std::uint16_t kMinimumBlocks = 128;
constexpr std::uint32_t kDiskIdStep = 5;
// The format fill: 0x4100000 up to 0x17000000 in 303 writes of 1 MiB.
constexpr int kFormatFillWrites =
    static_cast<int>((store::kFormatFillEnd - store::kFormatFillStart) / kMiB);
// Restore wipes the whole recorder area from copy A of the disk information on: 304 writes.
constexpr int kRestoreWipeWrites =
    static_cast<int>((store::kFormatFillEnd - store::kDiskInfoOffsetA) / kMiB);
constexpr std::uint32_t kRestoreZeroSectors = 64;
constexpr const char* kVolumeLabel = "tavero-SD";

static_assert(kFormatFillWrites == 303 && kRestoreWipeWrites == 304);

} // namespace

CFormatTool::CFormatTool(CardDriveScanner& scanner, CardToolPrompts& prompts,
                         FormatProgress& progress)
    : m_scanner(scanner), m_prompts(prompts), m_progress(progress) {}

CFormatTool::~CFormatTool() {
    Wait();
}

void CFormatTool::SetDelays(std::chrono::milliseconds settle,
                            std::chrono::milliseconds beforeFileSystem) {
    m_settleDelay = settle;
    m_fileSystemDelay = beforeFileSystem;
}

void CFormatTool::SetFactoryConfigurationWriter(
    std::function<void(const std::string&, int)> writer) {
    m_factoryConfiguration = std::move(writer);
}

void CFormatTool::Wait() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

std::string CFormatTool::LastError() const {
    std::lock_guard guard(m_errorLock);
    return m_error;
}

void CFormatTool::setPercent(int percent) {
    m_percent = percent;
    m_progress.OnPercent(percent);
}

void CFormatTool::fail(FormatState state, std::string why, std::string_view message) {
    m_state = static_cast<int>(state);
    {
        std::lock_guard guard(m_errorLock);
        m_error = std::move(why);
    }
    if (!message.empty()) {
        m_progress.OnMessage(message);
    }
}

int CFormatTool::ChooseDevice(std::string_view question, const std::string& deviceText) {
    auto refuse = [&](std::string_view message, std::string why) {
        m_prompts.ShowMessage(message);
        std::lock_guard guard(m_errorLock);
        m_error = std::move(why);
        return -1;
    };
    {
        std::lock_guard guard(m_errorLock);
        m_error.clear();
    }
    if (deviceText.empty()) {
        return refuse(kMsgSelectDevice, "no device chosen");
    }
    const int drive = m_scanner.DriveNumberOfDeviceText(deviceText);
    if (drive < 0) {
        return refuse(kMsgCannotOpen, "not a drive from 0 to 9 (give it with --drive N=PATH)");
    }
    if (std::string why; m_scanner.DriveHoldsSystem(drive, &why)) {
        return refuse(kMsgSystemDisk, why);
    }
    if (DeviceHoldsProgram(deviceText, drive, m_scanner)) {
        return refuse(kMsgPlayerOnDisk, "this disk holds the running program");
    }
    const auto path = platform::ResolveDrivePath(drive);
    platform::RawFile file;
    if (!path || !file.open(*path, platform::OpenMode::ReadOnly) || file.size() < 0) {
        return refuse(kMsgCannotOpen, path ? file.error() : "no such drive");
    }
    const std::int64_t sizeMiB = file.size() / 1024 / 1024;
    file.close();
    const std::string title = deviceText + " (" + std::to_string(sizeMiB) + " MB)";
    if (!m_prompts.AskYesNo(question, " - " + title + "?")) {
        std::lock_guard guard(m_errorLock);
        m_error = "not confirmed";
        return -1;
    }
    m_deviceText = deviceText;
    m_deviceTitle = title;
    m_root = deviceText;
    m_drive = drive;
    return drive;
}

bool CFormatTool::checkCardUsers(int drive) {
    // A sector that cannot be read comes back as the default sector, which has no users.
    recorderconfig::ConfigSector sector;
    (void)recorderconfig::ReadConfigSector(drive, sector);
    if (!recorderconfig::CheckCardPassword(sector, m_prompts)) {
        std::lock_guard guard(m_errorLock);
        m_error = "the card's user name and password were not given";
        return false;
    }
    return true;
}

bool CFormatTool::startWorker(void (CFormatTool::*work)()) {
    Wait();
    m_busy = true;
    m_percent = 0;
    m_state = static_cast<int>(FormatState::Refused);
    m_worker = std::thread([this, work] {
        (this->*work)();
        m_busy = false;
    });
    return true;
}

bool CFormatTool::StartFormat(const std::string& deviceText) {
    if (Busy()) {
        return false;
    }
    const int drive = ChooseDevice(kQuestionFormat, deviceText);
    if (drive < 0) {
        return false;
    }
    store::DiskInfo info;
    if (!store::ReadDiskInfo(drive, info) && info.blockCount <= kMinimumBlocks) {
        m_prompts.ShowMessage(kMsgTooLowSpace);
        fail(FormatState::TooSmall, "not a recorder card and too small for one");
        return false;
    }
    // The users are asked before anything is written: a refused card stays as it was.
    if (!checkCardUsers(drive)) {
        return false;
    }
    if (m_writeBootImage || IsDevicePathText(deviceText)) {
        std::string why;
        if (!WriteBootImage(deviceText, drive, false, m_scanner, m_prompts, &why)) {
            fail(FormatState::WriteFailed, "writing the boot image failed: " + why);
            return false;
        }
    }
    return startWorker(&CFormatTool::FormatWorker);
}

bool CFormatTool::StartRestore(const std::string& deviceText) {
    if (Busy()) {
        return false;
    }
    const int drive = ChooseDevice(kQuestionRestore, deviceText);
    if (drive < 0 || !checkCardUsers(drive)) {
        return false;
    }
    return startWorker(&CFormatTool::RestoreWorker);
}

bool CFormatTool::zeroFill(store::CStoReader& card, std::int64_t from, int megabytes,
                           const std::function<int(int)>& percentAfter) {
    const std::vector<std::uint8_t> zeros(kMiB, 0);
    if (!card.Seek(from, store::SeekOrigin::Begin)) {
        return false;
    }
    for (int i = 0; i < megabytes; ++i) {
        if (!card.Write(zeros.data(), kMiB)) {
            return false;
        }
        setPercent(percentAfter(i + 1));
    }
    return true;
}

bool CFormatTool::FormatRecordingArea(int drive, double share) {
    setPercent(5);
    m_state = static_cast<int>(FormatState::Refused);
    if (share <= 0.899 && m_factoryConfiguration) {
        m_factoryConfiguration(m_root, drive);
    }
    std::this_thread::sleep_for(m_settleDelay);

    store::DiskInfo oldInfo;
    std::string why;
    std::uint32_t newId = store::kDefaultDiskId;
    if (store::ReadDiskInfo(drive, oldInfo, &why)) {
        newId = oldInfo.diskId + kDiskIdStep;
    } else if (oldInfo.blockCount <= kMinimumBlocks) {
        fail(FormatState::TooSmall, "not a recorder card (" + why + ") and too small for one",
             kMsgTooLowSpace);
        return false;
    }
    {
        // The zero fill reaches 0x17000000; a smaller drive cannot hold the recorder's layout,
        // and an image file must not grow.
        store::CStoReader probe;
        if (!probe.OpenPhysicalDrive(drive, store::StoAccess::Read)) {
            fail(FormatState::NoDevice, probe.LastError(), kMsgCannotOpen);
            return false;
        }
        if (probe.Size() < store::kFormatFillEnd) {
            fail(FormatState::TooSmall, "the drive is smaller than the recorder's layout",
                 kMsgTooLowSpace);
            return false;
        }
    }
    // Kept across the format: read before the new identifier makes it look foreign.
    recorderconfig::ConfigSector sector;
    (void)recorderconfig::ReadConfigSector(drive, sector);

    store::DiskInfo newInfo;
    if (!store::FormatDiskInfo(drive, newInfo, newId) ||
        !store::WriteDiskInfo(drive, newInfo, store::kDiskInfoOffsetA)) {
        fail(FormatState::WriteFailed, "cannot write disk information copy A", kMsgWriteFailed);
        return false;
    }
    store::CStoReader card;
    if (!card.OpenPhysicalDriveExclusive(drive)) {
        fail(FormatState::DriveBusy, "the drive is in use: " + card.LastError(),
             share != 0.8 ? kMsgCloseFiles : std::string_view{});
        return false;
    }
    setPercent(static_cast<int>(share * 20));
    if (!zeroFill(card, store::kFormatFillStart, kFormatFillWrites,
                  [share](int i) { return static_cast<int>(share * (20 + i * 80 / 304)); })) {
        fail(FormatState::WriteFailed,
             "zero fill failed at byte " + std::to_string(card.Position()) + ": " +
                 card.LastError(),
             kMsgWriteFailed);
        return false;
    }
    sector.diskId = newId;
    std::string sectorError;
    if (!recorderconfig::WriteConfigSector(card, sector, &sectorError)) {
        fail(FormatState::WriteFailed, "cannot write the configuration sector: " + sectorError,
             kMsgWriteFailed);
        return false;
    }
    if (!store::WriteDiskInfo(card, newInfo, store::kDiskInfoOffsetB) || !card.Sync()) {
        fail(FormatState::WriteFailed, "cannot write disk information copy B: " + card.LastError(),
             kMsgWriteFailed);
        return false;
    }
    m_state = static_cast<int>(FormatState::Done);
    return true;
}

void CFormatTool::FormatWorker() {
    const bool ok = FormatRecordingArea(m_drive, 0.9);
    if (ok) {
        // The label goes on the mounted partition; a card reached only raw keeps its label.
        platform::MountEntry mount;
        std::string why;
        if (!IsDevicePathText(m_deviceText) && m_scanner.FindMount(m_deviceText, mount)) {
            (void)SetVolumeLabel(mount.source, kVolumeLabel, why);
        }
        setPercent(100);
        m_progress.OnMessage(kMsgFormatFinished);
        std::lock_guard guard(m_errorLock);
        m_error.clear();
    }
    m_progress.OnFinished(ok, State());
}

bool CFormatTool::restoreLayout() {
    store::CStoReader card;
    if (!card.OpenPhysicalDrive(m_drive, store::StoAccess::ReadWrite)) {
        fail(FormatState::DriveBusy, card.LastError(), kMsgCannotOpen);
        return false;
    }
    const std::int64_t size = card.Size();
    // The design wipes up to 0x17000000; a smaller card is wiped to its end, never beyond.
    const int wipeWrites = static_cast<int>(
        std::clamp<std::int64_t>((size - store::kDiskInfoOffsetA) / kMiB, 0, kRestoreWipeWrites));
    const std::vector<std::uint8_t> zeros(kRestoreZeroSectors * store::kSectorSize, 0);
    std::string reread;
    if (!card.Seek(0, store::SeekOrigin::Begin) ||
        !card.Write(zeros.data(), static_cast<std::uint32_t>(zeros.size())) ||
        !zeroFill(card, store::kDiskInfoOffsetA, wipeWrites,
                  [](int i) { return static_cast<int>(80 + 0.2 * (i * 100 / 304)); })) {
        fail(FormatState::WriteFailed,
             "wiping failed at byte " + std::to_string(card.Position()) + ": " + card.LastError(),
             kMsgWriteFailed);
        return false;
    }
    if (m_mode == DeviceListMode::LocalDisk) {
        const auto mbr =
            BuildRestoreMasterBootRecord(static_cast<std::uint64_t>(size) / store::kSectorSize);
        if (!card.Seek(0, store::SeekOrigin::Begin) ||
            !card.Write(mbr.data(), store::kSectorSize)) {
            fail(FormatState::WriteFailed, "cannot write the partition table: " + card.LastError(),
                 kMsgWriteFailed);
            return false;
        }
    }
    if (!card.Sync()) {
        fail(FormatState::WriteFailed, card.LastError(), kMsgWriteFailed);
        return false;
    }
    card.Close();
    // The kernel may refuse while a partition is still mounted; the new table is then seen
    // when the card is inserted again.
    (void)RereadPartitionTableOfDrive(m_drive, reread);

    const bool partitioned = m_mode == DeviceListMode::LocalDisk;
    if (partitioned || !IsDevicePathText(m_deviceText)) {
        std::this_thread::sleep_for(m_fileSystemDelay);
        const auto path = platform::ResolveDrivePath(m_drive);
        std::string why;
        const std::uint32_t sectors =
            partitioned ? RestorePartitionSectors(static_cast<std::uint64_t>(size) / 512) : 0;
        if (!path || (partitioned && sectors == 0) ||
            !MakeFatFileSystem(*path, partitioned ? kRestorePartitionFirstLba : 0, sectors,
                               partitioned, "", why)) {
            fail(FormatState::WriteFailed, "making the file system failed: " + why,
                 kMsgFileSystemFailed);
            return false;
        }
    }
    return true;
}

void CFormatTool::RestoreWorker() {
    // A card that is too small or still in use for the recorder's format is wiped all the
    // same; a failed write stops here.
    (void)FormatRecordingArea(m_drive, 0.8);
    if (State() == FormatState::WriteFailed || !restoreLayout()) {
        m_progress.OnFinished(false, State());
        return;
    }
    m_state = static_cast<int>(FormatState::Done);
    setPercent(100);
    m_progress.OnMessage(kMsgRestoreFinished);
    {
        std::lock_guard guard(m_errorLock);
        m_error.clear();
    }
    m_progress.OnFinished(true, FormatState::Done);
}

} // namespace tavero::cardtools
