#include "tests/support/testbus.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <fstream>

using namespace testbus;

namespace {

const QString ClassFactory = QStringLiteral("Tirvano.Automation.ClassFactory");
const QString ObjectInterface = QStringLiteral("Tirvano.Automation.Object");

QDBusMessage call(const QDBusConnection &bus, const QString &service, const QString &path, const QString &interface,
                  const QString &method, const QList<QVariant> &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, 60000);
}

QString createObject(const QDBusConnection &bus, const QString &progId = Kelmar)
{
    const QDBusMessage reply = call(bus, progId, QStringLiteral("/"), ClassFactory, QStringLiteral("CreateObject"));
    return reply.type() == QDBusMessage::ReplyMessage ? qvariant_cast<QDBusObjectPath>(reply.arguments().value(0)).path() : QString();
}

QList<QVariant> texts(const QStringList &values)
{
    QList<QVariant> list;
    for (const QString &value : values)
        list.append(value);
    return list;
}

QVariant resultOf(const QDBusMessage &reply)
{
    return qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
}

QStringList argumentsOf(const QDBusMessage &reply)
{
    QStringList values;
    for (const QVariant &value : reply.arguments().mid(1))
        values.append(value.toString());
    return values;
}

// State letter of a process from /proc: 'Z' for a zombie, 0 when it is gone.
char processState(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return 0;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : 0;
}

} // namespace

// The reference server, spoken to in raw D-Bus messages: the protocol of docs/automation.md,
// its script, its journal and its lifetime.
class TestReferenceServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void methodsTakeAndGiveTextsByReference_data();
    void methodsTakeAndGiveTextsByReference();
    void objectsCountTheirCallsApart();
    void protocolErrors_data();
    void protocolErrors();
    void scriptedAnswers();
    void scriptReadAtEachCreateObject();
    void scriptErrors_data();
    void scriptErrors();
    void oneProcessPerProgId();
    void dropsObjectsOfClientThatLeaves();
    void keepsObjectsWhenAsked();
    void exitsAfterIdleDelay();
    void exitsWhenBusGoesAway();
    void nameAlreadyTaken();

private:
    bool setIdleDelay(int ms)
    {
        return setActivationEnvironment(m_bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), m_directory.path()},
                                                {QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QString::number(ms)}});
    }

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    ServerDirectory m_directory;
};

void TestReferenceServer::initTestCase()
{
    QVERIFY2(m_bus.isConnected(), "the suite runs under dbus-run-session with the test bus configuration");
}

void TestReferenceServer::init()
{
    QVERIFY(killServer(m_bus, Kelmar));
    QVERIFY(killServer(m_bus, Dovane));
    m_directory.clear();
    QVERIFY(setIdleDelay(500));
}

void TestReferenceServer::methodsTakeAndGiveTextsByReference_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("Init") << QStringLiteral("Init") << QStringList{QStringLiteral("S1"), QString(), QString()};
    QTest::newRow("InitInventaire") << QStringLiteral("InitInventaire") << QStringList{QStringLiteral("D1")};
    QTest::newRow("InventaireArticle") << QStringLiteral("InventaireArticle") << QStringList{QStringLiteral("D1"), QStringLiteral("A1"), QStringLiteral("2,5")};
    QTest::newRow("ValidationInventaire") << QStringLiteral("ValidationInventaire") << QStringList{QStringLiteral("D1")};
}

void TestReferenceServer::methodsTakeAndGiveTextsByReference()
{
    QFETCH(QString, method);
    QFETCH(QStringList, arguments);
    const QString path = createObject(m_bus);
    QCOMPARE(path, QStringLiteral("/1"));
    const QDBusMessage reply = call(m_bus, Kelmar, path, Kelmar, method, texts(arguments));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.signature(), QStringLiteral("v") + QString(arguments.size(), QLatin1Char('s')));
    QCOMPARE(resultOf(reply), QVariant(true)); // the default answer
    QCOMPARE(argumentsOf(reply), arguments);
    QCOMPARE(m_directory.summary({QStringLiteral("call")}), QStringList{QStringLiteral("call /1 ") + method + QLatin1Char(' ') + arguments.join(QLatin1Char('|'))});
}

