#include "platform/dbusautomation.h"
#include "platform/failure.h"
#include "platform/variantint16.h"
#include "tests/support/testbus.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <thread>

using namespace testbus;

namespace {

// The failure an action throws, or number 0.
Failure outcomeOf(const std::function<void()> &action)
{
    try {
        action();
        return {0, QString()};
    } catch (const Failure &failure) {
        return failure;
    }
}

} // namespace

// The automation client against the reference server, on the suite's private bus.
class TestAutomation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void results_data();
    void results();
    void callFailures_data();
    void callFailures();
    void errorAtNthCall();
    void callsCopiedBackAndJournaled();
    void releasedWithLastReference();
    void creationFailures_data();
    void creationFailures();
    void noSessionBus();
    void serverKilledDuringCall();
    void longCallIsNotCutShort();

private:
    std::shared_ptr<AutomationObject> create(const QString &progId = Kelmar) { return m_automation.createObject(progId); }

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    ServerDirectory m_directory;
    DBusAutomation m_automation; // the session-bus factory, as the program uses it
};

void TestAutomation::init()
{
    // Every test starts with no server running, default answers and an empty journal.
    QVERIFY2(setActivationEnvironment(m_bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), m_directory.path()},
                                              {QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QStringLiteral("500")}}),
             "the suite runs under dbus-run-session with the test bus configuration");
    QVERIFY(killServer(m_bus, Kelmar) && killServer(m_bus, Dovane));
    m_directory.clear();
}

void TestAutomation::results_data()
{
    QTest::addColumn<QByteArray>("result"); // as the script gives it
    QTest::addColumn<int>("type");          // QMetaType id of the value, 0 for no value
    QTest::addColumn<int>("expected");      // after variantToInt16
    QTest::addColumn<int>("failure");       // of variantToInt16, 0 for none

    // One row per D-Bus type; the conversion itself is tst_conversions' business.
    QTest::newRow("false") << QByteArray(R"({"type": "b", "value": false})") << int(QMetaType::Bool) << 0 << 0;
    QTest::newRow("int") << QByteArray(R"({"type": "i", "value": 1})") << int(QMetaType::Int) << 1 << 0;
    QTest::newRow("text") << QByteArray(R"({"type": "s", "value": " 12 "})") << int(QMetaType::QString) << 12 << 0;
    QTest::newRow("abc") << QByteArray(R"({"type": "s", "value": "abc"})") << int(QMetaType::QString) << 0 << int(Failure::TypeMismatch);
    QTest::newRow("double") << QByteArray(R"({"type": "d", "value": 2.5})") << int(QMetaType::Double) << 2 << 0;
    QTest::newRow("byte") << QByteArray(R"({"type": "y", "value": 200})") << int(QMetaType::UChar) << 200 << 0;
    QTest::newRow("int16") << QByteArray(R"({"type": "n", "value": -5})") << int(QMetaType::Short) << -5 << 0;
    QTest::newRow("uint16") << QByteArray(R"({"type": "q", "value": 40000})") << int(QMetaType::UShort) << 0 << int(Failure::Overflow);
    QTest::newRow("uint32") << QByteArray(R"({"type": "u", "value": 7})") << int(QMetaType::UInt) << 7 << 0;
    QTest::newRow("int64") << QByteArray(R"({"type": "x", "value": -32768})") << int(QMetaType::LongLong) << -32768 << 0;
    QTest::newRow("uint64") << QByteArray(R"({"type": "t", "value": 32767})") << int(QMetaType::ULongLong) << 32767 << 0;
    QTest::newRow("no value") << QByteArray(R"({"type": "none"})") << 0 << 0 << 0;
    QTest::newRow("empty int array") << QByteArray(R"({"type": "ai", "value": []})") << 0 << 0 << 0;
    QTest::newRow("empty text array") << QByteArray(R"({"type": "as", "value": []})") << 0 << 0 << 0;
    QTest::newRow("empty byte array") << QByteArray(R"({"type": "ay", "value": []})") << 0 << 0 << 0;
}

