#include "tests/support/testbus.h"

#include <QDBusObjectPath>
#include <QProcess>
#include <QTest>

using namespace testbus;

namespace {

QDBusMessage call(const QDBusConnection &bus, const QString &path, const QString &method,
                  const QString &interface = QStringLiteral("Tirvano.Automation.Object"), const QString &service = Kelmar)
{
    return bus.call(QDBusMessage::createMethodCall(service, path, interface, method), QDBus::Block, 60000);
}

QDBusMessage create(const QDBusConnection &bus, const QString &progId = Kelmar)
{
    return call(bus, QStringLiteral("/"), QStringLiteral("CreateObject"), QStringLiteral("Tirvano.Automation.ClassFactory"), progId);
}

QString createObject(const QDBusConnection &bus, const QString &progId = Kelmar)
{
    return qvariant_cast<QDBusObjectPath>(create(bus, progId).arguments().value(0)).path();
}

} // namespace

// What the suites that reach the reference server through the client leave out: its script's
// errors and its lifetime. Spoken to in raw D-Bus messages.
class TestReferenceServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(setActivationEnvironment(m_bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), m_directory.path()},
                                                  {QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QStringLiteral("1500")}}),
                 "the suite runs under dbus-run-session with the test bus configuration");
    }
    void init()
    {
        QVERIFY(killServer(m_bus, Kelmar) && killServer(m_bus, Dovane));
        m_directory.clear();
    }

    void scriptErrors_data();
    void scriptErrors();
    void oneProcessPerProgId();
    void clientLeavesTheBus_data();
    void clientLeavesTheBus(); // and the server's exit after its idle delay
    void exitsWhenBusGoesAway();

private:
    QDBusConnection m_bus = QDBusConnection::sessionBus();
    ServerDirectory m_directory;
};

void TestReferenceServer::scriptErrors_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("message"); // ending in " : ", the start of the message

    const auto rules = [](const char *json) { return QByteArray(R"({"rules": [)") + json + "]}"; };
    const QString result = QStringLiteral("script, règle 1, \"result\" : ");
    QTest::newRow("not JSON") << QByteArray("{\"rules\": [") << "script illisible : ";
    QTest::newRow("no rules") << QByteArray(R"({"regles": []})") << "script : un objet {\"rules\": [...]} est attendu";
    QTest::newRow("unknown key") << rules(R"({"method": "Init", "resultat": 1})") << "script, règle 1 : clé inconnue \"resultat\"";
    QTest::newRow("no method") << rules(R"({"call": 1})") << "script, règle 1 : \"method\" manque";
    QTest::newRow("call zero") << rules(R"({"method": "Init", "call": 0})")
                               << "script, règle 1, \"call\" : les appels se comptent à partir de 1";
    QTest::newRow("unknown type") << rules(R"({"method": "Init"}, {"method": "Init", "result": {"type": "z", "value": 1}})")
                                  << "script, règle 2, \"result\" : type D-Bus inconnu 'z'";
    QTest::newRow("out of range for the type") << rules(R"({"method": "Init", "result": {"type": "y", "value": 256}})")
                                               << result + "entier hors de portée ou absent";
    QTest::newRow("not a whole number") << rules(R"({"method": "Init", "result": {"type": "i", "value": 2.5}})")
                                        << result + "entier hors de portée ou absent";
    QTest::newRow("out not texts") << rules(R"({"method": "Init", "out": [1]})") << "script, règle 1, \"out\" : texte ou null attendu";
    QTest::newRow("negative delay") << rules(R"({"method": "Init", "delayMs": -1})") << "script, règle 1, \"delayMs\" : durée négative";
}

void TestReferenceServer::scriptErrors()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, message);
    m_directory.writeScript(script);
    const QDBusMessage reply = create(m_bus);
    QCOMPARE(reply.errorName(), QStringLiteral("Tirvano.Automation.Error.Script"));
    const QString actual = reply.errorMessage();
    QVERIFY2(message.endsWith(QLatin1String(" : ")) ? actual.startsWith(message) : actual == message, qPrintable(actual));
    QCOMPARE(m_directory.summary(), (QStringList{QStringLiteral("start"), QStringLiteral("script-error")}));
}

