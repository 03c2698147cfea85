#include "cardtools/format_tool.h"

#include "cardtools/boot_image_writer.h"
#include "cardtools/card_release.h"
#include "cardtools/disk_layout.h"
#include "cardtools/fat_label.h"
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
    releaseCard();
}

void CFormatTool::SetDelays(std::chrono::milliseconds settle,
                            std::chrono::milliseconds beforeFileSystem) {
    m_settleDelay = settle;
    m_fileSystemDelay = beforeFileSystem;
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

void CFormatTool::fail(FormatState state, std::string why, std::string_view message,
                       Teller teller) {
    m_state = static_cast<int>(state);
    {
        std::lock_guard guard(m_errorLock);
        m_error = std::move(why);
    }
    if (message.empty()) {
        return;
    }
    if (teller == Teller::Prompts) {
        m_prompts.ShowMessage(message);
    } else {
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

bool CFormatTool::checkSize(store::CStoReader& card, Teller teller) {
    store::DiskInfo info;
    std::string why;
    if (!store::ReadDiskInfo(card, info, &why) && info.blockCount <= kMinimumBlocks) {
        fail(FormatState::TooSmall, "not a recorder card and too small for one", kMsgTooLowSpace,
             teller);
        return false;
    }
    // The zero fill reaches 0x17000000; a smaller drive cannot hold the recorder's layout, and
    // an image file must not grow.
    if (card.Size() < store::kFormatFillEnd) {
        fail(FormatState::TooSmall, "the drive is smaller than the recorder's layout",
             kMsgTooLowSpace, teller);
        return false;
    }
    return true;
}

bool CFormatTool::checkSizeOfDrive(int drive) {
    store::CStoReader probe;
    if (!probe.OpenPhysicalDrive(drive, store::StoAccess::Read)) {
        fail(FormatState::NoDevice, probe.LastError(), kMsgCannotOpen, Teller::Prompts);
        return false;
    }
    return checkSize(probe, Teller::Prompts);
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

bool CFormatTool::takeCard(int drive) {
    // The desktop's mounts go first: while a partition is mounted the kernel refuses the
    // exclusive open, and writing under a mounted file system would corrupt it.
    std::string why;
    if (!ReleaseCard(m_scanner.roots(), m_scanner.DiskNameOfDrive(drive), m_unmount, why)) {
        fail(FormatState::DriveBusy, why, kMsgCloseFiles, Teller::Prompts);
        return false;
    }
    auto card = std::make_unique<store::CStoReader>();
    if (!card->OpenPhysicalDriveExclusive(drive)) {
        fail(FormatState::DriveBusy, "the drive is in use: " + card->LastError(), kMsgCloseFiles,
             Teller::Prompts);
        return false;
    }
    m_card = std::move(card);
    return true;
}

void CFormatTool::releaseCard() {
    if (m_card) {
        (void)m_card->Sync();
        m_card.reset();
    }
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
    Wait();
    m_bootImageWritten = false;
    const int drive = ChooseDevice(kQuestionFormat, deviceText);
    if (drive < 0 || !checkSizeOfDrive(drive) || !checkCardUsers(drive) || !takeCard(drive)) {
        return false;
    }
    if (m_writeBootImage || IsDevicePathText(deviceText)) {
        std::string why;
        if (!WriteBootImageTo(*m_card, m_prompts, &why)) {
            fail(FormatState::WriteFailed, "writing the boot image failed: " + why);
            releaseCard();
            return false;
        }
        m_bootImageWritten = true;
    }
    return startWorker(&CFormatTool::FormatWorker);
}

bool CFormatTool::StartRestore(const std::string& deviceText) {
    if (Busy()) {
        return false;
    }
    Wait();
    const int drive = ChooseDevice(kQuestionRestore, deviceText);
    if (drive < 0 || !checkCardUsers(drive) || !takeCard(drive)) {
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
    std::this_thread::sleep_for(m_settleDelay);
    {
        store::CStoReader probe;
        if (!probe.OpenPhysicalDrive(drive, store::StoAccess::Read)) {
            fail(FormatState::NoDevice, probe.LastError(), kMsgCannotOpen);
            return false;
        }
        if (!checkSize(probe, Teller::Progress)) {
            return false;
        }
    }
    store::CStoReader card;
    if (!card.OpenPhysicalDriveExclusive(drive)) {
        fail(FormatState::DriveBusy, "the drive is in use: " + card.LastError(),
             share != 0.8 ? kMsgCloseFiles : std::string_view{});
        return false;
    }
    return formatArea(card, share);
}

bool CFormatTool::formatArea(store::CStoReader& card, double share) {
    store::DiskInfo oldInfo;
    std::uint32_t newId = store::kDefaultDiskId;
    if (store::ReadDiskInfo(card, oldInfo)) {
        newId = oldInfo.diskId + kDiskIdStep;
    }
    // Kept across the format: read before the new identifier makes it look foreign.
    recorderconfig::ConfigSector sector;
    (void)recorderconfig::ReadConfigSector(card, sector);

    store::DiskInfo newInfo;
    store::MakeDefaultDiskInfo(card, newInfo, newId);
    if (!store::WriteDiskInfo(card, newInfo, store::kDiskInfoOffsetA)) {
        fail(FormatState::WriteFailed, "cannot write disk information copy A: " + card.LastError(),
             kMsgWriteFailed);
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

void CFormatTool::labelConfigurationPartition(store::CStoReader& card) {
    // The recorder's tools label the card in every case; a card whose first partition holds no
    // FAT keeps its recorder format all the same, so a failure here is only noted.
    std::int64_t offset = 0;
    std::string why;
    if (!ConfigurationPartitionOffset(card, offset, why) ||
        !WriteFatVolumeLabel(card, offset, kVolumeLabel, why) || !card.Sync()) {
        std::lock_guard guard(m_errorLock);
        m_error = "the volume label was not written: " + why;
    }
}

void CFormatTool::FormatWorker() {
    setPercent(5);
    std::this_thread::sleep_for(m_settleDelay);
    const bool ok = formatArea(*m_card, 0.9);
    if (ok) {
        {
            std::lock_guard guard(m_errorLock);
            m_error.clear();
        }
        labelConfigurationPartition(*m_card);
    }
    releaseCard();
    if (m_bootImageWritten) {
        // The kernel learns the new partition table now that the card is let go of.
        std::string reread;
        (void)RereadPartitionTableOfDrive(m_drive, reread);
    }
    if (ok) {
        setPercent(100);
        m_progress.OnMessage(kMsgFormatFinished);
    }
    m_progress.OnFinished(ok, State());
}

bool CFormatTool::restoreLayout(store::CStoReader& card) {
    const std::int64_t size = card.Size();
    // The recorder's tools wipe up to 0x17000000; a smaller card is wiped to its end, never
    // beyond.
    const int wipeWrites = static_cast<int>(
        std::clamp<std::int64_t>((size - store::kDiskInfoOffsetA) / kMiB, 0, kRestoreWipeWrites));
    const std::vector<std::uint8_t> zeros(kRestoreZeroSectors * store::kSectorSize, 0);
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
    return true;
}

bool CFormatTool::makeRestoreFileSystem(std::int64_t size) {
    // The file system is made only on a card whose new (or deleted) partition table the kernel
    // has taken over: making it while the kernel still holds the old partitions would write
    // under them. mkfs.fat opens the device exclusively itself, so a busy card fails there.
    std::string why;
    if (!RereadPartitionTableOfDrive(m_drive, why)) {
        fail(FormatState::WriteFailed,
             "the kernel keeps the card's old partitions (" + why +
                 "); the file system was not made",
             kMsgFileSystemFailed);
        return false;
    }
    const bool partitioned = m_mode == DeviceListMode::LocalDisk;
    if (!partitioned && IsDevicePathText(m_deviceText)) {
        return true; // a card reached only raw is only wiped
    }
    std::this_thread::sleep_for(m_fileSystemDelay);
    const auto path = platform::ResolveDrivePath(m_drive);
    const std::uint32_t sectors =
        partitioned ? RestorePartitionSectors(static_cast<std::uint64_t>(size) / 512) : 0;
    if (!path || (partitioned && sectors == 0) ||
        !MakeFatFileSystem(*path, partitioned ? kRestorePartitionFirstLba : 0, sectors, partitioned,
                           "", why)) {
        fail(FormatState::WriteFailed, "making the file system failed: " + why,
             kMsgFileSystemFailed);
        return false;
    }
    return true;
}

void CFormatTool::RestoreWorker() {
    setPercent(5);
    std::this_thread::sleep_for(m_settleDelay);
    // A card too small for the recorder's format is wiped all the same; a failed write stops
    // here.
    if (checkSize(*m_card, Teller::Progress)) {
        (void)formatArea(*m_card, 0.8);
    }
    const std::int64_t size = m_card->Size();
    const bool wiped = State() != FormatState::WriteFailed && restoreLayout(*m_card);
    releaseCard();
    if (!wiped || !makeRestoreFileSystem(size)) {
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
