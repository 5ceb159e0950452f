#include "platform/dbusautomation.h"
#include "platform/failure.h"
#include "platform/variantint16.h"
#include "tests/support/testbus.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <atomic>
#include <thread>

using namespace testbus;

namespace {

struct Outcome
{
    int number = 0; // 0: no failure
    QString description;
};

template <typename Action>
Outcome outcomeOf(Action &&action)
{
    try {
        action();
        return {};
    } catch (const Failure &failure) {
        return {failure.number(), failure.description()};
    }
}

} // namespace

// The automation client against the reference server, on the suite's private bus.
class TestAutomation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void callCopiesArgumentsBack();
    void depotRewrittenByServerReachesLaterCalls();
    void results_data();
    void results();
    void callFailures_data();
    void callFailures();
    void errorAtNthCall();
    void journalRecordsEveryCallInOrder_data();
    void journalRecordsEveryCallInOrder();
    void releasedWithLastReference();
    void creationFailures_data();
    void creationFailures();
    void busNotConnected();
    void noSessionBus();
    void serverKilledDuringCall();
    void deadServerIsNotStartedAgain();
    void longCallIsNotCutShort();

private:
    std::shared_ptr<AutomationObject> create(const QString &progId = Kelmar) { return m_automation.createObject(progId); }

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    ServerDirectory m_directory;
    DBusAutomation m_automation; // the session-bus factory, as the program uses it
};

void TestAutomation::initTestCase()
{
    QVERIFY2(m_bus.isConnected(), "the suite runs under dbus-run-session with the test bus configuration");
    QVERIFY(setActivationEnvironment(m_bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), m_directory.path()},
                                             {QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QStringLiteral("500")}}));
}

void TestAutomation::init()
{
    // Every test starts with no server running, default answers and an empty journal.
    QVERIFY(killServer(m_bus, Kelmar));
    QVERIFY(killServer(m_bus, Dovane));
    m_directory.clear();
}

void TestAutomation::callCopiesArgumentsBack()
{
    m_directory.writeScript(R"({"rules": [{"method": "Init", "out": ["S2", null, "Éloïse"]}]})");
    const auto object = create();
    QStringList arguments{QStringLiteral("S1"), QString(), QString()};
    const QVariant result = object->call(QStringLiteral("Init"), arguments);
    QCOMPARE(arguments, (QStringList{QStringLiteral("S2"), QString(), QStringLiteral("Éloïse")}));
    QCOMPARE(result, QVariant(true));
    // The server saw the values as they were before the call.
    QCOMPARE(m_directory.summary({QStringLiteral("call")}), QStringList{QStringLiteral("call /1 Init S1||")});
}

void TestAutomation::depotRewrittenByServerReachesLaterCalls()
{
    m_directory.writeScript(R"({"rules": [{"method": "InitInventaire", "call": 1, "out": ["D2"]}]})");
    const auto object = create();
    QStringList depot{QStringLiteral("D1")};
    object->call(QStringLiteral("InitInventaire"), depot);
    QCOMPARE(depot, QStringList{QStringLiteral("D2")});

    QStringList article{depot.front(), QStringLiteral("A1"), QStringLiteral("5")};
    object->call(QStringLiteral("InventaireArticle"), article);
    QCOMPARE(m_directory.summary({QStringLiteral("call")}),
             (QStringList{QStringLiteral("call /1 InitInventaire D1"), QStringLiteral("call /1 InventaireArticle D2|A1|5")}));
}