void TestReferenceServer::oneProcessPerProgId()
{
    QCOMPARE(createObject(m_bus, Kelmar), QStringLiteral("/1"));
    QCOMPARE(createObject(m_bus, Dovane), QStringLiteral("/1"));
    const qint64 kelmar = ownerPid(m_bus, Kelmar);
    QVERIFY(kelmar > 0 && ownerPid(m_bus, Dovane) > 0 && kelmar != ownerPid(m_bus, Dovane));
    // A second server for a name already served gives up.
    QCOMPARE(QProcess::execute(QStringLiteral(TIRVANO_SERVER), {Kelmar}), 1);
}

void TestReferenceServer::clientLeavesTheBus_data()
{
    QTest::addColumn<bool>("keepObjects");
    QTest::newRow("its objects dropped") << false;
    QTest::newRow("its objects kept on request") << true;
}

void TestReferenceServer::clientLeavesTheBus()
{
    QFETCH(bool, keepObjects);
    QProcess server; // started by hand to keep objects, by the bus otherwise
    if (keepObjects) {
        server.start(QStringLiteral(TIRVANO_SERVER), {QStringLiteral("--keep-objects"), QStringLiteral("--idle-ms=1500"),
                                                      QStringLiteral("--dir"), m_directory.path(), Kelmar});
        QVERIFY(waitUntil([&] { return hasOwner(m_bus, Kelmar); }));
    }
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("leaving"));
    const QString client = other.baseService();
    QCOMPARE(createObject(other), QStringLiteral("/1"));
    QCOMPARE(createObject(m_bus), QStringLiteral("/2"));
    other = m_bus; // the last reference gone, the connection closes
    QDBusConnection::disconnectFromBus(QStringLiteral("leaving"));

    // The bus tells the server of the departure before it passes on any later call.
    QVERIFY(waitUntil([&] { return !hasOwner(m_bus, client); }));
    QCOMPARE(call(m_bus, QStringLiteral("/1"), QStringLiteral("Release")).type(),
             keepObjects ? QDBusMessage::ReplyMessage : QDBusMessage::ErrorMessage);
    // The other client's object lived on; with the last one gone the server waits its idle delay.
    QCOMPARE(call(m_bus, QStringLiteral("/2"), QStringLiteral("Release")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(!waitUntil([&] { return !hasOwner(m_bus, Kelmar); }, 1300));
    QVERIFY(waitUntil([&] { return !hasOwner(m_bus, Kelmar); }));
    QCOMPARE(m_directory.summary(), (QStringList{QStringLiteral("start"), QStringLiteral("create /1"), QStringLiteral("create /2"),
                                                 keepObjects ? QStringLiteral("release /1") : QStringLiteral("drop /1"),
                                                 QStringLiteral("release /2"), QStringLiteral("exit idle")}));
    QVERIFY(!keepObjects || server.waitForFinished());
}

void TestReferenceServer::exitsWhenBusGoesAway()
{
    QProcess daemon; // a bus of the test's own, which it can end
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=" TIRVANO_TEST_BUS_CONFIG), QStringLiteral("--nofork"),
                                                 QStringLiteral("--print-address=1")});
    QVERIFY(daemon.waitForReadyRead(10000));
    const QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(daemon.readLine()).trimmed(), QStringLiteral("own bus"));
    QVERIFY(setActivationEnvironment(bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), m_directory.path()}}));
    QCOMPARE(createObject(bus), QStringLiteral("/1"));
    const qint64 pid = ownerPid(bus, Kelmar);
    QVERIFY(pid > 0);
    daemon.terminate();
    QVERIFY(daemon.waitForFinished());

    QVERIFY(waitUntil([&] { // gone, or a zombie nobody reaps
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
    }));
    QCOMPARE(m_directory.summary({QStringLiteral("exit")}), QStringList{QStringLiteral("exit bus")});
}

QTEST_GUILESS_MAIN(TestReferenceServer)
#include "tst_referenceserver.moc"
