#include "platform/udev_monitor.h"

#include <cerrno>
#include <cstring>
#include <libudev.h>
#include <string_view>

namespace tavero::platform {

struct UdevMonitor::Handles {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;

    ~Handles() {
        if (monitor != nullptr) {
            udev_monitor_unref(monitor);
        }
        if (context != nullptr) {
            udev_unref(context);
        }
    }
};

UdevMonitor::UdevMonitor() = default;
UdevMonitor::~UdevMonitor() = default;

bool UdevMonitor::open() {
    m_handles.reset();
    auto handles = std::make_unique<Handles>();
    handles->context = udev_new();
    if (handles->context == nullptr) {
        m_error = "cannot create a device manager context";
        return false;
    }
    // "udev" events come after the rules ran, so the device nodes exist when we look.
    handles->monitor = udev_monitor_new_from_netlink(handles->context, "udev");
    if (handles->monitor == nullptr) {
        m_error = "cannot listen to device events";
        return false;
    }
    int rc = udev_monitor_filter_add_match_subsystem_devtype(handles->monitor, "block", nullptr);
    if (rc >= 0) {
        rc = udev_monitor_enable_receiving(handles->monitor);
    }
    if (rc < 0) {
        m_error = std::string("cannot receive device events: ") + std::strerror(-rc);
        return false;
    }
    m_handles = std::move(handles);
    m_error.clear();
    return true;
}

int UdevMonitor::fd() const {
    return m_handles ? udev_monitor_get_fd(m_handles->monitor) : -1;
}

bool UdevMonitor::next(DeviceEvent& event) {
    if (!m_handles) {
        return false;
    }
    // The monitor's socket is non-blocking: nullptr means nothing waits.
    udev_device* device = udev_monitor_receive_device(m_handles->monitor);
    if (device == nullptr) {
        return false;
    }
    auto text = [](const char* s) { return s != nullptr ? std::string(s) : std::string(); };
    const std::string action = text(udev_device_get_action(device));
    event = DeviceEvent{};
    event.action = action == "add"      ? DeviceEvent::Action::Add
                   : action == "remove" ? DeviceEvent::Action::Remove
                   : action == "change" ? DeviceEvent::Action::Change
                                        : DeviceEvent::Action::Other;
    event.kernelName = text(udev_device_get_sysname(device));
    event.devType = text(udev_device_get_devtype(device));
    event.devNode = text(udev_device_get_devnode(device));
    udev_device_unref(device);
    return true;
}

} // namespace tavero::platform

#include "platform/mount_table.h"

#include <fcntl.h>
#include <unistd.h>

namespace tavero::platform {

bool MountTableWatcher::open(const std::string& mountInfoPath) {
    m_fd.reset(::open(mountInfoPath.c_str(), O_RDONLY | O_CLOEXEC));
    m_pending.clear();
    m_points.clear();
    return m_fd.valid() && readPoints(m_points);
}

bool MountTableWatcher::readPoints(std::set<std::string>& points) {
    // Reading the table from its start again also re-arms the change signal.
    std::string text;
    char buffer[4096];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(m_fd.get(), buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    points.clear();
    for (const MountEntry& entry : ParseMountInfo(text)) {
        points.insert(entry.mountPoint);
    }
    return true;
}

bool MountTableWatcher::next(DeviceEvent& event) {
    if (m_pending.empty() && m_fd.valid()) {
        std::set<std::string> now;
        if (readPoints(now)) {
            for (const std::string& point : now) {
                if (m_points.count(point) == 0) {
                    m_pending.push_back({DeviceEvent::Action::Add, "", "mount", point});
                }
            }
            for (const std::string& point : m_points) {
                if (now.count(point) == 0) {
                    m_pending.push_back({DeviceEvent::Action::Remove, "", "mount", point});
                }
            }
            m_points = std::move(now);
        }
    }
    if (m_pending.empty()) {
        return false;
    }
    event = m_pending.front();
    m_pending.pop_front();
    return true;
}

} // namespace tavero::platform
