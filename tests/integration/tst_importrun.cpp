// The import run end to end with the real parts: the reference server started on demand by the
// suite's private bus and reached through DBusAutomation, databases written by our writer and
// read by libmdb, count files on disk in Windows-1252. What the server received is read from
// its journal. The window stays out (its part is tested in tests/app).
#include "import/inventaire.h"
#include "platform/dbusautomation.h"
#include "platform/mdbdatabase.h"
#include "tests/support/articledb.h"
#include "tests/support/fakeimportview.h"
#include "tests/support/privatebus.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/testbus.h"
#include "tests/testlocale.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>

#include <atomic>
#include <thread>

using namespace testbus;

namespace {

const QString kDone = QStringLiteral("Importation d'inventaire terminée ...");
const QString kFailure = QStringLiteral("Erreur dans votre fichier d'inventaire: ");
const QString kMissing = QStringLiteral(
    "Certains articles n'ont pu être remontés. Vous trouverez une liste de ces articles dans le fichier\r\n\r\n");
const QString kOpening = QStringLiteral("Ouverture du serveur ...");
const QString kImporting = QStringLiteral("Importation des données ...");
const QString kClosing = QStringLiteral("Fermeture du serveur ...");
const QString kTitle = QStringLiteral("InventaireTirvano");

// What the servers did, without their exits, which come on their own time.
const QStringList kEvents{QStringLiteral("start"), QStringLiteral("create"), QStringLiteral("call"),
                          QStringLiteral("release"), QStringLiteral("drop")};

// The journal of one server that made object /1 and was asked the calls (short form
// "Init SOC||"), released at the end or not.
QStringList journalOf(const QStringList &calls, bool released)
{
    QStringList lines{QStringLiteral("start"), QStringLiteral("create /1")};
    for (const QString &call : calls)
        lines << QStringLiteral("call /1 ") + call;
    if (released)
        lines << QStringLiteral("release /1");
    return lines;
}

const QStringList kOpeningCalls{QStringLiteral("Init SOC||"), QStringLiteral("InitInventaire DEP")};

QStringList opened(const QStringList &more)
{
    return kOpeningCalls + more;
}

} // namespace

class TestImportRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void completeRuns_data();
    void completeRuns();
    void unknownCodeSentEmptyAndReported();
    void emptyLineKeepsTheServerForTheNextRun();
    void itemCountOverflowBeforeInit();
    void serverNotCreated_data();
    void serverNotCreated();
    void fileNotOpened_data();
    void fileNotOpened();
    void serverFailures_data();
    void serverFailures();
    void serverKilledDuringTheRun();

private:
    void writeCountFile(const QByteArray &content) const;
    std::unique_ptr<Inventaire> makeRun(AutomationFactory &automation);
    QStringList journal() const { return m_server.summary(kEvents); }
    QString reportPath() const { return m_executable.beside(QStringLiteral("Err_Inventaire.txt")); }
    void verifyFailureShown(const QString &description) const;

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    ServerDirectory m_server;
    QTemporaryDir m_databases;
    QString m_gestion; // the management database of every case
    DBusAutomation m_automation{m_bus};

    std::unique_ptr<QTemporaryDir> m_dir; // stands for the executable's directory
    Executable m_executable;
    RecordingDialogs m_dialogs;
    FakeImportView m_view;
    std::unique_ptr<Inventaire> m_run;
};

void TestImportRun::initTestCase()
{
    QVERIFY2(m_bus.isConnected(), "the suite runs under dbus-run-session with the test bus configuration");
    QVERIFY(setActivationEnvironment(m_bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), m_server.path()},
                                             {QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QStringLiteral("500")}}));
    // Z's barcode is null and A1's is empty: the empty code finds A1, not Z.
    m_gestion = writeArticles(m_databases.filePath(QStringLiteral("gestion.mdb")),
                              {article(QStringLiteral("X"), QStringLiteral("3000000000001")),
                               article(QStringLiteral("Y"), QStringLiteral("3000000000002")),
                               article(QStringLiteral("Z"), std::nullopt),
                               article(QStringLiteral("A1"), QString()),
                               article(QStringLiteral("ÉCROU"), QStringLiteral("3000000000005"))});
}

