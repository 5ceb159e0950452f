// The import run end to end with the real parts: the reference server started on demand by the
// suite's private bus and reached through DBusAutomation, databases written by our writer and
// read by libmdb, count files on disk in Windows-1252. What the server received is read from
// its journal. The exact status lines, bar values and failure paths are in tests/import.
#include "import/inventaire.h"
#include "platform/dbusautomation.h"
#include "tests/support/articledb.h"
#include "tests/support/builtmdbreader.h"
#include "tests/support/fakeimportview.h"
#include "tests/support/importtexts.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/testbus.h"
#include "tests/testlocale.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <thread>

using namespace testbus;
using namespace importtexts;

namespace {

const QString kTitle = QStringLiteral("InventaireTirvano");
const QStringList kDoneEvents{QStringLiteral("message:") + kDone, QStringLiteral("beep")};

// The journal of one server that made object /1 and was asked the calls (short form
// "Init SOC||"), released at the end or not. The servers' exits come on their own time.
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

// The calls of a run that sent these lines ("DEP|X|1"), then validated with `depot` unless empty.
QStringList sent(const QStringList &lines, const QString &depot = QStringLiteral("DEP"))
{
    QStringList calls = kOpeningCalls;
    for (const QString &line : lines)
        calls << QStringLiteral("InventaireArticle ") + line;
    if (!depot.isEmpty())
        calls << QStringLiteral("ValidationInventaire ") + depot;
    return calls;
}

} // namespace

class TestImportRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { m_run.reset(); } // releases a kept object while its server may still answer

    void completeRuns_data();
    void completeRuns();
    void unknownCodeSentEmptyAndReported();
    void emptyLineKeepsTheServerForTheNextRun();
    void noServerForTheEdition();
    void failuresKeepTheServer_data();
    void failuresKeepTheServer();
    void databaseReplacedBetweenRuns();
    void serverKilledDuringTheRun();

private:
    static void write(const QString &path, const QByteArray &content);
    void run(const QByteArray &countFile, qint16 gestion = 1);
    QStringList journal() const { return m_server.summary({"start", "create", "call", "release", "drop"}); }

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
                               article(QStringLiteral("Z"), std::nullopt), article(QStringLiteral("A1"), QString()),
                               article(QStringLiteral("ÉCROU"), QStringLiteral("3000000000005"))});
}

void TestImportRun::init()
{
    // Every case starts with no server running, default answers and an empty journal.
    QVERIFY(killServer(m_bus, Kelmar));
    QVERIFY(killServer(m_bus, Dovane));
    m_server.clear();
    m_dir = std::make_unique<QTemporaryDir>();
    m_executable = {m_dir->path(), kTitle};
    m_dialogs = {};
    m_view = {};
    m_view.gestion = m_gestion;
    m_view.chemin = m_dir->filePath(QStringLiteral("comptage.txt"));
    m_run = std::make_unique<Inventaire>(m_automation, openBuiltMdbDatabase, m_dialogs, m_view, m_executable);
}

void TestImportRun::write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size());
}

void TestImportRun::run(const QByteArray &countFile, qint16 gestion)
{
    write(m_view.chemin, countFile);
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), gestion);
}

