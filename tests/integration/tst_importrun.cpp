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
#include "tests/support/tables.h"
#include "tests/support/testbus.h"
#include "tests/testlocale.h"

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

// The items of a table field, " / " between them.
QStringList items(const QByteArray &text)
{
    return QString::fromUtf8(text).split(QStringLiteral(" / "), Qt::SkipEmptyParts);
}

} // namespace

class TestImportRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(setActivationEnvironment(m_bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), m_server.path()},
                                                 {QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QStringLiteral("500")}}));
    }
    void init()
    {
        // Every case starts with no server running, default answers and an empty journal.
        QVERIFY(killServer(m_bus, Kelmar));
        QVERIFY(killServer(m_bus, Dovane));
        m_server.clear();
        m_dir = std::make_unique<QTemporaryDir>();
        m_dialogs = {};
        m_view = {};
        m_view.gestion =
            writeArticles(m_dir->filePath(QStringLiteral("gestion.mdb")),
                          {article("X", "3000000000001"), article("Y", std::nullopt), article("ÉCROU", "")});
        m_view.chemin = m_dir->filePath(QStringLiteral("comptage.txt"));
        m_run = std::make_unique<Inventaire>(m_automation, openBuiltMdbDatabase, m_dialogs, m_view,
                                             Executable{m_dir->path(), kTitle});
    }
    void cleanup() { m_run.reset(); } // releases a kept object while its server may still answer
    void runs_data() { addTableRows("importrun-bus.txt", "runs"); }
    void runs()
    {
        QFETCH(QByteArrayList, row);
        const qint16 gestion = qint16(row[0].toInt());
        if (!row[1].isEmpty())
            m_server.writeScript(row[1]);
        run(row[2], gestion);

        const bool failed = row[4].startsWith('!');
        QCOMPARE(journal(), journalOf(items(row[3]), !failed));
        QCOMPARE(m_server.journal().value(0).value(QStringLiteral("progId")).toString(),
                 gestion == 1 ? Kelmar : Dovane);
        const QString missing = kMissing + reportPath();
        QCOMPARE(m_dialogs.messages.last().text, failed                ? kFailure + row[4].mid(1)
                                                 : row[4] == "missing" ? missing
                                                                       : kDone);
        QCOMPARE(m_dialogs.beeps, failed ? 0 : 1);
        QByteArray report = row[5].isEmpty() ? QByteArray("<absent>") : kReportHeading;
        for (const QByteArray &code : row[5].split('/'))
            report += code.isEmpty() ? QByteArray() : reportLine(code.trimmed());
        QCOMPARE(readFile(reportPath()), report);
    }
    void serverKilledDuringTheRun()
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
        run("X;1;\r\nY;2;\r\nX;3;\r\n");
        killer.join();
        QVERIFY(killed);

        // The dead object is kept: the next run opens no server and fails on it the same way.
        run("X;1;\r\n");
        const QStringList calls{"Init SOC||", "InitInventaire DEP", "InventaireArticle DEP|X|1",
                                "InventaireArticle DEP|Y|2"};
        QCOMPARE(journal(), journalOf(calls, false));
        const QString gone = QStringLiteral("message:") + kFailure
                             + QStringLiteral("Le serveur distant n'existe pas ou n'est pas disponible : ");
        QCOMPARE(m_dialogs.events.size(), 2); // the failures, and no beep
        QVERIFY2(m_dialogs.events[0].startsWith(gone) && m_dialogs.events[1].startsWith(gone),
                 qPrintable(m_dialogs.events.join('\n')));
    }

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

void TestImportRun::run(const QByteArray &countFile, qint16 gestion)
{
    writeFile(m_view.chemin, countFile);
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), gestion);
}

QTEST_GUILESS_MAIN(TestImportRun)
#include "tst_importrun.moc"