void TestImportRun::init()
{
    // Every case starts with no server running, default answers and an empty journal.
    QVERIFY(killServer(m_bus, Kelmar));
    QVERIFY(killServer(m_bus, Dovane));
    m_server.clear();

    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_executable = {m_dir->path(), kTitle};
    m_dialogs = {};
    m_view = {};
    m_view.gestion = m_gestion;
    m_view.chemin = m_dir->filePath(QStringLiteral("comptage.txt"));
    m_run = makeRun(m_automation);
}

void TestImportRun::cleanup()
{
    // A server object still held is released here, while its server may still answer.
    m_run.reset();
}

std::unique_ptr<Inventaire> TestImportRun::makeRun(AutomationFactory &automation)
{
    return std::make_unique<Inventaire>(automation, openMdbDatabase, m_dialogs, m_view, m_executable);
}

void TestImportRun::writeCountFile(const QByteArray &content) const
{
    QFile file(m_view.chemin);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

void TestImportRun::verifyFailureShown(const QString &description) const
{
    QCOMPARE(m_dialogs.events, QStringList{QStringLiteral("message:") + kFailure + description});
    QCOMPARE(m_dialogs.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(m_dialogs.messages[0].title, std::optional(kTitle));
    QCOMPARE(m_dialogs.beeps, 0);
}

void TestImportRun::completeRuns_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("gestion");
    QTest::addColumn<QByteArray>("script"); // empty: default answers
    QTest::addColumn<QByteArray>("countFile");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<float>("bar"); // the bar's value at the end

    const QByteArray threeLines = "X;1;\r\nY;2;\r\nZ;3;\r\n";
    const QStringList threeCalls = opened({"InventaireArticle DEP|X|1", "InventaireArticle DEP|Y|2",
                                           "InventaireArticle DEP|Z|3", "ValidationInventaire DEP"});
    QTest::newRow("three lines, Kelmar") << "virgule" << 1 << QByteArray() << threeLines << threeCalls << 100.0f;
    QTest::newRow("three lines, Dovane") << "virgule" << 2 << QByteArray() << threeLines << threeCalls << 100.0f;
    QTest::newRow("line ends LF, lone CR, none")
        << "virgule" << 1 << QByteArray() << QByteArray("X;1;\nY;2;\rZ;3;") << threeCalls << 100.0f;

    // Only exactly -1 opens the sending pass; the closing steps follow either way.
    const auto startAnswer = [](const char *result) {
        return QByteArray(R"({"rules": [{"method": "InitInventaire", "result": )") + result + "}]}";
    };
    QTest::newRow("InitInventaire gives false")
        << "virgule" << 1 << startAnswer(R"({"type": "b", "value": false})") << threeLines << kOpeningCalls << 0.0f;
    QTest::newRow("InitInventaire gives 1")
        << "virgule" << 1 << startAnswer(R"({"type": "i", "value": 1})") << threeLines << kOpeningCalls << 0.0f;
    QTest::newRow("InitInventaire gives no value")
        << "virgule" << 1 << startAnswer(R"({"type": "none"})") << threeLines << kOpeningCalls << 0.0f;
    QTest::newRow("InitInventaire gives the text -1")
        << "point" << 1 << startAnswer(R"({"type": "s", "value": " -1 "})") << threeLines << threeCalls << 100.0f;
    QTest::newRow("InitInventaire gives the 64-bit -1")
        << "point" << 1 << startAnswer(R"({"type": "x", "value": -1})") << threeLines << threeCalls << 100.0f;

    QTest::newRow("empty count file") << "virgule" << 1 << QByteArray() << QByteArray()
                                      << opened({"ValidationInventaire DEP"}) << 0.0f;

    // The depot is one variable: what the server makes of it, later calls send.
    QTest::newRow("depot rewritten by InitInventaire")
        << "virgule" << 1 << QByteArray(R"({"rules": [{"method": "InitInventaire", "out": ["DÉPÔT 2"]}]})") << threeLines
        << opened({"InventaireArticle DÉPÔT 2|X|1", "InventaireArticle DÉPÔT 2|Y|2", "InventaireArticle DÉPÔT 2|Z|3",
                   "ValidationInventaire DÉPÔT 2"})
        << 100.0f;
    QTest::newRow("depot rewritten by the second InventaireArticle")
        << "virgule" << 1
        << QByteArray(R"({"rules": [{"method": "InventaireArticle", "call": 2, "out": ["DEP-3", "W", "99"]}]})")
        << threeLines
        << opened({"InventaireArticle DEP|X|1", "InventaireArticle DEP|Y|2", "InventaireArticle DEP-3|Z|3",
                   "ValidationInventaire DEP-3"})
        << 100.0f;

    // Two items a line with a decimal comma: the bar stops half way.
    QTest::newRow("decimal commas") << "virgule" << 1 << QByteArray() << QByteArray("X;1,5;\r\nY;2,25;\r\n")
                                    << opened({"InventaireArticle DEP|X|1,5", "InventaireArticle DEP|Y|2,25",
                                               "ValidationInventaire DEP"})
                                    << 50.0f;
    QTest::newRow("1,5 with the decimal comma") << "virgule" << 1 << QByteArray() << QByteArray("X;1,5;\r\n")
                                                << opened({"InventaireArticle DEP|X|1,5", "ValidationInventaire DEP"})
                                                << 50.0f;
    QTest::newRow("1,5 with the decimal point") << "point" << 1 << QByteArray() << QByteArray("X;1,5;\r\n")
                                                << opened({"InventaireArticle DEP|X|1.5", "ValidationInventaire DEP"})
                                                << 50.0f;
    QTest::newRow("quantity not closed") << "virgule" << 1 << QByteArray() << QByteArray("A1;5\r\n")
                                         << opened({"InventaireArticle DEP|A1|0", "ValidationInventaire DEP"}) << 100.0f;
    QTest::newRow("spaces only") << "virgule" << 1 << QByteArray() << QByteArray("   \r\nX;2;\r\n")
                                 << opened({"InventaireArticle DEP|A1|0", "InventaireArticle DEP|X|2",
                                            "ValidationInventaire DEP"})
                                 << 100.0f;
    QTest::newRow("barcode, letter case, Windows-1252")
        << "virgule" << 1 << QByteArray() << QByteArray("3000000000002;4;\r\nx;1;\r\n\xe9\x63rou;2;\r\n")
        << opened({"InventaireArticle DEP|Y|4", "InventaireArticle DEP|X|1", "InventaireArticle DEP|ÉCROU|2",
                   "ValidationInventaire DEP"})
        << 100.0f;
}

void TestImportRun::completeRuns()
{
    QFETCH(QString, locale);
    QFETCH(int, gestion);
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, countFile);
    QFETCH(QStringList, calls);
    QFETCH(float, bar);
    const ScopedLocale scoped(locale);
    if (!script.isEmpty())
        m_server.writeScript(script);
    writeCountFile(countFile);

    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), qint16(gestion));

    QCOMPARE(journal(), journalOf(calls, true));
    const QString progId = gestion == 1 ? Kelmar : Dovane;
    for (const QJsonObject &entry : m_server.journal())
        QCOMPARE(entry.value(QStringLiteral("progId")).toString(), progId);
    QVERIFY(!m_run->OLETIR());
    QCOMPARE(m_view.statuses, (QStringList{kOpening, kImporting, kClosing, kDone}));
    QVERIFY2(qAbs(m_view.value - bar) < 0.01f, qPrintable(QString::number(double(m_view.value))));
    QCOMPARE(m_dialogs.events, (QStringList{QStringLiteral("message:") + kDone, QStringLiteral("beep")}));
    QCOMPARE(m_dialogs.messages[0].icon, MessageIcon::None);
    QCOMPARE(m_dialogs.messages[0].title, std::nullopt);
    QVERIFY(!QFile::exists(reportPath()));
}