void TestAutomation::results_data()
{
    QTest::addColumn<QByteArray>("result"); // the script's result; empty: no script
    QTest::addColumn<int>("type");          // QMetaType id of the value, 0 for no value
    QTest::addColumn<int>("expected");      // after variantToInt16
    QTest::addColumn<int>("failure");       // of variantToInt16, 0 for none

    const int mismatch = Failure::TypeMismatch;
    const int overflow = Failure::Overflow;
    QTest::newRow("default answer") << QByteArray() << int(QMetaType::Bool) << -1 << 0;
    QTest::newRow("true") << QByteArray(R"({"type": "b", "value": true})") << int(QMetaType::Bool) << -1 << 0;
    QTest::newRow("false") << QByteArray(R"({"type": "b", "value": false})") << int(QMetaType::Bool) << 0 << 0;
    QTest::newRow("int 1") << QByteArray(R"({"type": "i", "value": 1})") << int(QMetaType::Int) << 1 << 0;
    QTest::newRow("int 40000") << QByteArray(R"({"type": "i", "value": 40000})") << int(QMetaType::Int) << 0 << overflow;
    QTest::newRow("text 12") << QByteArray(R"({"type": "s", "value": "12"})") << int(QMetaType::QString) << 12 << 0;
    QTest::newRow("text with blanks") << QByteArray(R"({"type": "s", "value": " 12 "})") << int(QMetaType::QString) << 12 << 0;
    QTest::newRow("text abc") << QByteArray(R"({"type": "s", "value": "abc"})") << int(QMetaType::QString) << 0 << mismatch;
    QTest::newRow("double 2.5") << QByteArray(R"({"type": "d", "value": 2.5})") << int(QMetaType::Double) << 2 << 0;
    QTest::newRow("double 3.5") << QByteArray(R"({"type": "d", "value": 3.5})") << int(QMetaType::Double) << 4 << 0;
    QTest::newRow("byte") << QByteArray(R"({"type": "y", "value": 200})") << int(QMetaType::UChar) << 200 << 0;
    QTest::newRow("int16") << QByteArray(R"({"type": "n", "value": -5})") << int(QMetaType::Short) << -5 << 0;
    QTest::newRow("uint16 40000") << QByteArray(R"({"type": "q", "value": 40000})") << int(QMetaType::UShort) << 0 << overflow;
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
    if (!result.isEmpty())
        m_directory.writeScript(R"({"rules": [{"method": "InitInventaire", "result": )" + result + "}]}");

    QStringList depot{QStringLiteral("D1")};
    const QVariant value = create()->call(QStringLiteral("InitInventaire"), depot);
    QCOMPARE(value.isValid() ? value.metaType().id() : 0, type);
    QCOMPARE(depot, QStringList{QStringLiteral("D1")});
    qint16 converted = 0;
    const Outcome outcome = outcomeOf([&] { converted = variantToInt16(value); });
    QCOMPARE(outcome.number, failure);
    QCOMPARE(int(converted), expected);
}

void TestAutomation::callFailures_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("callsJournaled");

    const QStringList depot{QStringLiteral("D1")};
    QTest::newRow("error reply, shown as it stands")
        << QByteArray(R"({"rules": [{"method": "ValidationInventaire", "error": "Inventaire verrouillé par un autre poste"}]})")
        << QStringLiteral("ValidationInventaire") << depot << int(Failure::AutomationError)
        << QStringLiteral("Inventaire verrouillé par un autre poste") << 1;
    QTest::newRow("error reply under a name of the bus's own")
        << QByteArray(R"({"rules": [{"method": "ValidationInventaire", "error": "Refusé", "errorName": "org.freedesktop.DBus.Error.AccessDenied"}]})")
        << QStringLiteral("ValidationInventaire") << depot << int(Failure::AutomationError) << QStringLiteral("Refusé") << 1;
    QTest::newRow("unknown method") << QByteArray() << QStringLiteral("ClotureInventaire") << depot << int(Failure::UnknownMethod)
                                    << QStringLiteral("Cet objet ne gère pas cette propriété ou cette méthode : "
                                                      "Méthode inconnue de GestionKelmar.ClsProjet : ClotureInventaire")
                                    << 0;
    QTest::newRow("method name D-Bus cannot carry") << QByteArray() << QStringLiteral("Init Inventaire") << depot << int(Failure::UnknownMethod)
                                                    << QStringLiteral("Cet objet ne gère pas cette propriété ou cette méthode : nom de méthode non valide sur D-Bus : Init Inventaire") << 0;
    QTest::newRow("wrong argument count") << QByteArray() << QStringLiteral("InitInventaire") << QStringList{QStringLiteral("D1"), QStringLiteral("D2")}
                                          << int(Failure::AutomationError)
                                          << QStringLiteral("InitInventaire attend 1 argument(s) texte (signature \"s\"), reçu \"ss\"") << 0;
    QTest::newRow("reply without result and arguments")
        << QByteArray(R"({"rules": [{"method": "Init", "malformed": true}]})") << QStringLiteral("Init")
        << QStringList{QStringLiteral("S1"), QString(), QString()} << int(Failure::AutomationError)
        << QStringLiteral("Réponse incorrecte du serveur à Init : signature \"s\" au lieu de \"vsss\"") << 1;
    QTest::newRow("array result") << QByteArray(R"({"rules": [{"method": "InitInventaire", "result": {"type": "ai", "value": [1, 2]}}]})")
                                  << QStringLiteral("InitInventaire") << depot << int(Failure::AutomationError)
                                  << QStringLiteral("Réponse incorrecte du serveur à InitInventaire : résultat de type \"ai\"") << 1;
    QTest::newRow("text array result") << QByteArray(R"({"rules": [{"method": "InitInventaire", "result": {"type": "as", "value": ["1"]}}]})")
                                       << QStringLiteral("InitInventaire") << depot << int(Failure::AutomationError)
                                       << QStringLiteral("Réponse incorrecte du serveur à InitInventaire : résultat de type \"QStringList\"") << 1;
    QTest::newRow("nul character in an argument")
        << QByteArray() << QStringLiteral("InventaireArticle")
        << QStringList{QStringLiteral("D1"), QStringLiteral("A") + QChar(0) + QStringLiteral("1"), QStringLiteral("5")}
        << int(Failure::AutomationError)
        << QStringLiteral("L'argument 2 de InventaireArticle contient un caractère nul, que D-Bus ne peut pas transmettre") << 0;
}

