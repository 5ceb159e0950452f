#pragma once

// For suites that run on the private test bus (tirvano_add_test(... BUS)), where the bus starts
// the reference server on demand: its directory (journal and script), the environment the bus
// gives the servers it starts, stopping a server between tests, and a bus of one's own.

#include "tests/support/files.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>

namespace testbus {

inline const QString Kelmar = QStringLiteral("GestionKelmar.ClsProjet");
inline const QString Dovane = QStringLiteral("GestionDovane.ClsProjet");

// The bus's answer to one of its own methods; true for an empty answer, invalid for an error.
inline QVariant busDaemon(const QDBusConnection &bus, const QString &method, const QVariant &argument)
{
    const QString daemon = QStringLiteral("org.freedesktop.DBus");
    QDBusMessage call = QDBusMessage::createMethodCall(daemon, QStringLiteral("/org/freedesktop/DBus"), daemon, method);
    const QDBusMessage reply = bus.call(call << argument);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0, true) : QVariant();
}

// The environment of every server the bus starts from now on.
inline bool setActivationEnvironment(const QDBusConnection &bus, const QMap<QString, QString> &environment)
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
    return busDaemon(bus, QStringLiteral("UpdateActivationEnvironment"), QVariant::fromValue(environment)).toBool();
}

// The process owning a name, or 0 when none does.
inline qint64 ownerPid(const QDBusConnection &bus, const QString &name)
{
    return busDaemon(bus, QStringLiteral("GetConnectionUnixProcessID"), name).toLongLong();
}

// Polls without processing events, as the code under test waits.
template <typename Condition> bool waitUntil(const Condition &condition, int timeoutMs = 10000)
{
    for (const QDeadlineTimer deadline(timeoutMs); !condition(); QThread::msleep(10))
        if (deadline.hasExpired())
            return false;
    return true;
}

// Kills the server owning the name, if any, and waits until the bus has seen it go.
inline bool killServer(const QDBusConnection &bus, const QString &name)
{
    if (const qint64 pid = ownerPid(bus, name))
        ::kill(pid_t(pid), SIGKILL);
    return waitUntil([&] { return !ownerPid(bus, name); });
}

// The servers' directory: "script.json" read at each CreateObject, "journal.jsonl" appended.
class ServerDirectory
{
public:
    QString path() const { return m_dir.path(); }

    void writeScript(const QByteArray &json) const { writeFile(m_dir.filePath(QStringLiteral("script.json")), json); }
    void clear() const
    {
        QFile::remove(m_dir.filePath(QStringLiteral("script.json")));
        QFile::remove(m_dir.filePath(QStringLiteral("journal.jsonl")));
    }

    QList<QJsonObject> journal() const
    {
        QList<QJsonObject> entries;
        for (const QByteArray &line : readFile(m_dir.filePath(QStringLiteral("journal.jsonl"))).split('\n'))
            if (const QJsonObject entry = QJsonDocument::fromJson(line).object(); !entry.isEmpty())
                entries.append(entry);
        return entries;
    }

    // The journal in short: "call /1 Init S1||" — event, object, method or reason, arguments.
    QStringList summary(const QStringList &events = {}) const
    {
        QStringList lines;
        for (const QJsonObject &entry : journal()) {
            QStringList parts;
            for (const char *key : {"event", "object", "method", "reason", "arguments"})
                if (entry.contains(QLatin1String(key)))
                    parts.append(entry.value(QLatin1String(key)).toVariant().toStringList().join(QLatin1Char('|')));
            if (events.isEmpty() || events.contains(parts.value(0)))
                lines.append(parts.join(QLatin1Char(' ')));
        }
        return lines;
    }

private:
    QTemporaryDir m_dir;
};

// A bus of our own, run by dbus-daemon for as long as the object lives: the bus of a program
// not run under dbus-run-session (the benchmark), or a second bus beside the suite's.
class PrivateBus
{
public:
    explicit PrivateBus(const QString &configFile, const QString &connectionName = QStringLiteral("bus-prive"))
        : m_name(connectionName)
    {
        m_daemon.start(QStringLiteral("dbus-daemon"), {"--config-file=" + configFile, "--nofork", "--print-address=1"});
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
        }
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QString::fromUtf8(m_daemon.readLine()).trimmed(), m_name);
        if (!bus.isConnected())
            m_error = QStringLiteral("pas de bus privé : %1 %2").arg(m_daemon.errorString(), bus.lastError().message());
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(m_name);
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }

    bool isConnected() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    QDBusConnection connection() const { return QDBusConnection(m_name); }

private:
    QString m_name;
    QProcess m_daemon;
    QString m_error;
};

} // namespace testbus