void TestImportRun::unknownCodeSentEmptyAndReported()
{
    writeCountFile("X;1;\r\nNOPE;2;\r\ncaf\xe9;3;\r\n");
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);

    QCOMPARE(journal(), journalOf(opened({"InventaireArticle DEP|X|1", "InventaireArticle DEP||2",
                                          "InventaireArticle DEP||3", "ValidationInventaire DEP"}),
                                  true));
    QFile report(reportPath());
    QVERIFY(report.open(QIODevice::ReadOnly));
    QCOMPARE(report.readAll(), QByteArray("Ce fichier contient les codes articles (ou codebarres) n'existant pas dans la "
                                          "gestion\r\n\r\n"
                                          "L'article : NOPE n'existe pas dans la gestion en cours\r\n"
                                          "L'article : caf\xe9 n'existe pas dans la gestion en cours\r\n"));
    const QString missing = kMissing + m_dir->path() + QStringLiteral("/Err_Inventaire.txt");
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "message:" + missing, "beep"}));
    QCOMPARE(m_dialogs.messages[1].icon, MessageIcon::Critical);
    QCOMPARE(m_dialogs.messages[1].title, std::optional(kTitle));

    // A later run whose codes are all known still points at the report, which it leaves as it was.
    QVERIFY(report.seek(0));
    const QByteArray reported = report.readAll();
    writeCountFile("Y;1;\r\n");
    m_dialogs = {};
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_server.summary({QStringLiteral("create")}).size(), 2); // the first object was released
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "message:" + missing, "beep"}));
    QVERIFY(report.seek(0));
    QCOMPARE(report.readAll(), reported);
}