void TestReferenceServer::objectsCountTheirCallsApart()
{
    m_directory.writeScript(R"({"rules": [{"method": "InitInventaire", "call": 2, "result": {"type": "i", "value": 2}}]})");
    const QString first = createObject(m_bus);
    const QString second = createObject(m_bus);
    QCOMPARE(first, QStringLiteral("/1"));
    QCOMPARE(second, QStringLiteral("/2"));
    const QList<QVariant> depot = texts({QStringLiteral("D1")});
    QCOMPARE(resultOf(call(m_bus, Kelmar, first, Kelmar, QStringLiteral("InitInventaire"), depot)), QVariant(true));
    QCOMPARE(resultOf(call(m_bus, Kelmar, second, Kelmar, QStringLiteral("InitInventaire"), depot)), QVariant(true));
    QCOMPARE(resultOf(call(m_bus, Kelmar, first, Kelmar, QStringLiteral("InitInventaire"), depot)), QVariant(2));

    QList<int> numbers;
    for (const QJsonObject &entry : m_directory.journal()) {
        if (entry.value(QStringLiteral("event")) == QLatin1String("call"))
            numbers.append(entry.value(QStringLiteral("call")).toInt());
    }
    QCOMPARE(numbers, (QList<int>{1, 1, 2}));
    QCOMPARE(m_directory.summary({QStringLiteral("start")}).size(), 1);
}

void TestReferenceServer::protocolErrors_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("interface");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QList<QVariant>>("arguments");
    QTest::addColumn<QString>("error");

    const QString unknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
    const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    const QString unknownObject = QStringLiteral("org.freedesktop.DBus.Error.UnknownObject");
    const QList<QVariant> depot = texts({QStringLiteral("D1")});
    const QString one = QStringLiteral("/1");
    QTest::newRow("method the class lacks") << one << Kelmar << QStringLiteral("ClotureInventaire") << depot << unknownMethod;
    QTest::newRow("too few arguments") << one << Kelmar << QStringLiteral("Init") << depot << invalidArgs;
    QTest::newRow("argument not a text") << one << Kelmar << QStringLiteral("InitInventaire") << QList<QVariant>{5} << invalidArgs;
    QTest::newRow("other edition's interface") << one << Dovane << QStringLiteral("InitInventaire") << depot
                                               << QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface");
    QTest::newRow("release with an argument") << one << ObjectInterface << QStringLiteral("Release") << depot << unknownMethod;
    QTest::newRow("object never made") << QStringLiteral("/9") << Kelmar << QStringLiteral("InitInventaire") << depot << unknownObject;
    QTest::newRow("factory method unknown") << QStringLiteral("/") << ClassFactory << QStringLiteral("Create") << QList<QVariant>() << unknownMethod;
    QTest::newRow("object released") << QStringLiteral("released") << Kelmar << QStringLiteral("InitInventaire") << depot << unknownObject;
}

void TestReferenceServer::protocolErrors()
{
    QFETCH(QString, path);
    QFETCH(QString, interface);
    QFETCH(QString, method);
    QFETCH(QList<QVariant>, arguments);
    QFETCH(QString, error);
    const QString object = createObject(m_bus);
    if (path == QLatin1String("released")) {
        QCOMPARE(call(m_bus, Kelmar, object, ObjectInterface, QStringLiteral("Release")).type(), QDBusMessage::ReplyMessage);
        path = object;
    }
    const QDBusMessage reply = call(m_bus, Kelmar, path, interface, method, arguments);
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), error);
    QVERIFY(!reply.errorMessage().isEmpty());
    QCOMPARE(m_directory.summary({QStringLiteral("call")}), QStringList());
}

void TestReferenceServer::scriptedAnswers()
{
    m_directory.writeScript(R"({"rules": [
        {"method": "InventaireArticle", "result": {"type": "i", "value": 1}, "out": [null, "B"]},
        {"method": "InventaireArticle", "call": 2, "result": {"type": "s", "value": "deux"}},
        {"method": "InventaireArticle", "call": 3, "error": "Article refusé", "errorName": "Gestion.Erreur.Article"},
        {"method": "InventaireArticle", "call": 4, "delayMs": 300},
        {"method": "Init", "error": "jamais vu"}
    ]})");
    const QString object = createObject(m_bus);
    const QList<QVariant> arguments = texts({QStringLiteral("D1"), QStringLiteral("A1"), QStringLiteral("5")});
    const QStringList rewritten{QStringLiteral("D1"), QStringLiteral("B"), QStringLiteral("5")};
    auto article = [&] { return call(m_bus, Kelmar, object, Kelmar, QStringLiteral("InventaireArticle"), arguments); };

    QDBusMessage reply = article();
    QCOMPARE(resultOf(reply), QVariant(1));
    QCOMPARE(argumentsOf(reply), rewritten);
    reply = article(); // a later rule overrides the result, the earlier one's "out" still holds
    QCOMPARE(resultOf(reply), QVariant(QStringLiteral("deux")));
    QCOMPARE(argumentsOf(reply), rewritten);
    reply = article();
    QCOMPARE(reply.errorName(), QStringLiteral("Gestion.Erreur.Article"));
    QCOMPARE(reply.errorMessage(), QStringLiteral("Article refusé"));
    QElapsedTimer timer;
    timer.start();
    reply = article();
    QVERIFY(timer.elapsed() >= 300);
    QCOMPARE(resultOf(reply), QVariant(1));
    QCOMPARE(m_directory.summary({QStringLiteral("call")}).size(), 4);
}