void TestAutomation::results()
{
    QFETCH(QByteArray, result);
    QFETCH(int, type);
    QFETCH(int, expected);
    QFETCH(int, failure);
    m_directory.writeScript(R"({"rules": [{"method": "InitInventaire", "result": )" + result + "}]}");

    QStringList depot{QStringLiteral("D1")};
    const QVariant value = create()->call(QStringLiteral("InitInventaire"), depot);
    QCOMPARE(value.isValid() ? value.metaType().id() : 0, type);
    qint16 converted = 0;
    QCOMPARE(outcomeOf([&] { converted = variantToInt16(value); }).number(), failure);
    QCOMPARE(int(converted), expected);
}

void TestAutomation::callFailures_data()
{
    QTest::addColumn<QByteArray>("rule"); // what the script says of the method; empty: no script
    QTest::addColumn<QString>("method");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("callsJournaled");

    const QStringList depot{QStringLiteral("D1")};
    const int unknown = Failure::UnknownMethod;
    const int automation = Failure::AutomationError;
    const QString unhandled = QStringLiteral("Cet objet ne gère pas cette propriété ou cette méthode : ");
    const QString malformed = QStringLiteral("Réponse incorrecte du serveur à ");
    QTest::newRow("error reply, shown as it stands") << QByteArray(R"("error": "Inventaire verrouillé par un autre poste")")
        << "ValidationInventaire" << depot << automation << "Inventaire verrouillé par un autre poste" << 1;
    QTest::newRow("error reply under a name of the bus's own")
        << QByteArray(R"("error": "Refusé", "errorName": "org.freedesktop.DBus.Error.AccessDenied")") << "ValidationInventaire" << depot
        << automation << "Refusé" << 1;
    QTest::newRow("unknown method") << QByteArray() << "ClotureInventaire" << depot << unknown
                                    << unhandled + "Méthode inconnue de GestionKelmar.ClsProjet : ClotureInventaire" << 0;
    QTest::newRow("method name D-Bus cannot carry") << QByteArray() << "Init Inventaire" << depot << unknown
                                                    << unhandled + "nom de méthode non valide sur D-Bus : Init Inventaire" << 0;
    QTest::newRow("wrong argument count") << QByteArray() << "InitInventaire" << QStringList{"D1", "D2"} << automation
                                          << "InitInventaire attend 1 argument(s) texte (signature \"s\"), reçu \"ss\"" << 0;
    QTest::newRow("reply without result and arguments") << QByteArray(R"("malformed": true)") << "Init" << QStringList{"S1", "", ""}
                                                        << automation << malformed + "Init : signature \"s\" au lieu de \"vsss\"" << 1;
    QTest::newRow("array result") << QByteArray(R"("result": {"type": "ai", "value": [1, 2]})") << "InitInventaire" << depot << automation
                                  << malformed + "InitInventaire : résultat de type \"ai\"" << 1;
    QTest::newRow("text array result") << QByteArray(R"("result": {"type": "as", "value": ["1"]})") << "InitInventaire" << depot
                                       << automation << malformed + "InitInventaire : résultat de type \"QStringList\"" << 1;
    QTest::newRow("nul character in an argument")
        << QByteArray() << "InventaireArticle" << QStringList{"D1", QStringLiteral("A") + QChar(0) + QStringLiteral("1"), "5"} << automation
        << "L'argument 2 de InventaireArticle contient un caractère nul, que D-Bus ne peut pas transmettre" << 0;
}