void TestImportRun::emptyLineKeepsTheServerForTheNextRun()
{
    writeCountFile("X;1;\r\nY;2;\r\n\r\nZ;3;\r\n");
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);

    QCOMPARE(journal(), journalOf(opened({"InventaireArticle DEP|X|1", "InventaireArticle DEP|Y|2"}), false));
    QVERIFY(m_run->OLETIR());
    QVERIFY(m_dialogs.events.isEmpty());
    QCOMPARE(m_view.messages, kImporting);

    // The next run, here for the other edition, goes on with the same object of the same
    // server and says nothing of opening one.
    writeCountFile("Z;3;\r\n");
    m_view.statuses.clear();
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 2);

    QCOMPARE(journal(), journalOf(opened({"InventaireArticle DEP|X|1", "InventaireArticle DEP|Y|2"})
                                      + opened({"InventaireArticle DEP|Z|3", "ValidationInventaire DEP"}),
                                  true));
    const QList<QJsonObject> entries = m_server.journal();
    for (const QJsonObject &entry : entries) {
        QCOMPARE(entry.value(QStringLiteral("pid")), entries.front().value(QStringLiteral("pid")));
        QCOMPARE(entry.value(QStringLiteral("progId")).toString(), Kelmar);
    }
    QCOMPARE(m_view.statuses, (QStringList{kImporting, kClosing, kDone}));
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "beep"}));
    QVERIFY(!m_run->OLETIR());
}

void TestImportRun::itemCountOverflowBeforeInit()
{
    writeCountFile(QByteArray("X;1;\r\n").repeated(32768));
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);

    QCOMPARE(journal(), (QStringList{"start", "create /1"}));
    verifyFailureShown(QStringLiteral("Dépassement de capacité"));
    QVERIFY(m_run->lookup().ConnectScen()); // the database was opened first
    QVERIFY(m_run->OLETIR());
    QCOMPARE(m_view.statuses, QStringList{kOpening});
}

void TestImportRun::serverNotCreated_data()
{
    QTest::addColumn<bool>("serviceInstalled");
    QTest::addColumn<QString>("busText"); // in the bus's words after the prefix

    QTest::newRow("edition not installed") << false << QStringLiteral("not provided by any .service files");
    QTest::newRow("edition's server exits at start") << true << QStringLiteral("exited with status 2");
}