void TestImportRun::completeRuns_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("gestion");
    QTest::addColumn<QByteArray>("script"); // empty: default answers
    QTest::addColumn<QByteArray>("countFile");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<float>("bar"); // the bar's value at the end

    const auto row = [](const char *name, const QByteArray &countFile, const QStringList &calls, float bar,
                        const QByteArray &script = {}, const char *locale = "virgule", int gestion = 1) {
        QTest::newRow(name) << QString::fromLatin1(locale) << gestion << script << countFile << calls << bar;
    };
    const auto startAnswer = [](const char *result) {
        return QByteArray(R"({"rules": [{"method": "InitInventaire", "result": )") + result + "}]}";
    };
    const QByteArray three = "X;1;\r\nY;2;\r\nZ;3;\r\n";
    const QStringList threeSent = sent({"DEP|X|1", "DEP|Y|2", "DEP|Z|3"});
    row("three lines, Kelmar", three, threeSent, 100);
    row("three lines, Dovane", three, threeSent, 100, {}, "virgule", 2);
    row("line ends LF, lone CR, none", "X;1;\nY;2;\rZ;3;", threeSent, 100);
    // Only -1 opens the sending pass; the closing steps and messages follow either way.
    row("InitInventaire gives 0", three, kOpeningCalls, 0, startAnswer(R"({"type": "i", "value": 0})"));
    row("InitInventaire gives 1", three, kOpeningCalls, 0, startAnswer(R"({"type": "i", "value": 1})"));
    row("InitInventaire gives the text -1", three, threeSent, 100, startAnswer(R"({"type": "s", "value": " -1 "})"), "point");
    row("empty count file", "", sent({}), 0);
    // The depot is one variable: what the server makes of it, later calls send.
    row("depot rewritten by InitInventaire", three, sent({"DÉPÔT 2|X|1", "DÉPÔT 2|Y|2", "DÉPÔT 2|Z|3"}, "DÉPÔT 2"), 100,
        R"({"rules": [{"method": "InitInventaire", "out": ["DÉPÔT 2"]}]})");
    row("depot rewritten by the second InventaireArticle", three, sent({"DEP|X|1", "DEP|Y|2", "DEP-3|Z|3"}, "DEP-3"), 100,
        R"({"rules": [{"method": "InventaireArticle", "call": 2, "out": ["DEP-3", "W", "99"]}]})");
    // Two items a line with a decimal comma: the bar stops half way.
    row("decimal commas, 1,5 with the decimal comma", "X;1,5;\r\nY;2,25;\r\n", sent({"DEP|X|1,5", "DEP|Y|2,25"}), 50);
    row("1,5 with the decimal point", "X;1,5;\r\n", sent({"DEP|X|1.5"}), 50, {}, "point");
    row("quantity not closed", "A1;5\r\n", sent({"DEP|A1|0"}), 100);
    row("spaces only", "   \r\nX;2;\r\n", sent({"DEP|A1|0", "DEP|X|2"}), 100);
    row("barcode, letter case, Windows-1252", "3000000000002;4;\r\nx;1;\r\n\xe9\x63rou;2;\r\n",
        sent({"DEP|Y|4", "DEP|X|1", "DEP|ÉCROU|2"}), 100);
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

    run(countFile, qint16(gestion));

    QCOMPARE(journal(), journalOf(calls, true));
    QCOMPARE(m_server.journal().value(0).value(QStringLiteral("progId")).toString(), gestion == 1 ? Kelmar : Dovane);
    QCOMPARE(m_view.statuses, (QStringList{kOpening, kImporting, kClosing, kDone}));
    QVERIFY2(qAbs(m_view.value - bar) < 0.01f, qPrintable(QString::number(double(m_view.value))));
    QCOMPARE(m_dialogs.events, kDoneEvents);
    QCOMPARE(m_dialogs.messages[0].icon, MessageIcon::None);
    QCOMPARE(m_dialogs.messages[0].title, std::nullopt);
    QVERIFY(!QFile::exists(m_executable.beside(QStringLiteral("Err_Inventaire.txt"))));
}

