// The import run against an in-process server and an in-memory article table: the status line,
// the bar, the early end and the failures, step by step. What reaches a real server from real
// databases is tested in tests/integration.
#include "import/inventaire.h"
#include "tests/support/fakeautomation.h"
#include "tests/support/fakedatabase.h"
#include "tests/support/fakeimportview.h"
#include "tests/support/importtexts.h"
#include "tests/support/recordingdialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace importtexts;

namespace {
// What may stand at the count file's path when the server's Init comes, between the two passes.
const QByteArray kRemoved = "<supprimé>";
const QByteArray kFolder = "<dossier>";
} // namespace

class TestInventaire : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void completeRunsTwice_data();
    void completeRunsTwice();
    void emptyLineEndsTheRunAndKeepsTheServer();
    void failures_data();
    void failures();
    void itemCountOverflow();
    void countFileChangedBetweenThePasses_data();
    void countFileChangedBetweenThePasses();

private:
    void run(const QByteArray &countFile, qint16 gestion = 1);

    std::unique_ptr<QTemporaryDir> m_dir;
    FakeAutomation m_server;
    RecordingDialogs m_dialogs;
    FakeImportView m_view;
    int m_opened = 0;
    std::unique_ptr<Inventaire> m_run;
};

void TestInventaire::init()
{
    m_run.reset(); // releases the server object a case kept, before the counts start again
    m_dir = std::make_unique<QTemporaryDir>();
    m_server = {};
    m_dialogs = {};
    m_view = {};
    m_view.chemin = m_dir->filePath(QStringLiteral("comptage.txt"));
    m_opened = 0;
    const auto database = std::make_shared<FakeDatabase>(std::vector<std::vector<TextValue>>{
        {QStringLiteral("X"), std::nullopt}, {QStringLiteral("Y"), std::nullopt}, {QStringLiteral("Z"), std::nullopt}});
    const auto open = [this, database](const QString &) {
        ++m_opened;
        return database;
    };
    m_run = std::make_unique<Inventaire>(m_server, open, m_dialogs, m_view,
                                         Executable{m_dir->path(), QStringLiteral("InventaireTirvano")});
}

void TestInventaire::run(const QByteArray &countFile, qint16 gestion)
{
    QFile file(m_view.chemin);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(countFile), countFile.size());
    file.close();
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), gestion);
}

void TestInventaire::completeRunsTwice_data()
{
    QTest::addColumn<QByteArray>("countFile");
    QTest::addColumn<QList<float>>("bar"); // every value the bar takes in one run

    // Each line adds 100 / items to the value the bar shows, in single precision.
    QTest::newRow("three lines") << QByteArray("X;1;\r\nY;2;\r\nZ;3;\r\n")
                                 << QList<float>{0.0f, 33.333332f, 66.666664f, 100.0f};
    // A decimal comma splits a line into two items: the bar stops half way.
    QTest::newRow("decimal commas") << QByteArray("X;1,5;\r\nY;2,5;\r\n") << QList<float>{0.0f, 25.0f, 50.0f};
    QTest::newRow("empty count file") << QByteArray() << QList<float>{0.0f};
}

void TestInventaire::completeRunsTwice()
{
    QFETCH(QByteArray, countFile);
    QFETCH(QList<float>, bar);
    run(countFile);
    run(countFile); // the bar starts again from 0, not from where the first run left it

    const QStringList statuses{kOpening, kImporting, kClosing, kDone};
    QCOMPARE(m_view.statuses, statuses + statuses);
    QCOMPARE(m_view.values, bar + bar);
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "beep", "message:" + kDone, "beep"}));
}

void TestInventaire::emptyLineEndsTheRunAndKeepsTheServer()
{
    run("X;1;\r\n\r\nY;2;\r\n");
    QCOMPARE(m_server.methods(), (QStringList{"Init", "InitInventaire", "InventaireArticle"}));
    QCOMPARE(m_view.statuses, (QStringList{kOpening, kImporting}));
    QVERIFY(m_dialogs.events.isEmpty());
    QVERIFY(m_run->OLETIR());
    QCOMPARE(m_server.releases, 0);

    // The next run, even for the other edition, goes on with that server and opens none.
    run("Y;2;\r\n", 2);
    QCOMPARE(m_server.created, QStringList{QStringLiteral("GestionKelmar.ClsProjet")});
    QCOMPARE(m_server.methods().mid(3), (QStringList{"Init", "InitInventaire", "InventaireArticle", "ValidationInventaire"}));
    QCOMPARE(m_view.statuses, (QStringList{kOpening, kImporting, kImporting, kClosing, kDone}));
    QCOMPARE(m_view.values, (QList<float>{0.0f, 33.333332f, 0.0f, 100.0f}));
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "beep"}));
    QCOMPARE(m_server.releases, 1);
}