void TestImportRun::serverNotCreated()
{
    QFETCH(bool, serviceInstalled);
    QFETCH(QString, busText);
    writeCountFile("X;1;\r\n");

    // Not installed: a bus like the suite's, but with an empty service directory. Installed but
    // failing: the suite's bus, giving the server an idle delay that it refuses.
    std::unique_ptr<PrivateBus> bare;
    std::unique_ptr<DBusAutomation> bareAutomation;
    std::unique_ptr<Inventaire> run;
    if (!serviceInstalled) {
        const QString services = m_dir->filePath(QStringLiteral("services"));
        const QString config = m_dir->filePath(QStringLiteral("bus.conf"));
        QVERIFY(QDir().mkpath(services));
        QVERIFY(PrivateBus::writeConfig(QStringLiteral(TIRVANO_TEST_BUS_CONFIG), services, config));
        bare = std::make_unique<PrivateBus>(config);
        QVERIFY2(bare->isConnected(), qPrintable(bare->error()));
        bareAutomation = std::make_unique<DBusAutomation>(bare->connection());
        run = makeRun(*bareAutomation);
    }
    const auto restore = qScopeGuard([&] {
        setActivationEnvironment(m_bus, {{QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QStringLiteral("500")}});
    });
    if (serviceInstalled)
        QVERIFY(setActivationEnvironment(m_bus, {{QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QStringLiteral("jamais")}}));

    Inventaire &used = run ? *run : *m_run;
    used.run(QStringLiteral("SOC"), QStringLiteral("DEP"), 2);

    QCOMPARE(m_dialogs.messages.size(), 1);
    const QString prefix = kFailure + QStringLiteral("Impossible de créer l'objet GestionDovane.ClsProjet : ");
    const QString text = m_dialogs.messages[0].text;
    QVERIFY2(text.startsWith(prefix) && text.mid(prefix.size()).contains(busText), qPrintable(text));
    QCOMPARE(m_dialogs.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(m_dialogs.beeps, 0);
    QCOMPARE(m_view.statuses, QStringList{kOpening});
    QVERIFY(!used.OLETIR());
    QVERIFY(!used.lookup().ConnectScen()); // no database opened
    QVERIFY(journal().isEmpty());
}

void TestImportRun::fileNotOpened_data()
{
    QTest::addColumn<bool>("database"); // which file is wrong: the database or the count file
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("description"); // before the path

    QTest::newRow("no database") << true << false << QByteArray() << "Fichier introuvable : ";
    QTest::newRow("not a database") << true << true << QByteArray("X;1;\r\n") << "Ce fichier n'est pas une base de données Access : ";
    QTest::newRow("empty database") << true << true << QByteArray() << "La base de données est un fichier vide : ";
    QTest::newRow("no count file") << false << false << QByteArray() << "Fichier introuvable : ";
}

void TestImportRun::fileNotOpened()
{
    QFETCH(bool, database);
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    QFETCH(QString, description);
    writeCountFile("X;1;\r\n");
    const QString countFile = m_view.chemin;
    QString &wrong = database ? m_view.gestion : m_view.chemin;
    wrong = m_dir->filePath(QStringLiteral("autre"));
    if (exists) {
        QFile file(wrong);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }

    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);

    verifyFailureShown(description + wrong);
    QCOMPARE(journal(), (QStringList{"start", "create /1"})); // the server kept, not released
    QVERIFY(m_run->OLETIR());
    QCOMPARE(bool(m_run->lookup().ConnectScen()), !database);

    // The next run, on the right files, carries on with that object.
    m_view.gestion = m_gestion;
    m_view.chemin = countFile;
    m_view.statuses.clear();
    m_dialogs = {};
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(journal(), journalOf(opened({"InventaireArticle DEP|X|1", "ValidationInventaire DEP"}), true));
    QCOMPARE(m_view.statuses, (QStringList{kImporting, kClosing, kDone}));
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "beep"}));
}