void TestAutomation::callFailures()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, method);
    QFETCH(QStringList, arguments);
    QFETCH(int, failure);
    QFETCH(QString, description);
    QFETCH(int, callsJournaled);
    if (!script.isEmpty())
        m_directory.writeScript(script);

    const auto object = create();
    QStringList values = arguments;
    const Outcome outcome = outcomeOf([&] { object->call(method, values); });
    QCOMPARE(outcome.number, failure);
    QCOMPARE(outcome.description, description);
    QCOMPARE(values, arguments); // nothing copied back from a failed call
    QCOMPARE(m_directory.summary({QStringLiteral("call")}).size(), callsJournaled);

    // The object stays usable.
    QStringList article{QStringLiteral("D1"), QStringLiteral("A1"), QStringLiteral("1")};
    QCOMPARE(object->call(QStringLiteral("InventaireArticle"), article), QVariant(true));
}

void TestAutomation::errorAtNthCall()
{
    m_directory.writeScript(R"({"rules": [{"method": "InventaireArticle", "call": 2, "error": "Article A2 bloqué"}]})");
    const auto object = create();
    QList<Outcome> outcomes;
    for (const char *code : {"A1", "A2", "A3"}) {
        QStringList arguments{QStringLiteral("D1"), QString::fromLatin1(code), QStringLiteral("1")};
        outcomes.append(outcomeOf([&] { object->call(QStringLiteral("InventaireArticle"), arguments); }));
    }
    QCOMPARE(outcomes[0].number, 0);
    QCOMPARE(outcomes[1].number, int(Failure::AutomationError));
    QCOMPARE(outcomes[1].description, QStringLiteral("Article A2 bloqué"));
    QCOMPARE(outcomes[2].number, 0);
}

void TestAutomation::journalRecordsEveryCallInOrder_data()
{
    QTest::addColumn<QString>("progId");
    QTest::newRow("Kelmar") << Kelmar;
    QTest::newRow("Dovane") << Dovane;
}

void TestAutomation::journalRecordsEveryCallInOrder()
{
    QFETCH(QString, progId);
    {
        const auto object = create(progId);
        QStringList init{QStringLiteral("S1"), QString(), QString()};
        object->call(QStringLiteral("Init"), init);
        QStringList depot{QStringLiteral("D1")};
        object->call(QStringLiteral("InitInventaire"), depot);
        for (const char *line : {"X|1", "Y|2,5", "|0"}) {
            const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('|'));
            QStringList arguments{depot.front(), fields[0], fields[1]};
            object->call(QStringLiteral("InventaireArticle"), arguments);
        }
        object->call(QStringLiteral("ValidationInventaire"), depot);
    }
    QCOMPARE(m_directory.summary(), (QStringList{
                                        QStringLiteral("start"),
                                        QStringLiteral("create /1"),
                                        QStringLiteral("call /1 Init S1||"),
                                        QStringLiteral("call /1 InitInventaire D1"),
                                        QStringLiteral("call /1 InventaireArticle D1|X|1"),
                                        QStringLiteral("call /1 InventaireArticle D1|Y|2,5"),
                                        QStringLiteral("call /1 InventaireArticle D1||0"),
                                        QStringLiteral("call /1 ValidationInventaire D1"),
                                        QStringLiteral("release /1"),
                                    }));
    const QList<QJsonObject> journal = m_directory.journal();
    for (const QJsonObject &entry : journal)
        QCOMPARE(entry.value(QStringLiteral("progId")).toString(), progId);
    QCOMPARE(journal[4].value(QStringLiteral("call")).toInt(), 1);
    QCOMPARE(journal[6].value(QStringLiteral("call")).toInt(), 3);
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

    QTest::newRow("no server for the name") << QStringLiteral("GestionAbsente.ClsProjet") << QStringLiteral("not provided by any .service files");
    QTest::newRow("server exits at start") << QStringLiteral("GestionEchec.ClsProjet") << QStringLiteral("exited with status 2");
    QTest::newRow("server program missing") << QStringLiteral("GestionManquante.ClsProjet") << QStringLiteral("Failed to execute program");
    for (const char *name : {"ClsProjet", "Gestion..ClsProjet", "Gestion.1ClsProjet", "Gestion-Kelmar.ClsProjet", "Gestion.Clé"})
        QTest::addRow("not a bus name: %s", name) << QString::fromUtf8(name) << QStringLiteral("identifiant programmatique non valide sur D-Bus");
}

