#pragma once

#include "journal.h"
#include "script.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QHash>
#include <QTimer>

#include <map>

// The management server's stand-in (docs/automation.md): owns one programmatic identifier on
// the bus, makes objects of the class named after it, answers their four methods as its
// script says and writes everything it is asked to its journal.
class ReferenceServer : public QDBusVirtualObject
{
    Q_OBJECT

public:
    // keepObjects: the objects of a client that leaves the bus stay until released, so that
    // the server can be tried by hand with one gdbus command per call.
    ReferenceServer(const QDBusConnection &connection, const QString &progId, const QString &directory, int idleMs,
                    bool keepObjects);

    // Registers the objects and takes the name. False, with the reason, when it cannot.
    bool start(QString *error);

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    QString introspect(const QString &path) const override;

private:
    struct Instance
    {
        QString client; // unique name of the connection that created it
        Script script;
        QHash<QString, int> calls; // calls so far, by method
    };

    void createObject(const QDBusMessage &message);
    void release(const QDBusMessage &message, const QString &path);
    void callMethod(const QDBusMessage &message, const QString &path, Instance &instance);
    void clientLeft(const QString &client);
    void objectsGone();
    void send(const QDBusMessage &call, const QDBusMessage &reply, int delayMs = 0);
    void quit(const QString &reason);
    QString introspectionDocument(const QString &path) const;

    QDBusConnection m_connection;
    QString m_progId;
    QString m_directory;
    Journal m_journal;
    bool m_keepObjects;
    std::map<QString, Instance> m_objects; // by object path
    quint64 m_lastId = 0;
    QTimer m_idle;
    QTimer m_busCheck;
    QDBusServiceWatcher m_clients;
};
