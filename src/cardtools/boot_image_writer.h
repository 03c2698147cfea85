#pragma once
// Writing the recorder's boot image (partition table and empty FAT16 configuration partition)
// to the front of a card, and the probe for cards of the recorder's older generation.
//
// Thread: called on the UI thread (card detection) or the format tool's thread; the prompts are
// only used on the check path, which runs on the UI thread.

#include "cardtools/card_messages.h"
#include "cardtools/drive_scan.h"

#include <string>

namespace tavero::store {
class CStoReader;
}

namespace tavero::cardtools {

// Writes the 256 KiB boot image at offset 0 of drive `drive` (opened read/write, shared).
// With check, the card's partition table is compared first: a match writes nothing and passes;
// a mismatch is refused outright when the program runs from that disk, and otherwise written
// only after the person agrees. Up to three attempts; after the third failed write
// kMsgReinsert is shown. error (optional) receives the reason of a failure.
[[nodiscard]] bool WriteBootImage(const std::string& deviceText, int drive, bool check,
                                  CardDriveScanner& scanner, CardToolPrompts& prompts,
                                  std::string* error = nullptr);

// The writing part alone, on a card the caller holds (the format tool's exclusive handle): the
// partition table is deleted, the image written and synced; up to three attempts, each retry
// after 64 zero sectors; kMsgReinsert after the third. The kernel's view of the partitions is
// the caller's to renew once it lets go of the card.
[[nodiscard]] bool WriteBootImageTo(store::CStoReader& card, CardToolPrompts& prompts,
                                    std::string* error = nullptr);

// True when the drive carries the older generation's marker: bytes 00 41 46 53 at byte
// 0x7D82001. Read-only; false for drives that cannot be read there.
[[nodiscard]] bool ProbeOlderCard(int drive);

// True when the disk behind the device text holds the running program.
[[nodiscard]] bool DeviceHoldsProgram(const std::string& deviceText, int drive,
                                      CardDriveScanner& scanner);

} // namespace tavero::cardtools