void TestImportRun::unknownCodeSentEmptyAndReported()
{
    run("X;1;\r\nNOPE;2;\r\ncaf\xe9;3;\r\n");

    QCOMPARE(journal(), journalOf(sent({"DEP|X|1", "DEP||2", "DEP||3"}), true));
    QFile report(m_dir->path() + QStringLiteral("/Err_Inventaire.txt"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QByteArray reported = report.readAll();
    QCOMPARE(reported, QByteArray("Ce fichier contient les codes articles (ou codebarres) n'existant pas dans la gestion\r\n\r\n"
                                  "L'article : NOPE n'existe pas dans la gestion en cours\r\n"
                                  "L'article : caf\xe9 n'existe pas dans la gestion en cours\r\n"));
    const QStringList events{kDoneEvents[0],
                             "message:Certains articles n'ont pu être remontés. Vous trouverez une liste de ces articles "
                             "dans le fichier\r\n\r\n" + report.fileName(),
                             kDoneEvents[1]};
    QCOMPARE(m_dialogs.events, events);
    QCOMPARE(m_dialogs.messages[1].icon, MessageIcon::Critical);
    QCOMPARE(m_dialogs.messages[1].title, std::optional(kTitle));

    // A later run whose codes are all known still points at the report, which it leaves as it was.
    m_dialogs = {};
    run("Y;1;\r\n");
    QCOMPARE(m_dialogs.events, events);
    QVERIFY(report.seek(0));
    QCOMPARE(report.readAll(), reported);
}

void TestImportRun::emptyLineKeepsTheServerForTheNextRun()
{
    run("X;1;\r\nY;2;\r\n\r\n");
    QCOMPARE(journal(), journalOf(sent({"DEP|X|1", "DEP|Y|2"}, {}), false)); // the object kept
    QVERIFY(m_dialogs.events.isEmpty());

    // The next run, here for the other edition, goes on with the same object of the same
    // server (no second start or create in the journal) and says nothing of opening one.
    run("Z;3;\r\n", 2);
    QCOMPARE(journal(), journalOf(sent({"DEP|X|1", "DEP|Y|2"}, {}) + sent({"DEP|Z|3"}), true));
    QCOMPARE(m_view.statuses, (QStringList{kOpening, kImporting, kImporting, kClosing, kDone}));
    QCOMPARE(m_dialogs.events, kDoneEvents);
}

void TestImportRun::noServerForTheEdition()
{
    // A bus like the suite's whose service directory is empty: no edition is installed.
    const QString services = m_dir->filePath(QStringLiteral("services"));
    const QString config = m_dir->filePath(QStringLiteral("bus.conf"));
    QVERIFY(QDir().mkpath(services));
    QVERIFY(PrivateBus::writeConfig(QStringLiteral(TIRVANO_TEST_BUS_CONFIG), services, config));
    PrivateBus bare(config);
    QVERIFY2(bare.isConnected(), qPrintable(bare.error()));
    DBusAutomation automation(bare.connection());
    m_run = std::make_unique<Inventaire>(automation, openBuiltMdbDatabase, m_dialogs, m_view, m_executable);

    run("X;1;\r\n", 2);

    QCOMPARE(m_dialogs.messages.size(), 1);
    const QString text = m_dialogs.messages[0].text;
    QVERIFY2(text.startsWith(kFailure + QStringLiteral("Impossible de créer l'objet GestionDovane.ClsProjet : "))
                 && text.contains(QStringLiteral("not provided by any .service files")),
             qPrintable(text));
    QCOMPARE(m_view.statuses, QStringList{kOpening});
    QVERIFY(!m_run->lookup().ConnectScen()); // no database opened
    m_run.reset(); // before its bus goes
}

void TestImportRun::failuresKeepTheServer_data()
{
    QTest::addColumn<QString>("wrongFile"); // "gestion" or "chemin": that path names another file
    QTest::addColumn<QByteArray>("content"); // of that other file; null: no file at all
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("calls"); // all made, the last one failed
    QTest::addColumn<QString>("description"); // followed by the wrong path, if any

    const QByteArray none;
    QTest::newRow("no database") << "gestion" << none << none << QStringList{} << "Fichier introuvable : ";
    QTest::newRow("not a database") << "gestion" << QByteArray("X;1;\r\n") << none << QStringList{}
                                    << "Ce fichier n'est pas une base de données Access : ";
    QTest::newRow("no count file") << "chemin" << none << none << QStringList{} << "Fichier introuvable : ";

    const QStringList two = sent({"DEP|X|1", "DEP|Y|2"}, {});
    const auto second = [](const char *rule) {
        return QByteArray(R"({"rules": [{"method": "InventaireArticle", "call": 2, )") + rule + "}]}";
    };
    QTest::newRow("second line gives abc") << "" << none << second(R"("result": {"type": "s", "value": "abc"})") << two
                               << "Incompatibilité de type";
    QTest::newRow("second line gives 40000") << "" << none << second(R"("result": {"type": "u", "value": 40000})") << two
                                 << "Dépassement de capacité";
    QTest::newRow("error reply shown as it stands") << "" << none << second(R"("error": "Article « Y » bloqué par un autre poste")")
                                                    << two << "Article « Y » bloqué par un autre poste";
    QTest::newRow("malformed reply to Init") << "" << none << QByteArray(R"({"rules": [{"method": "Init", "call": 1, "malformed": true}]})")
                                             << QStringList{"Init SOC||"}
                                             << "Réponse incorrecte du serveur à Init : signature \"s\" au lieu de \"vsss\"";
}

void TestImportRun::failuresKeepTheServer()
{
    QFETCH(QString, wrongFile);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, script);
    QFETCH(QStringList, calls);
    QFETCH(QString, description);
    if (!script.isEmpty())
        m_server.writeScript(script);
    write(m_view.chemin, "X;1;\r\nY;2;\r\nZ;3;\r\n");
    const QString countFile = m_view.chemin;
    const QString wrong = m_dir->filePath(QStringLiteral("autre"));
    if (!wrongFile.isEmpty()) {
        (wrongFile == QLatin1String("gestion") ? m_view.gestion : m_view.chemin) = wrong;
        description += wrong;
    }
    if (!content.isNull())
        write(wrong, content);
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);

    QCOMPARE(journal(), journalOf(calls, false)); // the object kept, not released
    QCOMPARE(m_dialogs.events, QStringList{QStringLiteral("message:") + kFailure + description});
    QCOMPARE(m_dialogs.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(m_dialogs.messages[0].title, std::optional(kTitle));
    QCOMPARE(bool(m_run->lookup().ConnectScen()), wrongFile != QLatin1String("gestion"));

    // The next run, on the right files, carries on with that object.
    m_view.gestion = m_gestion;
    m_view.chemin = countFile;
    m_view.statuses.clear();
    m_dialogs = {};
    run("X;1;\r\n");
    QCOMPARE(journal(), journalOf(calls + sent({"DEP|X|1"}), true));
    QCOMPARE(m_view.statuses, (QStringList{kImporting, kClosing, kDone}));
    QCOMPARE(m_dialogs.events, kDoneEvents);
}

void TestImportRun::databaseReplacedBetweenRuns()
{
    // The same path names another file at each run: by a text file, then by another database.
    m_view.gestion = writeArticles(m_dir->filePath(QStringLiteral("gestion.mdb")), {article("X", "3000000000001")});
    run("3000000000001;1;\r\n");
    write(m_view.gestion, "X;1;\r\n");
    m_dialogs = {};
    run("3000000000001;2;\r\n");
    QCOMPARE(m_dialogs.events, QStringList{QStringLiteral("message:") + kFailure
                                           + QStringLiteral("Ce fichier n'est pas une base de données Access : ")
                                           + m_view.gestion});
    writeArticles(m_view.gestion, {article("NOUVEAU", "3000000000001")});
    m_dialogs = {};
    run("3000000000001;3;\r\n");
    QCOMPARE(m_dialogs.events, kDoneEvents);
    QCOMPARE(m_server.summary({"call"}).filter("InventaireArticle").replaceInStrings(QRegularExpression("^call /\\d+ "), ""),
             (QStringList{"InventaireArticle DEP|X|1", "InventaireArticle DEP|NOUVEAU|3"}));
}

void TestImportRun::serverKilledDuringTheRun()
{
    // The second line's call gets its answer only after two minutes; the server dies before.
    m_server.writeScript(R"({"rules": [{"method": "InventaireArticle", "call": 2, "delayMs": 120000}]})");
    std::atomic<bool> killed = false;
    std::thread killer([&] {
        killed = waitUntil([&] { return m_server.summary({QStringLiteral("call")}).size() == 4; }, 30000);
        const qint64 pid = m_server.journal().value(0).value(QStringLiteral("pid")).toInteger();
        if (killed && pid > 0)
            ::kill(pid_t(pid), SIGKILL);
    });
    QElapsedTimer timer;
    timer.start();
    run("X;1;\r\nY;2;\r\nZ;3;\r\n");
    const qint64 elapsed = timer.elapsed();
    killer.join();

    QVERIFY(killed);
    QVERIFY2(elapsed < 60000, qPrintable(QString::number(elapsed))); // ended by the death, not the delay
    QCOMPARE(journal(), journalOf(sent({"DEP|X|1", "DEP|Y|2"}, {}), false));
    QCOMPARE(m_dialogs.events.size(), 1); // the failure, and no beep
    const QString gone = QStringLiteral("message:") + kFailure + QStringLiteral("Le serveur distant n'existe pas ou n'est pas disponible : ");
    QVERIFY2(m_dialogs.events[0].startsWith(gone), qPrintable(m_dialogs.events[0]));

    // The dead object stays in OLETIR: the next run does not open a server and fails on it.
    m_view.statuses.clear();
    m_dialogs = {};
    run("X;1;\r\n");
    QCOMPARE(m_view.statuses, QStringList{kImporting});
    QCOMPARE(m_dialogs.events.size(), 1);
    QVERIFY2(m_dialogs.events[0].startsWith(gone), qPrintable(m_dialogs.events[0]));
    QCOMPARE(journal(), journalOf(sent({"DEP|X|1", "DEP|Y|2"}, {}), false)); // no new server
}

QTEST_GUILESS_MAIN(TestImportRun)
#include "tst_importrun.moc"
