// The import run against an in-process server and in-memory articles: its calls, status line,
// bar and ends. What reaches a real server from real databases is tested in tests/integration.
#include "import/inventaire.h"
#include "tests/support/fakeautomation.h"
#include "tests/support/fakedatabase.h"
#include "tests/support/fakeimportview.h"
#include "tests/support/importtexts.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/tables.h"
#include "tests/testlocale.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace importtexts;

class TestInventaire : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_run.reset(); // releases the server object a case kept, before the counts start again
        m_dir = std::make_unique<QTemporaryDir>();
        m_server = {};
        m_dialogs = {};
        m_view = {};
        m_view.chemin = m_dir->filePath(QStringLiteral("comptage.txt"));
        m_databases = {std::make_shared<FakeDatabase>(std::vector<std::vector<TextValue>>{
            {"X", "3000000000001"}, {"Y", "3000000000002"}, {"Z", {}}, {"A1", ""}, {"ÉCROU", "3000000000005"}})};
        m_opened = 0;
        const auto open = [this](const QString &) {
            return m_databases[std::min<size_t>(m_opened++, m_databases.size() - 1)];
        };
        m_run = std::make_unique<Inventaire>(m_server, open, m_dialogs, m_view, Executable{m_dir->path(), kTitle});
    }
    void runs_data()
    {
        addTableRows("importruns.txt");
        // The 32,768th item overflows the count, before Init; in single precision the bar of
        // 32,767 items adds up to just short of 100.
        const QByteArray kelmar = "GestionKelmar.ClsProjet", line = "X;1;\r\n";
        const QByteArray calls =
            "Init SOC|| / InitInventaire DEP / " + QByteArray("InventaireArticle DEP|X|1 / ").repeated(32767);
        QTest::newRow("32,767 items") << QByteArrayList{
            kelmar, "", line.repeated(32767), calls + "ValidationInventaire DEP", "done", "99.997025"};
        QTest::newRow("32,768 items") << QByteArrayList{
            kelmar, "", line.repeated(32768), "", "!Dépassement de capacité", "0"};
    }
    void runs()
    {
        QFETCH(QByteArrayList, row); // server, rules, count file, calls, end, bar at the end
        const auto list = [](const QByteArray &field) {
            return QString::fromUtf8(field).split(" / ", Qt::SkipEmptyParts);
        };
        const QString progId = QString::fromUtf8(row[0]), end = QString::fromUtf8(row[4]);
        const QStringList rules = list(row[1]), calls = list(row[3]);
        m_server.rules = rules;
        // "Init ~<bytes>|removed|folder": the count file changes between the two passes.
        const QString change = rules.filter(QStringLiteral("Init ~")).value(0).mid(6);
        m_server.onCall = [&](const QString &method, QStringList &arguments, qsizetype) {
            if (method == QLatin1String("Init") && !change.isEmpty() && QFile::remove(m_view.chemin)) {
                if (change == "folder")
                    QDir().mkdir(m_view.chemin);
                else if (change != "removed")
                    writeFile(m_view.chemin, change.toUtf8());
            }
            return m_server.answer(method, arguments);
        };
        run(row[2], progId.contains("Kelmar") ? 1 : 2);

        const bool complete = end == "done" || end == "missing";
        QCOMPARE(m_server.created, QStringList{progId});
        QCOMPARE(m_server.journal(), calls);
        QCOMPARE(m_view.statuses, QStringList({kOpening, kImporting, kClosing, kDone})
                                      .mid(0, complete          ? 4
                                              : calls.isEmpty() ? 1
                                                                : 2));
        QCOMPARE(m_view.value, row[5].toFloat());
        QStringList events = complete ? QStringList{"message:" + kDone, "beep"} : QStringList();
        if (end == "missing")
            events.insert(1, "message:" + kMissing + m_dir->filePath("Err_Inventaire.txt"));
        if (end.startsWith('!'))
            events << "message:" + kFailure + end.mid(1).arg(m_view.chemin);
        QCOMPARE(m_dialogs.events, events);
        for (const RecordingDialogs::Message &message : m_dialogs.messages) {
            QCOMPARE(message.icon, message.text == kDone ? MessageIcon::None : MessageIcon::Critical);
            QCOMPARE(message.title, message.text == kDone ? std::nullopt : std::optional(kTitle));
        }
        QCOMPARE(m_server.releases, complete ? 1 : 0); // else kept for the next run
    }
    void whatTheNextRunKeeps()
    {
        // A table that could not be read, then two databases in turn at the same path.
        const auto articles = [](std::vector<std::vector<TextValue>> rows) {
            return std::make_shared<FakeDatabase>(rows);
        };
        m_databases = {articles({}), articles({{"A", "1"}}), articles({{"B", "1"}})};
        m_databases[0]->failure =
            Failure(Failure::DatabaseError, "Table introuvable dans la base de données : Article");
        run("1;1;\r\n\r\n");           // ended by its empty line: the server object is kept
        run("1;2;\r\nNOPE;2;\r\n", 2); // the other edition goes on with that object, its bar from 0
        run("1;3;\r\n");
        QCOMPARE(m_server.created, QStringList(2, "GestionKelmar.ClsProjet"));
        QCOMPARE(m_server.journal().filter("InventaireArticle"),
                 (QStringList{"InventaireArticle DEP||1", "InventaireArticle DEP|A|2", "InventaireArticle DEP||2",
                              "InventaireArticle DEP|B|3"}));
        QCOMPARE(m_view.statuses, (QStringList{kOpening, kImporting, kImporting, kClosing, kDone, kOpening, kImporting,
                                               kClosing, kDone}));
        QCOMPARE(m_view.values, (QList<float>{0.0f, 50.0f, 0.0f, 50.0f, 100.0f, 0.0f, 100.0f}));
        // The missing code of the second run is still pointed at by the third.
        const QString done = "message:" + kDone,
                      missing = "message:" + kMissing + m_dir->filePath("Err_Inventaire.txt");
        QCOMPARE(m_dialogs.events,
                 (QStringList{"message:" + kLookupFailure + "Table introuvable dans la base de données : Article", done,
                              missing, "beep", done, missing, "beep"}));
    }

private:
    void run(const QByteArray &countFile, qint16 gestion = 1);

    const ScopedLocale m_locale{QStringLiteral("virgule")};
    std::unique_ptr<QTemporaryDir> m_dir;
    FakeAutomation m_server;
    RecordingDialogs m_dialogs;
    FakeImportView m_view;
    std::vector<std::shared_ptr<FakeDatabase>> m_databases; // opened in turn, the last one again
    int m_opened = 0;
    std::unique_ptr<Inventaire> m_run;
};

void TestInventaire::run(const QByteArray &countFile, qint16 gestion)
{
    if (!countFile.isNull())
        writeFile(m_view.chemin, countFile);
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), gestion);
}

QTEST_GUILESS_MAIN(TestInventaire)
#include "tst_inventaire.moc"