void TestAutomation::callFailures()
{
    QFETCH(QByteArray, rule);
    QFETCH(QString, method);
    QFETCH(QStringList, arguments);
    QFETCH(int, failure);
    QFETCH(QString, description);
    QFETCH(int, callsJournaled);
    if (!rule.isEmpty())
        m_directory.writeScript(R"({"rules": [{"method": ")" + method.toUtf8() + "\", " + rule + "}]}");

    const auto object = create();
    QStringList values = arguments;
    const Failure outcome = outcomeOf([&] { object->call(method, values); });
    QCOMPARE(outcome.number(), failure);
    QCOMPARE(outcome.description(), description);
    QCOMPARE(values, arguments); // nothing copied back from a failed call
    QCOMPARE(m_directory.summary({QStringLiteral("call")}).size(), callsJournaled);

    // The object stays usable.
    QStringList article{QStringLiteral("D1"), QStringLiteral("A1"), QStringLiteral("1")};
    QCOMPARE(object->call(QStringLiteral("InventaireArticle"), article), QVariant(true));
}

void TestAutomation::errorAtNthCall()
{
    m_directory.writeScript(R"({"rules": [{"method": "InventaireArticle", "call": 2, "error": "Article A2 bloqué"}]})");
    const auto first = create();
    // Each object reads the script when it is made, and counts its own calls.
    m_directory.writeScript(R"({"rules": [{"method": "InventaireArticle", "call": 1, "error": "Article B1 bloqué"}]})");
    const auto second = create();
    QStringList outcomes;
    for (const auto &step : {std::pair{first, "A1"}, {first, "A2"}, {second, "B1"}, {first, "A3"}, {second, "B2"}}) {
        QStringList arguments{QStringLiteral("D1"), QString::fromLatin1(step.second), QStringLiteral("1")};
        const Failure outcome = outcomeOf([&] { step.first->call(QStringLiteral("InventaireArticle"), arguments); });
        outcomes << QString::number(outcome.number()) + QLatin1Char(' ') + outcome.description();
    }
    QCOMPARE(outcomes, (QStringList{"0 ", "440 Article A2 bloqué", "440 Article B1 bloqué", "0 ", "0 "})); // 440: AutomationError
}

void TestAutomation::callsCopiedBackAndJournaled()
{
    m_directory.writeScript(R"({"rules": [{"method": "Init", "out": ["S2", null, "Éloïse"]},
                                          {"method": "InitInventaire", "out": ["D2"]}]})");
    QStringList copiedBack;
    {
        const auto object = create();
        for (QStringList call : {QStringList{"Init", "S1", "", ""}, {"InitInventaire", "D1"}, {"InventaireArticle", "D1", "X", "2,5"},
                                 {"InventaireArticle", "D1", "", "0"}, {"ValidationInventaire", "D1"}}) {
            QCOMPARE(object->call(call.takeFirst(), call), QVariant(true)); // the default answer
            copiedBack << call.join(QLatin1Char('|'));
        }
    }
    QCOMPARE(copiedBack, (QStringList{"S2||Éloïse", "D2", "D1|X|2,5", "D1||0", "D1"}));
    // The server saw the values as they were before each call.
    QCOMPARE(m_directory.summary(), (QStringList{"start", "create /1", "call /1 Init S1||", "call /1 InitInventaire D1",
                                                 "call /1 InventaireArticle D1|X|2,5", "call /1 InventaireArticle D1||0",
                                                 "call /1 ValidationInventaire D1", "release /1"}));
}

void TestAutomation::releasedWithLastReference()
{
    auto object = create();
    auto copy = object;
    object.reset();
    QCOMPARE(m_directory.summary({QStringLiteral("release")}), QStringList());
    copy.reset();
    // The release is done when the last reference is gone, not later.
    QCOMPARE(m_directory.summary({QStringLiteral("release")}), QStringList{QStringLiteral("release /1")});
    QVERIFY(waitUntil([&] { return !hasOwner(m_bus, Kelmar); }));
    QCOMPARE(m_directory.summary().last(), QStringLiteral("exit idle"));
}

