#include "platform/dbusautomation.h"
#include "tests/support/failures.h"
#include "tests/support/tables.h"
#include "tests/support/testbus.h"

#include <thread>

using namespace testbus;

// The automation client against the reference server, on the suite's private bus; the tables
// are in tests/data/automation.tsv.
class TestAutomation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        // Every test starts with no server running, default answers and an empty journal.
        QVERIFY(setActivationEnvironment(
            m_bus, {{"TIRVANO_SERVER_DIR", m_directory.path()}, {"TIRVANO_SERVER_IDLE_MS", "500"}}));
        QVERIFY(killServer(m_bus, Kelmar) && killServer(m_bus, Dovane));
        m_directory.clear();
    }
    void calls_data() { addTableRows("automation.tsv", "calls"); }
    void calls()
    {
        QFETCH(QByteArrayList, row); // script, method, arguments, type of the result or failure, calls seen
        if (!row[0].isEmpty())
            m_directory.writeScript("{\"rules\": [{\"method\": \"" + row[1] + "\", " + row[0] + "}]}");
        const auto object = m_automation.createObject(Kelmar);
        const QStringList arguments = QString::fromUtf8(row[2]).split(QLatin1Char('|'));
        QStringList values = arguments;
        QVariant result;
        const QString failure = failureOf([&] { result = object->call(QString::fromUtf8(row[1]), values); });
        QCOMPARE(!failure.isEmpty() ? failure
                 : result.isValid() ? result.metaType().name()
                                    : "none",
                 QString::fromUtf8(row[3]));
        QCOMPARE(values, arguments); // nothing copied back from a failed call, nor changed by these scripts
        QCOMPARE(m_directory.summary({QStringLiteral("call")}).size(), row[4].toInt());
        QStringList article{QStringLiteral("D1"), QStringLiteral("A1"), QStringLiteral("1")};
        QCOMPARE(object->call(QStringLiteral("InventaireArticle"), article), QVariant(true)); // the object stays usable
    }
    void argumentsCopiedBack()
    {
        m_directory.writeScript(R"({"rules": [{"method": "Init", "out": ["S2", null, "Éloïse"]},
                                              {"method": "InitInventaire", "out": ["D2"]}]})");
        QStringList copiedBack;
        {
            const auto object = m_automation.createObject(Kelmar);
            for (QStringList call : {QStringList{"Init", "S1", "", ""},
                                     {"InitInventaire", "D1"},
                                     {"InventaireArticle", "D1", "X", "2,5"},
                                     {"ValidationInventaire", "D1"}}) {
                QCOMPARE(object->call(call.takeFirst(), call), QVariant(true)); // the default answer
                copiedBack << call.join(QLatin1Char('|'));
            }
        }
        QCOMPARE(copiedBack, (QStringList{"S2||Éloïse", "D2", "D1|X|2,5", "D1"}));
        // The server saw the values as they were before each call, and the release of the last reference.
        QCOMPARE(m_directory.summary(),
                 (QStringList{"start", "create /1", "call /1 Init S1||", "call /1 InitInventaire D1",
                              "call /1 InventaireArticle D1|X|2,5", "call /1 ValidationInventaire D1", "release /1"}));
    }
    void creationFailures_data() { addTableRows("automation.tsv", "creation"); }
    void creationFailures()
    {
        QFETCH(QByteArrayList, row); // programmatic identifier, words of the bus
        const QString failure = failureOf([&] { m_automation.createObject(QString::fromUtf8(row[0])); });
        QVERIFY2(failure.startsWith("429 Impossible de créer l'objet " + QString::fromUtf8(row[0]) + " : ")
                     && failure.contains(QString::fromUtf8(row[1])),
                 qPrintable(failure));
    }
    void noBus()
    {
        DBusAutomation automation(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"), QStringLiteral("absent")));
        const QString failure = failureOf([&] { automation.createObject(Kelmar); });
        QVERIFY(failure.startsWith(
            "429 Impossible de créer l'objet GestionKelmar.ClsProjet, le bus D-Bus est inaccessible : "));
    }
    void serverKilledDuringCall()
    {
        m_directory.writeScript(R"({"rules": [{"method": "ValidationInventaire", "delayMs": 60000}]})");
        const auto object = m_automation.createObject(Kelmar);
        const qint64 pid = ownerPid(m_bus, Kelmar);
        std::thread killer([&] { // once the server is inside the call
            waitUntil([&] { return m_directory.summary({QStringLiteral("call")}).size() == 1; }, 20000);
            ::kill(pid_t(pid), SIGKILL);
        });
        // The server's death ends the call; a client that missed it would wait without limit.
        const QString failure = failureOf([&] { object->call(QStringLiteral("ValidationInventaire"), m_depot); });
        killer.join();
        QVERIFY(failure.startsWith("462 Le serveur distant n'existe pas ou n'est pas disponible : "));
        // Later calls fail alike: no new server is started behind the caller's back.
        QVERIFY(failureOf([&] { object->call(QStringLiteral("InitInventaire"), m_depot); }).startsWith("462 "));
        QCOMPARE(m_directory.summary({QStringLiteral("start")}).size(), 1);
    }
    void longCallIsNotCutShort()
    {
        // Longer than libdbus's default reply timeout of 25 seconds: the client sets no limit of its own.
        m_directory.writeScript(
            R"({"rules": [{"method": "ValidationInventaire", "delayMs": 27000, "result": {"type": "i", "value": 7}}]})");
        QCOMPARE(m_automation.createObject(Kelmar)->call(QStringLiteral("ValidationInventaire"), m_depot), QVariant(7));
    }

private:
    QDBusConnection m_bus = QDBusConnection::sessionBus();
    ServerDirectory m_directory;
    DBusAutomation m_automation; // the session-bus factory, as the program uses it
    QStringList m_depot{QStringLiteral("D1")};
};

QTEST_GUILESS_MAIN(TestAutomation)
#include "tst_automation.moc"
