// The import run end to end with the real parts: the reference server started on demand by the
// suite's private bus and reached through DBusAutomation, a database written by our writer and
// read by libmdb, count files and the report on disk in Windows-1252. What the server received is
// read from its journal. The run's other cases are in tests/import, on fakes.
#include "import/inventaire.h"
#include "platform/dbusautomation.h"
#include "tests/support/articledb.h"
#include "tests/support/builtmdbreader.h"
#include "tests/support/fakeimportview.h"
#include "tests/support/files.h"
#include "tests/support/importtexts.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/testbus.h"
#include "tests/testlocale.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <thread>

using namespace testbus;
using namespace importtexts;

namespace {

// The journal of one server that made object /1 and was asked the calls ("Init SOC||"),
// released at the end or not.
QStringList journalOf(const QStringList &calls, bool released)
{
    QStringList lines{QStringLiteral("start"), QStringLiteral("create /1")};
    for (const QString &call : calls)
        lines << QStringLiteral("call /1 ") + call;
    if (released)
        lines << QStringLiteral("release /1");
    return lines;
}

// The calls of a run that sent these lines ("DEP|X|1"), then validated with `depot` unless empty.
QStringList sent(const QStringList &lines, const QString &depot = QStringLiteral("DEP"))
{
    QStringList calls{QStringLiteral("Init SOC||"), QStringLiteral("InitInventaire DEP")};
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
    void runs_data();
    void runs();
    void serverKilledDuringTheRun();

private:
    void run(const QByteArray &countFile, qint16 gestion = 1);
    QStringList journal() const { return m_server.summary({"start", "create", "call", "release", "drop"}); }
    QString reportPath() const { return m_dir->filePath(QStringLiteral("Err_Inventaire.txt")); }

    const ScopedLocale m_locale{QStringLiteral("virgule")};
    QDBusConnection m_bus = QDBusConnection::sessionBus();
    ServerDirectory m_server;
    DBusAutomation m_automation{m_bus};
    std::unique_ptr<QTemporaryDir> m_dir; // stands for the executable's directory
    RecordingDialogs m_dialogs;
    FakeImportView m_view;
    std::unique_ptr<Inventaire> m_run;
};

void TestImportRun::initTestCase()
{
    QVERIFY2(m_bus.isConnected(), "the suite runs under dbus-run-session with the test bus configuration");
    QVERIFY(setActivationEnvironment(m_bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), m_server.path()},
                                             {QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QStringLiteral("500")}}));
}

void TestImportRun::init()
{
    // Every case starts with no server running, default answers and an empty journal.
    QVERIFY(killServer(m_bus, Kelmar));
    QVERIFY(killServer(m_bus, Dovane));
    m_server.clear();
    m_dir = std::make_unique<QTemporaryDir>();
    m_dialogs = {};
    m_view = {};
    m_view.gestion = writeArticles(m_dir->filePath(QStringLiteral("gestion.mdb")),
                                   {article("X", "3000000000001"), article("Y", std::nullopt), article("ÉCROU", "")});
    m_view.chemin = m_dir->filePath(QStringLiteral("comptage.txt"));
    m_run = std::make_unique<Inventaire>(m_automation, openBuiltMdbDatabase, m_dialogs, m_view,
                                         Executable{m_dir->path(), kTitle});
}

void TestImportRun::run(const QByteArray &countFile, qint16 gestion)
{
    writeFile(m_view.chemin, countFile);
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), gestion);
}

void TestImportRun::runs_data()
{
    QTest::addColumn<int>("gestion");
    QTest::addColumn<QByteArray>("script"); // the server's answers; empty: its default ones
    QTest::addColumn<QByteArray>("countFile");
    QTest::addColumn<QStringList>("calls"); // made, the last one failed when the run fails
    QTest::addColumn<QString>("end"); // the last message: done, the missing articles or the failure
    QTest::addColumn<QByteArray>("report");

    const QByteArray three = "3000000000001;1,5;\r\nY;2;\r\n\xc9\x63rou;3;\r\n";
    const QStringList threeSent{"DEP|X|1,5", "DEP|Y|2", "DEP|ÉCROU|3"};
    QTest::newRow("Kelmar") << 1 << QByteArray() << three << sent(threeSent) << kDone << QByteArray("<absent>");
    QTest::newRow("Dovane, depot rewritten by the server")
        << 2 << QByteArray(R"({"rules": [{"method": "InitInventaire", "out": ["DÉPÔT 2"]}]})") << QByteArray("X;1;\r\n")
        << sent({"DÉPÔT 2|X|1"}, "DÉPÔT 2") << kDone << QByteArray("<absent>");
    QTest::newRow("inventory refused") << 1 << QByteArray(R"({"rules": [{"method": "InitInventaire", "result": {"type": "i", "value": 0}}]})")
                                       << three << sent({}).mid(0, 2) << kDone << QByteArray("<absent>");
    QTest::newRow("error reply shown as it stands")
        << 1 << QByteArray(R"({"rules": [{"method": "InventaireArticle", "call": 2, "error": "Article « Y » bloqué"}]})") << three
        << sent(threeSent.mid(0, 2), {}) << kFailure + "Article « Y » bloqué" << QByteArray("<absent>");
    QTest::newRow("missing articles") << 1 << QByteArray() << QByteArray("NOPE;2;\r\ncaf\xe9;3;\r\n")
                                      << sent({"DEP||2", "DEP||3"}) << kMissing
                                      << kReportHeading + reportLine("NOPE") + reportLine("caf\xe9");
}

void TestImportRun::runs()
{
    QFETCH(int, gestion);
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, countFile);
    QFETCH(QStringList, calls);
    QFETCH(QString, end);
    QFETCH(QByteArray, report);
    if (!script.isEmpty())
        m_server.writeScript(script);
    run(countFile, qint16(gestion));

    const bool failed = end.startsWith(kFailure);
    QCOMPARE(journal(), journalOf(calls, !failed));
    QCOMPARE(m_server.journal().value(0).value(QStringLiteral("progId")).toString(), gestion == 1 ? Kelmar : Dovane);
    QCOMPARE(m_dialogs.messages.last().text, end == kMissing ? kMissing + reportPath() : end);
    QCOMPARE(m_dialogs.beeps, failed ? 0 : 1);
    QCOMPARE(readFile(reportPath()), report);
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
    run("X;1;\r\nY;2;\r\nX;3;\r\n");
    const qint64 elapsed = timer.elapsed();
    killer.join();
    QVERIFY(killed);
    QVERIFY2(elapsed < 60000, qPrintable(QString::number(elapsed))); // ended by the death, not the delay

    // The dead object is kept: the next run opens no server and fails on it the same way.
    run("X;1;\r\n");
    QCOMPARE(journal(), journalOf(sent({"DEP|X|1", "DEP|Y|2"}, {}), false));
    QCOMPARE(m_view.statuses, (QStringList{kOpening, kImporting, kImporting}));
    const QString gone = QStringLiteral("message:") + kFailure + QStringLiteral("Le serveur distant n'existe pas ou n'est pas disponible : ");
    QCOMPARE(m_dialogs.events.size(), 2); // the failures, and no beep
    QVERIFY2(m_dialogs.events[0].startsWith(gone) && m_dialogs.events[1].startsWith(gone), qPrintable(m_dialogs.events.join('\n')));
}

QTEST_GUILESS_MAIN(TestImportRun)
#include "tst_importrun.moc"