void TestAutomation::creationFailures_data()
{
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QString>("busText"); // part of the bus's words after the prefix

    QTest::newRow("no server for the name") << "GestionAbsente.ClsProjet" << "not provided by any .service files";
    QTest::newRow("server exits at start") << "GestionEchec.ClsProjet" << "exited with status 2";
    QTest::newRow("server program missing") << "GestionManquante.ClsProjet" << "Failed to execute program";
    for (const char *name : {"ClsProjet", "Gestion..ClsProjet", "Gestion.1ClsProjet", "Gestion-Kelmar.ClsProjet", "Gestion.Clé"})
        QTest::addRow("not a bus name: %s", name) << QString::fromUtf8(name) << "identifiant programmatique non valide sur D-Bus";
}

void TestAutomation::creationFailures()
{
    QFETCH(QString, progId);
    QFETCH(QString, busText);
    const Failure outcome = outcomeOf([&] { create(progId); });
    QCOMPARE(outcome.number(), int(Failure::CannotCreateObject));
    const QString prefix = QStringLiteral("Impossible de créer l'objet ") + progId + QStringLiteral(" : ");
    QVERIFY2(outcome.description().startsWith(prefix) && outcome.description().mid(prefix.size()).contains(busText),
             qPrintable(outcome.description()));
}

void TestAutomation::noSessionBus()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "DBUS_STARTER_ADDRESS", "DBUS_STARTER_BUS_TYPE", "DISPLAY", "XDG_RUNTIME_DIR"})
        environment.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TIRVANO_CREATE_OBJECT), {Kelmar});
    QVERIFY(process.waitForFinished(30000));
    const QString output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    const QString expected = QStringLiteral("429\tImpossible de créer l'objet GestionKelmar.ClsProjet, le bus D-Bus est inaccessible : ");
    QVERIFY2(output.startsWith(expected) && output.size() > expected.size(), qPrintable(output));
    QCOMPARE(process.exitCode(), 1);
}

void TestAutomation::serverKilledDuringCall()
{
    m_directory.writeScript(R"({"rules": [{"method": "ValidationInventaire", "delayMs": 60000}]})");
    const auto object = create();
    const qint64 pid = ownerPid(m_bus, Kelmar);
    QVERIFY(pid > 0);

    std::thread killer([&] { // once the server is inside the call
        waitUntil([&] { return m_directory.summary({QStringLiteral("call")}).size() == 1; }, 20000);
        ::kill(pid_t(pid), SIGKILL);
    });
    QElapsedTimer timer;
    timer.start();
    QStringList depot{QStringLiteral("D1")};
    const Failure outcome = outcomeOf([&] { object->call(QStringLiteral("ValidationInventaire"), depot); });
    const qint64 elapsed = timer.elapsed();
    killer.join();

    QCOMPARE(outcome.number(), int(Failure::ServerUnavailable));
    const QString unavailable = QStringLiteral("Le serveur distant n'existe pas ou n'est pas disponible : ");
    QVERIFY2(outcome.description().startsWith(unavailable), qPrintable(outcome.description()));
    // Ended by the server's death, far from the 60 s the server would have taken.
    QVERIFY2(elapsed < 15000, qPrintable(QString::number(elapsed)));

    // The object's later calls fail alike: no new server is started behind the caller's back.
    const Failure again = outcomeOf([&] { object->call(QStringLiteral("InitInventaire"), depot); });
    QCOMPARE(again.number(), int(Failure::ServerUnavailable));
    QCOMPARE(m_directory.summary({QStringLiteral("start")}).size(), 1);
}

void TestAutomation::longCallIsNotCutShort()
{
    // Longer than libdbus's default reply timeout of 25 seconds: the proof that the client sets
    // no time limit of its own. It costs the suite 27 s.
    m_directory.writeScript(R"({"rules": [{"method": "ValidationInventaire", "delayMs": 27000, "result": {"type": "i", "value": 7}}]})");
    QStringList depot{QStringLiteral("D1")};
    QCOMPARE(create()->call(QStringLiteral("ValidationInventaire"), depot), QVariant(7));
}

QTEST_GUILESS_MAIN(TestAutomation)
#include "tst_automation.moc"
