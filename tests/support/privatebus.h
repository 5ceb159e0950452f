#pragma once

// A message bus of our own, run by dbus-daemon for as long as the object lives: the bus of a
// program that is not run under dbus-run-session (the benchmark), or a second bus beside the
// suite's whose service directory differs from it.

#include <QDBusConnection>
#include <QDBusError>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace testbus {

class PrivateBus
{
public:
    // Starts dbus-daemon with the configuration file and connects to it.
    explicit PrivateBus(const QString &configFile, const QString &connectionName = QStringLiteral("bus-prive"))
        : m_name(connectionName)
    {
        m_daemon.setProgram(QStringLiteral("dbus-daemon"));
        m_daemon.setArguments({QStringLiteral("--config-file=") + configFile, QStringLiteral("--nofork"),
                               QStringLiteral("--print-address=1")});
        m_daemon.start();
        if (!m_daemon.waitForStarted(10000)) {
            m_error = QStringLiteral("dbus-daemon ne démarre pas : ") + m_daemon.errorString();
            return;
        }
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (m_address.isEmpty()) {
            m_error = QStringLiteral("dbus-daemon ne donne pas son adresse : ") + QString::fromLocal8Bit(m_daemon.readAllStandardError());
            return;
        }
        const QDBusConnection connection = QDBusConnection::connectToBus(m_address, m_name);
        if (!connection.isConnected())
            m_error = QStringLiteral("bus %1 injoignable : %2").arg(m_address, connection.lastError().message());
    }

    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(m_name);
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(5000))
                m_daemon.kill();
            m_daemon.waitForFinished(5000);
        }
    }

    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool isConnected() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    QString address() const { return m_address; }
    QDBusConnection connection() const { return QDBusConnection(m_name); }

    // Writes to `path` the configuration `from` with its service directories replaced by
    // `serviceDirectory`: the same bus, starting other servers or none.
    static bool writeConfig(const QString &from, const QString &serviceDirectory, const QString &path)
    {
        QFile source(from);
        if (!source.open(QIODevice::ReadOnly))
            return false;
        QString text = QString::fromUtf8(source.readAll());
        static const QRegularExpression serviceDirs(QStringLiteral("<servicedir>[^<]*</servicedir>"));
        if (!text.contains(serviceDirs))
            return false;
        text.replace(serviceDirs, QStringLiteral("<servicedir>") + serviceDirectory.toHtmlEscaped() + QStringLiteral("</servicedir>"));
        QFile target(path);
        const QByteArray bytes = text.toUtf8();
        return target.open(QIODevice::WriteOnly | QIODevice::Truncate) && target.write(bytes) == bytes.size();
    }

private:
    QString m_name;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};

} // namespace testbus
