#include "platform/udev_monitor.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include <libudev.h>

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
