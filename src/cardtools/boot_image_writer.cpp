#include "cardtools/boot_image_writer.h"

#include "cardtools/disk_layout.h"
#include "platform/block_devices.h"
#include "platform/program_paths.h"
#include "platform/system_disks.h"
#include "store/boot_image.h"
#include "store/card_layout.h"
#include "store/sto_reader.h"

#include <array>
#include <vector>

namespace tavero::cardtools {
namespace {

constexpr int kBootImageAttempts = 3;
constexpr std::uint32_t kZeroSectorsBeforeRetry = 64;
constexpr std::int64_t kOlderCardMarkerOffset = 0x7D82001;
constexpr std::array<std::uint8_t, 4> kOlderCardMarker = {0x00, 0x41, 0x46, 0x53};

void SetError(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

} // namespace

bool DeviceHoldsProgram(const std::string& deviceText, int drive, CardDriveScanner& scanner) {
    const platform::DiskSet programDisks = scanner.DisksOfPath(platform::executablePath());
    if (programDisks.disks.empty()) {
        return false;
    }
    platform::DiskSet disks = scanner.DisksOfDrive(drive);
    if (disks.disks.empty() && !IsDevicePathText(deviceText)) {
        // A mounted card whose drive is an image file: the disk under its mount point.
        platform::MountEntry mount;
        if (scanner.FindMount(deviceText, mount)) {
            platform::StorageResolver resolver(scanner.roots());
            (void)resolver.load();
            disks = resolver.DisksOfMount(mount);
        }
    }
    return disks.intersects(programDisks);
}

namespace {

enum class Attempt { Done, Failed, Retry };

// One attempt of writing the image on an open card; the first deletes the partition table,
// later ones clear the first 64 sectors.
Attempt WriteImageOnce(store::CStoReader& card, int attempt, std::string* error) {
    const std::span<const std::uint8_t> image = store::BootImage();
    if (attempt == 0) {
        const std::array<std::uint8_t, store::kSectorSize> zero{};
        if (!card.Seek(0, store::SeekOrigin::Begin) ||
            !card.Write(zero.data(), store::kSectorSize)) {
            SetError(error, "cannot delete the partition table: " + card.LastError());
            return Attempt::Failed;
        }
    } else {
        const std::vector<std::uint8_t> zeros(kZeroSectorsBeforeRetry * store::kSectorSize, 0);
        (void)card.Seek(0, store::SeekOrigin::Begin);
        (void)card.Write(zeros.data(), static_cast<std::uint32_t>(zeros.size()));
    }
    if (card.Seek(0, store::SeekOrigin::Begin) &&
        card.Write(image.data(), static_cast<std::uint32_t>(image.size())) && card.Sync()) {
        return Attempt::Done;
    }
    SetError(error, "cannot write the boot image: " + card.LastError());
    return Attempt::Retry;
}

} // namespace

bool WriteBootImageTo(store::CStoReader& card, CardToolPrompts& prompts, std::string* error) {
    if (store::BootImage().size() != store::kBootImageSize) {
        SetError(error, "the boot image is missing");
        return false;
    }
    for (int attempt = 0; attempt < kBootImageAttempts; ++attempt) {
        switch (WriteImageOnce(card, attempt, error)) {
        case Attempt::Done:
            return true;
        case Attempt::Failed:
            return false;
        case Attempt::Retry:
            break;
        }
    }
    prompts.ShowMessage(kMsgReinsert);
    return false;
}

bool WriteBootImage(const std::string& deviceText, int drive, bool check, CardDriveScanner& scanner,
                    CardToolPrompts& prompts, std::string* error) {
    if (store::BootImage().size() != store::kBootImageSize) {
        SetError(error, "the boot image is missing");
        return false;
    }
    for (int attempt = 0; attempt < kBootImageAttempts; ++attempt) {
        store::CStoReader card;
        if (!card.OpenPhysicalDrive(drive, store::StoAccess::ReadWrite)) {
            SetError(error, card.LastError());
            return false;
        }
        if (attempt == 0 && check) {
            std::array<std::uint8_t, store::kSectorSize> sector0{};
            if (!card.Read(sector0.data(), store::kSectorSize)) {
                SetError(error, "cannot read the partition table");
                return false;
            }
            if (store::PartitionTableMatchesBootImage(sector0)) {
                return true;
            }
            if (DeviceHoldsProgram(deviceText, drive, scanner)) {
                prompts.ShowMessage(kMsgCopyPlayerToLocal);
                SetError(error, "the program runs from this disk");
                return false;
            }
            if (!prompts.AskYesNo(kQuestionForceFormat, "")) {
                SetError(error, "not confirmed");
                return false;
            }
        }
        const Attempt result = WriteImageOnce(card, attempt, error);
        card.Close();
        // The kernel learns the new partition; a refusal (a partition still mounted) only
        // delays that until the card is inserted again.
        std::string reread;
        (void)RereadPartitionTableOfDrive(drive, reread);
        if (result == Attempt::Done) {
            return true;
        }
        if (result == Attempt::Failed) {
            return false;
        }
    }
    prompts.ShowMessage(kMsgReinsert);
    return false;
}

bool ProbeOlderCard(int drive) {
    store::CStoReader reader;
    if (!reader.OpenPhysicalDrive(drive, store::StoAccess::Read)) {
        return false;
    }
    // The marker lies one byte into a sector; whole sectors are read around it.
    const std::int64_t sectorStart =
        kOlderCardMarkerOffset / store::kSectorSize * store::kSectorSize;
    std::array<std::uint8_t, 2 * store::kSectorSize> sectors{};
    if (!reader.Seek(sectorStart, store::SeekOrigin::Begin) ||
        !reader.Read(sectors.data(), static_cast<std::uint32_t>(sectors.size()))) {
        return false;
    }
    const auto at = static_cast<std::size_t>(kOlderCardMarkerOffset - sectorStart);
    return std::equal(kOlderCardMarker.begin(), kOlderCardMarker.end(),
                      sectors.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace tavero::cardtools