void TestAutomation::creationFailures()
{
    QFETCH(QString, progId);
    QFETCH(QString, busText);
    const Outcome outcome = outcomeOf([&] { create(progId); });
    QCOMPARE(outcome.number, int(Failure::CannotCreateObject));
    const QString prefix = QStringLiteral("Impossible de créer l'objet ") + progId + QStringLiteral(" : ");
    QVERIFY2(outcome.description.startsWith(prefix), qPrintable(outcome.description));
    QVERIFY2(outcome.description.mid(prefix.size()).contains(busText), qPrintable(outcome.description));
}

void TestAutomation::busNotConnected()
{
    const QDBusConnection nowhere = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/tirvano-bus"), QStringLiteral("nowhere"));
    QVERIFY(!nowhere.isConnected());
    const Outcome outcome = outcomeOf([&] { DBusAutomation(nowhere).createObject(Kelmar); });
    QCOMPARE(outcome.number, int(Failure::CannotCreateObject));
    const QString prefix = QStringLiteral("Impossible de créer l'objet GestionKelmar.ClsProjet, le bus D-Bus est inaccessible : ");
    QVERIFY2(outcome.description.startsWith(prefix) && outcome.description.size() > prefix.size(), qPrintable(outcome.description));
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

    // Kills the server once it is inside the call.
    std::atomic<bool> killed = false;
    std::thread killer([&] {
        killed = waitUntil([&] { return m_directory.summary({QStringLiteral("call")}).size() == 1; }, 20000);
        ::kill(pid_t(pid), SIGKILL);
    });
    QElapsedTimer timer;
    timer.start();
    QStringList depot{QStringLiteral("D1")};
    const Outcome outcome = outcomeOf([&] { object->call(QStringLiteral("ValidationInventaire"), depot); });
    const qint64 elapsed = timer.elapsed();
    killer.join();

    QVERIFY(killed);
    QCOMPARE(outcome.number, int(Failure::ServerUnavailable));
    QVERIFY2(outcome.description.startsWith(QStringLiteral("Le serveur distant n'existe pas ou n'est pas disponible : ")), qPrintable(outcome.description));
    // Ended by the server's death, far from the 60 s the server would have taken.
    QVERIFY2(elapsed < 15000, qPrintable(QString::number(elapsed)));
}

void TestAutomation::deadServerIsNotStartedAgain()
{
    const auto object = create();
    QStringList depot{QStringLiteral("D1")};
    object->call(QStringLiteral("InitInventaire"), depot);
    QVERIFY(killServer(m_bus, Kelmar));

    const Outcome outcome = outcomeOf([&] { object->call(QStringLiteral("InitInventaire"), depot); });
    QCOMPARE(outcome.number, int(Failure::ServerUnavailable));
    QVERIFY(!hasOwner(m_bus, Kelmar));
    QCOMPARE(m_directory.summary({QStringLiteral("start")}).size(), 1);
}

void TestAutomation::longCallIsNotCutShort()
{
    // Longer than libdbus's default reply timeout of 25 seconds.
    m_directory.writeScript(R"({"rules": [{"method": "ValidationInventaire", "delayMs": 27000, "result": {"type": "i", "value": 7}}]})");
    const auto object = create();
    QStringList depot{QStringLiteral("D1")};
    QCOMPARE(object->call(QStringLiteral("ValidationInventaire"), depot), QVariant(7));
}

QTEST_GUILESS_MAIN(TestAutomation)
#include "tst_automation.moc"