void TestReferenceServer::scriptReadAtEachCreateObject()
{
    const QList<QVariant> depot = texts({QStringLiteral("D1")});
    m_directory.writeScript(R"({"rules": [{"method": "InitInventaire", "result": {"type": "i", "value": 1}}]})");
    const QString first = createObject(m_bus);
    m_directory.writeScript(R"({"rules": [{"method": "InitInventaire", "result": {"type": "b", "value": false}}]})");
    const QString second = createObject(m_bus);
    QCOMPARE(resultOf(call(m_bus, Kelmar, first, Kelmar, QStringLiteral("InitInventaire"), depot)), QVariant(1));
    QCOMPARE(resultOf(call(m_bus, Kelmar, second, Kelmar, QStringLiteral("InitInventaire"), depot)), QVariant(false));
}

void TestReferenceServer::scriptErrors_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("message");

    QTest::newRow("not JSON") << QByteArray("{\"rules\": [") << QStringLiteral("script illisible : ");
    QTest::newRow("no rules") << QByteArray(R"({"regles": []})") << QStringLiteral("script : un objet {\"rules\": [...]} est attendu");
    QTest::newRow("unknown key") << QByteArray(R"({"rules": [{"method": "Init", "resultat": 1}]})")
                                 << QStringLiteral("script, règle 1 : clé inconnue \"resultat\"");
    QTest::newRow("no method") << QByteArray(R"({"rules": [{"call": 1}]})") << QStringLiteral("script, règle 1 : \"method\" manque");
    QTest::newRow("call zero") << QByteArray(R"({"rules": [{"method": "Init", "call": 0}]})")
                               << QStringLiteral("script, règle 1, \"call\" : les appels se comptent à partir de 1");
    QTest::newRow("unknown type") << QByteArray(R"({"rules": [{"method": "Init"}, {"method": "Init", "result": {"type": "z", "value": 1}}]})")
                                  << QStringLiteral("script, règle 2, \"result\" : type D-Bus inconnu 'z'");
    QTest::newRow("out of range for the type") << QByteArray(R"({"rules": [{"method": "Init", "result": {"type": "y", "value": 256}}]})")
                                               << QStringLiteral("script, règle 1, \"result\" : entier hors de portée ou absent");
    QTest::newRow("not a whole number") << QByteArray(R"({"rules": [{"method": "Init", "result": {"type": "i", "value": 2.5}}]})")
                                        << QStringLiteral("script, règle 1, \"result\" : entier hors de portée ou absent");
    QTest::newRow("out not texts") << QByteArray(R"({"rules": [{"method": "Init", "out": [1]}]})")
                                   << QStringLiteral("script, règle 1, \"out\" : texte ou null attendu");
    QTest::newRow("negative delay") << QByteArray(R"({"rules": [{"method": "Init", "delayMs": -1}]})")
                                    << QStringLiteral("script, règle 1, \"delayMs\" : durée négative");
}

void TestReferenceServer::scriptErrors()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, message);
    m_directory.writeScript(script);
    const QDBusMessage reply = call(m_bus, Kelmar, QStringLiteral("/"), ClassFactory, QStringLiteral("CreateObject"));
    QCOMPARE(reply.errorName(), QStringLiteral("Tirvano.Automation.Error.Script"));
    if (message.endsWith(QLatin1String(" : ")))
        QVERIFY2(reply.errorMessage().startsWith(message), qPrintable(reply.errorMessage()));
    else
        QCOMPARE(reply.errorMessage(), message);
    QCOMPARE(m_directory.summary(), (QStringList{QStringLiteral("start"), QStringLiteral("script-error")}));
}

void TestReferenceServer::oneProcessPerProgId()
{
    QVERIFY(!createObject(m_bus, Kelmar).isEmpty());
    QVERIFY(!createObject(m_bus, Dovane).isEmpty());
    const qint64 kelmar = ownerPid(m_bus, Kelmar);
    const qint64 dovane = ownerPid(m_bus, Dovane);
    QVERIFY(kelmar > 0 && dovane > 0 && kelmar != dovane);
    for (const QJsonObject &entry : m_directory.journal()) {
        const qint64 pid = entry.value(QStringLiteral("pid")).toInteger();
        QCOMPARE(entry.value(QStringLiteral("progId")).toString(), pid == kelmar ? Kelmar : Dovane);
    }
    QCOMPARE(m_directory.summary(), (QStringList{QStringLiteral("start"), QStringLiteral("create /1"), QStringLiteral("start"),
                                                 QStringLiteral("create /1")}));
}

