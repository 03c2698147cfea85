// A stand-in for the UDisks2 service on a private bus: answers
// org.freedesktop.UDisks2.Filesystem.Unmount on every block device object, writes one line per
// call to a log file ("sdb1 a{sv} interactive"), and refuses the devices named busy the way
// UDisks2 does when files are open.
//
// usage: tavero_fake_udisks BUS_ADDRESS LOG_FILE [BUSY_DEVICE...]

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QStringList>
#include <cstdio>

namespace {

class FakeUDisks : public QDBusVirtualObject {
public:
    FakeUDisks(QString logFile, QStringList busy)
        : m_logFile(std::move(logFile)), m_busy(std::move(busy)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString device = message.path().section(QLatin1Char('/'), -1);
        if (message.interface() != QLatin1String("org.freedesktop.UDisks2.Filesystem") ||
            message.member() != QLatin1String("Unmount")) {
            connection.send(message.createErrorReply(QDBusError::UnknownMethod, "not here"));
            return true;
        }
        QFile log(m_logFile);
        if (log.open(QIODevice::Append)) {
            const QString line =
                device + QLatin1Char(' ') + message.signature() +
                (message.isInteractiveAuthorizationAllowed() ? QLatin1String(" interactive\n")
                                                             : QLatin1String(" quiet\n"));
            log.write(line.toUtf8());
            log.close(); // on disk before the caller hears the answer
        }
        if (m_busy.contains(device)) {
            connection.send(
                message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"),
                                         QStringLiteral("Error unmounting /dev/") + device +
                                             QStringLiteral(": target is busy")));
        } else {
            connection.send(message.createReply());
        }
        return true;
    }

private:
    QString m_logFile;
    QStringList m_busy;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fputs("usage: tavero_fake_udisks BUS_ADDRESS LOG_FILE [BUSY_DEVICE...]\n", stderr);
        return 2;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(args[1], QStringLiteral("fake-udisks"));
    FakeUDisks udisks(args[2], args.mid(3));
    if (!bus.isConnected() ||
        !bus.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2/block_devices"),
                                   &udisks, QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.freedesktop.UDisks2"))) {
        std::fputs("tavero_fake_udisks: cannot serve on the bus\n", stderr);
        return 1;
    }
    return app.exec();
}
