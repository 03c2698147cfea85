#pragma once
// CFormatTool: the format tool's work without its window. "Format" prepares a card for the
// recorder (new disk information, empty index and data areas, the configuration sector kept with
// the new disk identifier, optionally a fresh boot image, the label "tavero-SD" on the
// configuration partition); "Restore" wipes the recorder's structures and gives the card back to
// ordinary use (a FAT file system made by mkfs.fat).
//
// Every check comes before the first byte is written: the device, the system and program
// disks, the card's size, its users, then (once the person confirmed) the card's file systems
// are unmounted and the card is opened exclusively. That handle is held until the work is done,
// so neither the desktop nor another program of ours can mount or open the card meanwhile.
//
// Thread: the object belongs to the UI thread. ChooseDevice, StartFormat and StartRestore run
// there (they ask questions through the prompts, and the unmount service may ask for
// authorisation); the long work runs on one worker thread that reports through FormatProgress.
// The destructor waits for the worker.

#include "cardtools/card_messages.h"
#include "cardtools/drive_scan.h"
#include "platform/unmount_service.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tavero::store {
class CStoReader;
}

namespace tavero::cardtools {

// Result of one operation, as the format tool's dialog shows it.
enum class FormatState {
    Refused = 0,
    NoDevice = 1,
    TooSmall = 2,
    DriveBusy = 3,
    WriteFailed = 4, // a write to the card failed: the card is not usable until formatted again
    Done = 7,
};

// Which device list the dialog has active; "Restore" repartitions only in LocalDisk mode.
enum class DeviceListMode { LocalDisk, RemovableStorage };

// Told by the worker thread; implementations hand the calls to their own thread.
class FormatProgress {
public:
    virtual ~FormatProgress() = default;
    virtual void OnPercent(int percent) = 0; // 0..100
    // A message box of the worker (an English key of card_messages.h).
    virtual void OnMessage(std::string_view englishText) = 0;
    // The operation ended; the dialog empties its device lists after a success.
    virtual void OnFinished(bool ok, FormatState state) = 0;
};

class CFormatTool {
public:
    CFormatTool(CardDriveScanner& scanner, CardToolPrompts& prompts, FormatProgress& progress);
    ~CFormatTool();
    CFormatTool(const CFormatTool&) = delete;
    CFormatTool& operator=(const CFormatTool&) = delete;

    // "Format FAT32 Data": ticked by default.
    void SetWriteBootImage(bool on) { m_writeBootImage = on; }
    void SetMode(DeviceListMode mode) { m_mode = mode; }
    // The pause before the recording area is touched (1000 ms) and before the file system is
    // made after a restore (100 ms); tests set both to zero.
    void SetDelays(std::chrono::milliseconds settle, std::chrono::milliseconds beforeFileSystem);
    // How the card's mounted file systems are unmounted (not owned; it outlives the tool).
    // Without one a mounted card is refused with kMsgCloseFiles.
    void SetUnmountService(platform::UnmountService* service) { m_unmount = service; }

    // Checks the device and asks for confirmation: the drive number, or -1 after a message
    // (or a No). Every disk of the running system and of the running program is refused.
    [[nodiscard]] int ChooseDevice(std::string_view question, const std::string& deviceText);

    // The "Format" and "Restore" buttons: checks on this thread, then the worker. False when the
    // operation was refused or not confirmed (nothing written); true when the worker started.
    [[nodiscard]] bool StartFormat(const std::string& deviceText);
    [[nodiscard]] bool StartRestore(const std::string& deviceText);
    // Waits for the worker; returns at once when none runs.
    void Wait();

    [[nodiscard]] bool Busy() const { return m_busy.load(); }
    [[nodiscard]] int Percent() const { return m_percent.load(); }
    [[nodiscard]] FormatState State() const { return static_cast<FormatState>(m_state.load()); }
    // Why the last operation failed, for logs and the command-line tool; empty after success.
    [[nodiscard]] std::string LastError() const;

    // The device text of the chosen device with " (N MB)" appended, and its card root.
    [[nodiscard]] const std::string& ChosenDeviceText() const { return m_deviceTitle; }
    [[nodiscard]] const std::string& CardRoot() const { return m_root; }

    // The recording-area steps on the calling thread, on drive n opened exclusively here (tests
    // use it; the workers run the same steps on the card StartFormat took). share is the
    // fraction of the progress bar they fill: 0.9 for Format, 0.8 for Restore.
    [[nodiscard]] bool FormatRecordingArea(int drive, double share);
    void FormatWorker();
    void RestoreWorker();

private:
    // Where a refusal is told: the prompts on the UI thread, the progress from the worker.
    enum class Teller { Prompts, Progress };

    [[nodiscard]] bool checkSize(store::CStoReader& card, Teller teller);
    [[nodiscard]] bool checkSizeOfDrive(int drive);
    [[nodiscard]] bool checkCardUsers(int drive);
    [[nodiscard]] bool takeCard(int drive);
    void releaseCard();
    [[nodiscard]] bool startWorker(void (CFormatTool::*work)());
    [[nodiscard]] bool formatArea(store::CStoReader& card, double share);
    [[nodiscard]] bool zeroFill(store::CStoReader& card, std::int64_t from, int megabytes,
                                const std::function<int(int)>& percentAfter);
    [[nodiscard]] bool restoreLayout(store::CStoReader& card);
    [[nodiscard]] bool makeRestoreFileSystem(std::int64_t size);
    void labelConfigurationPartition(store::CStoReader& card);
    void setPercent(int percent);
    void fail(FormatState state, std::string why, std::string_view message = {},
              Teller teller = Teller::Progress);

    CardDriveScanner& m_scanner;
    CardToolPrompts& m_prompts;
    FormatProgress& m_progress;

    // Settings and the chosen device: written on the UI thread while no worker runs, read by
    // the worker.
    bool m_writeBootImage = true;
    DeviceListMode m_mode = DeviceListMode::LocalDisk;
    std::chrono::milliseconds m_settleDelay{1000};
    std::chrono::milliseconds m_fileSystemDelay{100};
    platform::UnmountService* m_unmount = nullptr;
    std::string m_deviceText;
    std::string m_deviceTitle;
    std::string m_root;
    int m_drive = -1;
    // The card, opened exclusively by StartFormat/StartRestore; the worker owns it while it
    // runs and closes it at its end.
    std::unique_ptr<store::CStoReader> m_card;
    bool m_bootImageWritten = false;

    std::atomic<bool> m_busy{false};
    std::atomic<int> m_percent{0};
    std::atomic<int> m_state{0};
    mutable std::mutex m_errorLock;
    std::string m_error; // guarded by m_errorLock
    std::thread m_worker;
};

} // namespace tavero::cardtools
