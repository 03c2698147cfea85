#pragma once
// Taking a card away from the desktop before the card tools overwrite it: every file system
// mounted from the card's disk or its partitions is unmounted through the platform's unmount
// service (UDisks2 or umount2), and the mount table is read again until none is left. A card
// with a device-mapper or RAID device built on it (an encrypted partition, an LVM volume) is
// not released: that stack is the person's to take down.
//
// Thread: UI thread (UDisks may ask the person to authorise the unmount).

#include "cardtools/drive_scan.h"
#include "platform/unmount_service.h"

#include <string>
#include <vector>

namespace tavero::cardtools {

// The file systems mounted from the whole disk diskName or one of its partitions, one entry per
// mount point, in mount-table order.
[[nodiscard]] std::vector<platform::MountedFileSystem>
MountedFileSystemsOfDisk(const platform::SystemRoots& roots,
                         const std::vector<platform::MountEntry>& table,
                         const std::string& diskName);

// Unmounts everything mounted from diskName. True when nothing of it is mounted any more (also
// when nothing was); false with the reason in why when a file system stays mounted (busy, not
// allowed, no service) or a mapping is built on the disk. service may be null: then a mounted
// card cannot be released.
[[nodiscard]] bool ReleaseCard(const platform::SystemRoots& roots, const std::string& diskName,
                               platform::UnmountService* service, std::string& why);

} // namespace tavero::cardtools
