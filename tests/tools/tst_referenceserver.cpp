// What the suites that reach the reference server through the client never see: its script's
// errors and its lifetime. Spoken to in raw D-Bus messages.

#include "tests/support/testbus.h"

#include <QDBusObjectPath>
#include <QTest>

using namespace testbus;

static QDBusMessage call(const QDBusConnection &bus, const QString &path, const QString &method)
{
    const QString interface =
        path == QLatin1String("/") ? "Tirvano.Automation.ClassFactory" : "Tirvano.Automation.Object";
    return bus.call(QDBusMessage::createMethodCall(Kelmar, path, interface, method), QDBus::Block, 60000);
}

static QString createObject(const QDBusConnection &bus)
{
    return qvariant_cast<QDBusObjectPath>(
               call(bus, QStringLiteral("/"), QStringLiteral("CreateObject")).arguments().value(0))
        .path();
}

class TestReferenceServer : public QObject
{
    Q_OBJECT

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    ServerDirectory m_directory;

private Q_SLOTS:
    void init()
    {
        QVERIFY(setActivationEnvironment(
            m_bus, {{"TIRVANO_SERVER_DIR", m_directory.path()}, {"TIRVANO_SERVER_IDLE_MS", "1500"}}));
        QVERIFY(killServer(m_bus, Kelmar));
        m_directory.clear();
    }

    void unknownScriptKey()
    {
        m_directory.writeScript(R"({"rules": [{"method": "Init", "resultat": 1}]})");
        const QDBusMessage reply = call(m_bus, QStringLiteral("/"), QStringLiteral("CreateObject"));
        QCOMPARE(reply.errorName(), QStringLiteral("Tirvano.Automation.Error.Script"));
        QCOMPARE(reply.errorMessage(), QStringLiteral("script, règle 1 : clé inconnue \"resultat\""));
        QCOMPARE(m_directory.summary(), (QStringList{"start", "script-error"}));
    }

    // The objects of a client that leaves the bus go, the others stay; the server exits after
    // its idle delay once the last is released, not before, and a second server for its name gives up.
    void lifetime()
    {
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("leaving"));
        const QString client = other.baseService();
        QCOMPARE(createObject(other), QStringLiteral("/1"));
        QCOMPARE(createObject(m_bus), QStringLiteral("/2"));
        other = m_bus; // the last reference gone, the connection closes
        QDBusConnection::disconnectFromBus(QStringLiteral("leaving"));
        QVERIFY(waitUntil([&] { return !ownerPid(m_bus, client); })); // the server hears of it before any later call

        QProcess second;
        second.start(QStringLiteral(TIRVANO_SERVER), {Kelmar});
        QVERIFY(second.waitForFinished());
        QCOMPARE(second.exitCode(), 1);

        const auto gone = [&] { return !ownerPid(m_bus, Kelmar); };
        QVERIFY(!waitUntil(gone, 2000)); // past the idle delay with an object left
        QCOMPARE(call(m_bus, QStringLiteral("/2"), QStringLiteral("Release")).type(), QDBusMessage::ReplyMessage);
        QVERIFY(waitUntil(gone));
        QCOMPARE(m_directory.summary(),
                 (QStringList{"start", "create /1", "create /2", "drop /1", "release /2", "exit idle"}));
    }

    // No server outlives its bus: a test bus ends with its suite.
    void exitsWithItsBus()
    {
        {
            const PrivateBus bus(QStringLiteral(TIRVANO_TEST_BUS_CONFIG), QStringLiteral("own bus"));
            QVERIFY(setActivationEnvironment(bus.connection(), {{"TIRVANO_SERVER_DIR", m_directory.path()}}));
            QCOMPARE(createObject(bus.connection()), QStringLiteral("/1"));
        }
        QVERIFY(waitUntil(
            [&] { return m_directory.summary({QStringLiteral("exit")}) == QStringList{QStringLiteral("exit bus")}; }));
    }
};

QTEST_GUILESS_MAIN(TestReferenceServer)
#include "tst_referenceserver.moc"