void TestInventaire::failures_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariant>("answer"); // none: the server fails with the description
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("linesSent");

    QTest::newRow("Init gives abc") << "Init" << QVariant(QStringLiteral("abc")) << "Incompatibilité de type" << 0;
    QTest::newRow("InitInventaire gives 40000") << "InitInventaire" << QVariant(40000) << "Dépassement de capacité" << 0;
    QTest::newRow("InventaireArticle gives abc")
        << "InventaireArticle" << QVariant(QStringLiteral("abc")) << "Incompatibilité de type" << 1;
    QTest::newRow("InventaireArticle fails") << "InventaireArticle" << QVariant() << "Article bloqué par un autre poste" << 1;
    QTest::newRow("ValidationInventaire fails") << "ValidationInventaire" << QVariant() << "Inventaire déjà validé" << 3;
}

void TestInventaire::failures()
{
    QFETCH(QString, method);
    QFETCH(QVariant, answer);
    QFETCH(QString, description);
    QFETCH(int, linesSent);
    m_server.onCall = [&](const QString &called, QStringList &, qsizetype) -> QVariant {
        if (called != method)
            return called == QLatin1String("InitInventaire") ? QVariant(true) : QVariant();
        if (!answer.isValid())
            throw Failure(Failure::AutomationError, description);
        return answer;
    };
    run("X;1;\r\nY;2;\r\nZ;3;\r\n");

    QCOMPARE(m_server.methods().count(QStringLiteral("InventaireArticle")), linesSent);
    QCOMPARE(m_server.methods().last(), method); // nothing is called after the failure
    QCOMPARE(m_view.statuses, (QStringList{kOpening, kImporting}));
    QCOMPARE(m_dialogs.events, QStringList{QStringLiteral("message:") + kFailure + description});
    QCOMPARE(m_dialogs.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(m_dialogs.messages[0].title, std::optional(QStringLiteral("InventaireTirvano")));
    QVERIFY(m_run->OLETIR()); // kept for the next run
    QCOMPARE(m_server.releases, 0);
}

void TestInventaire::itemCountOverflow()
{
    // The 32,768th item overflows the count: after the database was opened, before Init.
    run(QByteArray("X;1;\r\n").repeated(32768));
    QCOMPARE(m_opened, 1);
    QVERIFY(m_server.calls.isEmpty());
    QCOMPARE(m_view.statuses, QStringList{kOpening});
    QCOMPARE(m_dialogs.events, QStringList{QStringLiteral("message:") + kFailure + QStringLiteral("Dépassement de capacité")});

    // 32,767 go through; in single precision the bar adds up to just short of 100.
    m_dialogs = {};
    run(QByteArray("X;1;\r\n").repeated(32767));
    QCOMPARE(m_server.methods().count(QStringLiteral("InventaireArticle")), 32767);
    QCOMPARE(m_view.value, 99.997025f);
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "beep"}));
}

void TestInventaire::countFileChangedBetweenThePasses_data()
{
    QTest::addColumn<QByteArray>("atInit"); // kRemoved, kFolder or the new content
    QTest::addColumn<int>("linesSent");
    QTest::addColumn<QString>("failure"); // %1 the count file's path; empty: the run completes
    QTest::addColumn<float>("bar");
    // The count, 4 items, sizes the step: 25 a line.
    const QByteArray four = "X;1;\r\nY;2;\r\nZ;3;\r\nX;4;\r\n";
    QTest::newRow("removed") << kRemoved << 0 << "Fichier introuvable : %1" << 0.0f;
    QTest::newRow("replaced by a folder") << kFolder << 0 << "Erreur d'accès au fichier : %1 (c'est un dossier)" << 0.0f;
    // The fifth line is sent, then its step of the bar to 125 is refused.
    QTest::newRow("grown") << four + four << 5 << "Valeur de propriété non valide" << 100.0f;
    QTest::newRow("shrunk") << QByteArray("X;1;\r\nY;2;\r\n") << 2 << "" << 50.0f;
}

void TestInventaire::countFileChangedBetweenThePasses()
{
    QFETCH(QByteArray, atInit);
    QFETCH(int, linesSent);
    QFETCH(QString, failure);
    QFETCH(float, bar);
    bool changed = false;
    m_server.onCall = [&](const QString &method, QStringList &, qsizetype) -> QVariant {
        if (method == QLatin1String("Init")) {
            QFile file(m_view.chemin);
            if (atInit == kRemoved || atInit == kFolder)
                changed = file.remove() && (atInit == kRemoved || QDir().mkdir(m_view.chemin));
            else
                changed = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(atInit) == atInit.size();
        }
        return method == QLatin1String("InitInventaire") ? QVariant(true) : QVariant();
    };
    run("X;1;\r\nY;2;\r\nZ;3;\r\nX;4;\r\n");
    QVERIFY(changed);

    QCOMPARE(m_server.methods().count(QStringLiteral("InventaireArticle")), linesSent);
    QCOMPARE(m_view.value, bar);
    if (failure.isEmpty()) {
        QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "beep"}));
    } else {
        QCOMPARE(m_dialogs.events, QStringList{"message:" + kFailure + failure.arg(m_view.chemin)});
        QVERIFY(m_run->OLETIR()); // what was sent stays sent, on the server kept for the next run
    }
}

QTEST_GUILESS_MAIN(TestInventaire)
#include "tst_inventaire.moc"