void TestImportRun::serverFailures_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("calls"); // all made, the last one failed
    QTest::addColumn<QString>("description");

    const QStringList two = opened({"InventaireArticle DEP|X|1", "InventaireArticle DEP|Y|2"});
    QTest::newRow("Init gives a text") << QByteArray(R"({"rules": [{"method": "Init", "result": {"type": "s", "value": "abc"}}]})")
                                       << QStringList{"Init SOC||"} << "Incompatibilité de type";
    QTest::newRow("InitInventaire gives 40000")
        << QByteArray(R"({"rules": [{"method": "InitInventaire", "result": {"type": "i", "value": 40000}}]})")
        << kOpeningCalls << "Dépassement de capacité";
    QTest::newRow("second InventaireArticle gives abc")
        << QByteArray(R"({"rules": [{"method": "InventaireArticle", "call": 2, "result": {"type": "s", "value": "abc"}}]})")
        << two << "Incompatibilité de type";
    QTest::newRow("second InventaireArticle gives 40000")
        << QByteArray(R"({"rules": [{"method": "InventaireArticle", "call": 2, "result": {"type": "u", "value": 40000}}]})")
        << two << "Dépassement de capacité";
    QTest::newRow("error reply at the second InventaireArticle")
        << QByteArray(R"({"rules": [{"method": "InventaireArticle", "call": 2, "error": "Article « Y » bloqué par un autre poste"}]})")
        << two << "Article « Y » bloqué par un autre poste";
    QTest::newRow("error reply at ValidationInventaire")
        << QByteArray(R"({"rules": [{"method": "ValidationInventaire", "error": "Inventaire déjà validé"}]})")
        << two + QStringList{"InventaireArticle DEP|Z|3", "ValidationInventaire DEP"} << "Inventaire déjà validé";
    QTest::newRow("malformed reply to Init") << QByteArray(R"({"rules": [{"method": "Init", "malformed": true}]})")
                                             << QStringList{"Init SOC||"}
                                             << "Réponse incorrecte du serveur à Init : signature \"s\" au lieu de \"vsss\"";
}

void TestImportRun::serverFailures()
{
    QFETCH(QByteArray, script);
    QFETCH(QStringList, calls);
    QFETCH(QString, description);
    m_server.writeScript(script);
    writeCountFile("X;1;\r\nY;2;\r\nZ;3;\r\n");

    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);

    QCOMPARE(journal(), journalOf(calls, false));
    verifyFailureShown(description);
    QVERIFY(m_run->OLETIR());
    QCOMPARE(m_view.statuses, (QStringList{kOpening, kImporting}));
}

void TestImportRun::serverKilledDuringTheRun()
{
    // The second line's call gets its answer only after two minutes; the server dies before.
    m_server.writeScript(R"({"rules": [{"method": "InventaireArticle", "call": 2, "delayMs": 120000}]})");
    writeCountFile("X;1;\r\nY;2;\r\nZ;3;\r\n");
    std::atomic<bool> killed = false;
    std::thread killer([&] {
        killed = waitUntil([&] { return m_server.summary({QStringLiteral("call")}).size() == 4; }, 30000);
        // The journal names the server's process.
        const qint64 pid = m_server.journal().value(0).value(QStringLiteral("pid")).toInteger();
        if (killed && pid > 0)
            ::kill(pid_t(pid), SIGKILL);
    });
    QElapsedTimer timer;
    timer.start();
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    const qint64 elapsed = timer.elapsed();
    killer.join();

    QVERIFY(killed);
    QVERIFY2(elapsed < 60000, qPrintable(QString::number(elapsed))); // ended by the death, not the delay
    QCOMPARE(journal(), journalOf(opened({"InventaireArticle DEP|X|1", "InventaireArticle DEP|Y|2"}), false));
    QCOMPARE(m_dialogs.messages.size(), 1);
    const QString prefix = kFailure + QStringLiteral("Le serveur distant n'existe pas ou n'est pas disponible : ");
    QVERIFY2(m_dialogs.messages[0].text.startsWith(prefix), qPrintable(m_dialogs.messages[0].text));
    QCOMPARE(m_dialogs.beeps, 0);
    QVERIFY(m_run->OLETIR());

    // The run keeps the object of the dead server: the next run fails on it in the same words
    // and does not start another server behind the operator's back.
    m_dialogs = {};
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY2(m_dialogs.messages[0].text.startsWith(prefix), qPrintable(m_dialogs.messages[0].text));
    QCOMPARE(m_server.summary({QStringLiteral("start")}).size(), 1);
    QVERIFY(!hasOwner(m_bus, Kelmar));
}

QTEST_GUILESS_MAIN(TestImportRun)
#include "tst_importrun.moc"
