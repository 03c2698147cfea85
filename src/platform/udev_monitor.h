#pragma once
// Block devices arriving and leaving, as the kernel's device manager announces them: the Linux
// counterpart of device-change notifications. The UI watches fd() (a QSocketNotifier) and drains
// next() when it becomes readable; tests feed a fake source with the same interface.
//
// Thread: owned by the thread that created it (the UI thread); not thread-safe.

#include <memory>
#include <string>

namespace tavero::platform {

struct DeviceEvent {
    enum class Action { Add, Remove, Change, Other };
    Action action = Action::Other;
    std::string kernelName; // "sdb", "sdb1"
    std::string devType;    // "disk" or "partition"
    std::string devNode;    // "/dev/sdb1"; may be empty on removal
};

class DeviceEventSource {
public:
    virtual ~DeviceEventSource() = default;
    // A descriptor that becomes readable when events wait; -1 when there is none.
    [[nodiscard]] virtual int fd() const = 0;
    // Takes the next waiting event without blocking; false when none waits.
    [[nodiscard]] virtual bool next(DeviceEvent& event) = 0;
};

// Events of the "block" subsystem from the device manager's netlink socket (libudev).
class UdevMonitor : public DeviceEventSource {
public:
    UdevMonitor();
    ~UdevMonitor() override;
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    // False with a reason in error() when the monitor cannot be set up (no netlink access in a
    // container, for example); the program then simply sees no device events.
    [[nodiscard]] bool open();
    [[nodiscard]] int fd() const override;
    [[nodiscard]] bool next(DeviceEvent& event) override;
    [[nodiscard]] const std::string& error() const { return m_error; }

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
    std::string m_error;
};

} // namespace tavero::platform

#include "platform/unique_fd.h"

#include <deque>
#include <set>

namespace tavero::platform {

// Mounts appearing and disappearing, from the mount table: the desktop mounts a card's partition
// only after the device manager announced the device, so a card's mount point is known only at
// this second event. Mount points come as Add and Remove events with kernelName empty and
// devNode the mount point. The descriptor of /proc/self/mountinfo signals a change as an
// exceptional condition (poll POLLPRI; a QSocketNotifier of type Exception).
//
// Thread: owned by one thread; not thread-safe.
class MountTableWatcher : public DeviceEventSource {
public:
    // False when the mount table cannot be read; the first table read is the starting point.
    [[nodiscard]] bool open(const std::string& mountInfoPath = "/proc/self/mountinfo");
    [[nodiscard]] int fd() const override { return m_fd.get(); }
    [[nodiscard]] bool next(DeviceEvent& event) override;

private:
    [[nodiscard]] bool readPoints(std::set<std::string>& points);

    UniqueFd m_fd;
    std::set<std::string> m_points;
    std::deque<DeviceEvent> m_pending;
};

} // namespace tavero::platform
