#pragma once

// For suites that run on the private test bus (tirvano_add_test(... BUS)), where the bus starts
// the reference server on demand: its directory (journal and script), the environment the bus
// gives the servers it starts, and stopping a server between tests.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

#include <signal.h>

namespace testbus {

inline const QString Kelmar = QStringLiteral("GestionKelmar.ClsProjet");
inline const QString Dovane = QStringLiteral("GestionDovane.ClsProjet");

inline QDBusMessage busDaemon(const QDBusConnection &bus, const QString &method, const QList<QVariant> &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                                          QStringLiteral("org.freedesktop.DBus"), method);
    message.setArguments(arguments);
    return bus.call(message);
}

// The environment of every server the bus starts from now on.
inline bool setActivationEnvironment(const QDBusConnection &bus, const QMap<QString, QString> &environment)
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
    return busDaemon(bus, QStringLiteral("UpdateActivationEnvironment"), {QVariant::fromValue(environment)}).type()
        == QDBusMessage::ReplyMessage;
}

inline bool hasOwner(const QDBusConnection &bus, const QString &name)
{
    const QDBusMessage reply = busDaemon(bus, QStringLiteral("NameHasOwner"), {name});
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

// The process owning a name, or 0.
inline qint64 ownerPid(const QDBusConnection &bus, const QString &name)
{
    const QDBusMessage reply = busDaemon(bus, QStringLiteral("GetConnectionUnixProcessID"), {name});
    return reply.type() == QDBusMessage::ReplyMessage ? qint64(reply.arguments().value(0).toUInt()) : 0;
}

// Polls without processing events, as the code under test waits.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

// Kills the server owning the name, if any, and waits until the bus has seen it go.
inline bool killServer(const QDBusConnection &bus, const QString &name)
{
    const qint64 pid = ownerPid(bus, name);
    if (pid > 0)
        ::kill(pid_t(pid), SIGKILL);
    return waitUntil([&] { return !hasOwner(bus, name); });
}

// The servers' directory: "script.json" read at each CreateObject, "journal.jsonl" appended.
class ServerDirectory
{
public:
    QString path() const { return m_dir.path(); }
    QString journalPath() const { return m_dir.filePath(QStringLiteral("journal.jsonl")); }

    void writeScript(const QByteArray &json) const
    {
        QFile file(m_dir.filePath(QStringLiteral("script.json")));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(json);
    }
    void clear() const
    {
        QFile::remove(m_dir.filePath(QStringLiteral("script.json")));
        QFile::remove(journalPath());
    }

    QList<QJsonObject> journal() const
    {
        QList<QJsonObject> entries;
        QFile file(journalPath());
        if (!file.open(QIODevice::ReadOnly))
            return entries;
        while (!file.atEnd())
            entries.append(QJsonDocument::fromJson(file.readLine()).object());
        return entries;
    }

    // The journal in short: "call /1 Init S1||" — event, object, method, arguments.
    QStringList summary(const QStringList &events = {}) const
    {
        QStringList lines;
        for (const QJsonObject &entry : journal()) {
            const QString event = entry.value(QStringLiteral("event")).toString();
            if (!events.isEmpty() && !events.contains(event))
                continue;
            QStringList parts{event};
            for (const char *key : {"object", "method", "reason"}) {
                if (entry.contains(QLatin1String(key)))
                    parts.append(entry.value(QLatin1String(key)).toString());
            }
            if (entry.contains(QStringLiteral("arguments"))) {
                QStringList arguments;
                for (const QJsonValue &argument : entry.value(QStringLiteral("arguments")).toArray())
                    arguments.append(argument.toString());
                parts.append(arguments.join(QLatin1Char('|')));
            }
            lines.append(parts.join(QLatin1Char(' ')));
        }
        return lines;
    }

private:
    QTemporaryDir m_dir;
};

} // namespace testbus