void TestReferenceServer::dropsObjectsOfClientThatLeaves()
{
    const QString name = QStringLiteral("leaving client");
    {
        const QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        QCOMPARE(createObject(other), QStringLiteral("/1"));
    }
    QCOMPARE(createObject(m_bus), QStringLiteral("/2"));
    QDBusConnection::disconnectFromBus(name);

    QVERIFY(waitUntil([&] { return m_directory.summary({QStringLiteral("drop")}) == QStringList{QStringLiteral("drop /1")}; }));
    // The other client's object lives on: the server does not stop.
    QCOMPARE(call(m_bus, Kelmar, QStringLiteral("/2"), Kelmar, QStringLiteral("InitInventaire"), texts({QStringLiteral("D1")})).type(),
             QDBusMessage::ReplyMessage);
    QCOMPARE(call(m_bus, Kelmar, QStringLiteral("/2"), ObjectInterface, QStringLiteral("Release")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(waitUntil([&] { return !hasOwner(m_bus, Kelmar); }));
    QCOMPARE(m_directory.summary().last(), QStringLiteral("exit idle"));
}

void TestReferenceServer::keepsObjectsWhenAsked()
{
    QProcess server;
    server.start(QStringLiteral(TIRVANO_SERVER), {QStringLiteral("--keep-objects"), QStringLiteral("--dir"), m_directory.path(), Kelmar});
    QVERIFY(server.waitForStarted());
    QVERIFY(waitUntil([&] { return hasOwner(m_bus, Kelmar); }));
    const QString name = QStringLiteral("short-lived client");
    QString client;
    {
        const QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        client = other.baseService();
        QCOMPARE(createObject(other), QStringLiteral("/1"));
    }
    QDBusConnection::disconnectFromBus(name);

    // The bus tells the server of the departure before it passes on any later call.
    QVERIFY(waitUntil([&] { return !hasOwner(m_bus, client); }));
    QCOMPARE(call(m_bus, Kelmar, QStringLiteral("/1"), Kelmar, QStringLiteral("InitInventaire"), texts({QStringLiteral("D1")})).type(),
             QDBusMessage::ReplyMessage);
    QCOMPARE(m_directory.summary({QStringLiteral("drop")}), QStringList());
    server.kill();
    server.waitForFinished();
}

void TestReferenceServer::exitsAfterIdleDelay()
{
    QVERIFY(setIdleDelay(1500));
    const QString object = createObject(m_bus);
    QCOMPARE(call(m_bus, Kelmar, object, ObjectInterface, QStringLiteral("Release")).type(), QDBusMessage::ReplyMessage);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(hasOwner(m_bus, Kelmar));
    QVERIFY(waitUntil([&] { return !hasOwner(m_bus, Kelmar); }));
    QVERIFY2(timer.elapsed() >= 1400, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(m_directory.summary(), (QStringList{QStringLiteral("start"), QStringLiteral("create /1"), QStringLiteral("release /1"),
                                                 QStringLiteral("exit idle")}));
}

void TestReferenceServer::exitsWhenBusGoesAway()
{
    // A bus of the test's own, which it can end.
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=" TIRVANO_TEST_BUS_CONFIG), QStringLiteral("--nofork"),
                                                 QStringLiteral("--print-address=1")});
    QVERIFY(daemon.waitForStarted());
    QVERIFY(daemon.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    qint64 pid = 0;
    {
        const QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("own bus"));
        QVERIFY(bus.isConnected());
        QVERIFY(setActivationEnvironment(bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), m_directory.path()}}));
        QCOMPARE(createObject(bus), QStringLiteral("/1"));
        pid = ownerPid(bus, Kelmar);
        QVERIFY(pid > 0);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("own bus"));
    daemon.terminate();
    QVERIFY(daemon.waitForFinished());

    QVERIFY(waitUntil([&] { return m_directory.summary({QStringLiteral("exit")}) == QStringList{QStringLiteral("exit bus")}; }));
    QVERIFY(waitUntil([&] { const char state = processState(pid); return state == 0 || state == 'Z'; }));
}

void TestReferenceServer::nameAlreadyTaken()
{
    QVERIFY(!createObject(m_bus).isEmpty());
    QProcess second;
    second.start(QStringLiteral(TIRVANO_SERVER), {Kelmar});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 1);
    QVERIFY2(second.readAllStandardError().contains("impossible de prendre le nom GestionKelmar.ClsProjet"), "no reason given");
}

QTEST_GUILESS_MAIN(TestReferenceServer)
#include "tst_referenceserver.moc"
