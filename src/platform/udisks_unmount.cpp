#include "platform/udisks_unmount.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QString>
#include <QVariantMap>

namespace tavero::platform {
namespace {

constexpr const char* kFilesystemInterface = "org.freedesktop.UDisks2.Filesystem";
// Unmounting waits for the file system to be written out and, where the policy asks, for the
// person to authorise it.
constexpr int kUnmountTimeoutMs = 120000;

QDBusConnection Bus(const std::string& address) {
    if (address.empty()) {
        return QDBusConnection::systemBus();
    }
    // One connection name per address: Qt shares connections by name.
    const QString name = QStringLiteral("tavero-udisks-") + QString::fromStdString(address);
    return QDBusConnection::connectToBus(QString::fromStdString(address), name);
}

} // namespace

std::string UDisksBlockObjectPath(const std::string& kernelName) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string path = "/org/freedesktop/UDisks2/block_devices/";
    for (const char c : kernelName) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z')) {
            path += c;
        } else {
            path += '_';
            path += kHex[u >> 4];
            path += kHex[u & 0xF];
        }
    }
    return path;
}

UDisksUnmountService::UDisksUnmountService(std::string busAddress)
    : m_busAddress(std::move(busAddress)) {}

bool UDisksUnmountService::ServiceAvailable(const std::string& busAddress) {
    QDBusConnection bus = Bus(busAddress);
    if (!bus.isConnected() || bus.interface() == nullptr) {
        return false;
    }
    const QString service = QString::fromLatin1(kUDisksService);
    if (bus.interface()->isServiceRegistered(service).value()) {
        return true;
    }
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

bool UDisksUnmountService::Unmount(const MountedFileSystem& fileSystem, std::string& error) {
    QDBusConnection bus = Bus(m_busAddress);
    if (!bus.isConnected()) {
        error = "the system bus cannot be reached: " + bus.lastError().message().toStdString();
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kUDisksService),
        QString::fromStdString(UDisksBlockObjectPath(fileSystem.kernelName)),
        QString::fromLatin1(kFilesystemInterface), QStringLiteral("Unmount"));
    call << QVariantMap{};
    call.setInteractiveAuthorizationAllowed(true);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kUnmountTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return true;
    }
    error =
        "UDisks2 cannot unmount " + fileSystem.mountPoint + ": " +
        (reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()).toStdString();
    return false;
}

} // namespace tavero::platform
