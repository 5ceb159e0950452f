// The import run against an in-process server and an in-memory article table: every step,
// every end and every failure path, fast. The same run over a real bus and real databases is
// tested in tests/integration.
#include "import/inventaire.h"
#include "tests/support/fakeautomation.h"
#include "tests/support/fakedatabase.h"
#include "tests/support/fakeimportview.h"
#include "tests/support/recordingdialogs.h"
#include "tests/testlocale.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kKelmar = QStringLiteral("GestionKelmar.ClsProjet");
const QString kDone = QStringLiteral("Importation d'inventaire terminée ...");
const QString kMissing = QStringLiteral(
    "Certains articles n'ont pu être remontés. Vous trouverez une liste de ces articles dans le fichier\r\n\r\n");

} // namespace

class TestInventaire : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void threeLinesInOrder();
    void startAnswer_data();
    void startAnswer();
    void lineContents_data();
    void lineContents();
    void unknownCodeIsSentEmptyAndReported();
    void missingMessageStaysForLaterRuns();
    void emptyCountFile();
    void emptyLineEndsTheRunAndKeepsTheServer();
    void progressStopsShortWithDecimalCommas();
    void secondRunStartsTheBarAgain();
    void depotRewrittenByTheServer();
    void failures_data();
    void failures();
    void itemCountOverflow();
    void serverNotCreated();
    void databaseNotOpened();

private:
    void writeCountFile(const QByteArray &content);
    std::shared_ptr<Database> openArticles(const QString &path);

    QTemporaryDir m_dir;
    Executable m_executable;
    FakeAutomation m_server;
    RecordingDialogs m_dialogs;
    FakeImportView m_view;
    std::shared_ptr<FakeDatabase> m_database;
    std::optional<Failure> m_openFailure;
    QStringList m_opened;
    std::unique_ptr<Inventaire> m_run;
};

void TestInventaire::init()
{
    m_dir.~QTemporaryDir();
    new (&m_dir) QTemporaryDir();
    m_executable = {m_dir.path(), QStringLiteral("InventaireTirvano")};
    m_server = {};
    m_dialogs = {};
    m_view = {};
    m_view.gestion = m_dir.filePath(QStringLiteral("gestion.mdb"));
    m_view.chemin = m_dir.filePath(QStringLiteral("comptage.txt"));
    m_database = std::make_shared<FakeDatabase>(std::vector<std::vector<TextValue>>{
        {QStringLiteral("X"), QStringLiteral("3000000000001")},
        {QStringLiteral("Y"), QStringLiteral("3000000000002")},
        {QStringLiteral("Z"), std::nullopt},
        {QStringLiteral("A1"), QString()},
    });
    m_openFailure.reset();
    m_opened.clear();
    m_run = std::make_unique<Inventaire>(
        m_server, [this](const QString &path) { return openArticles(path); }, m_dialogs, m_view, m_executable);
}

std::shared_ptr<Database> TestInventaire::openArticles(const QString &path)
{
    m_opened << path;
    if (m_openFailure)
        throw *m_openFailure;
    return m_database;
}

void TestInventaire::writeCountFile(const QByteArray &content)
{
    QFile file(m_view.chemin);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

void TestInventaire::threeLinesInOrder()
{
    writeCountFile("X;1;\r\nY;2;\r\nZ;3;\r\n");
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);

    QCOMPARE(m_server.created, QStringList{kKelmar});
    QCOMPARE(m_opened, QStringList{m_view.gestion});
    QCOMPARE(m_server.methods(), (QStringList{"Init", "InitInventaire", "InventaireArticle", "InventaireArticle",
                                              "InventaireArticle", "ValidationInventaire"}));
    QCOMPARE(m_server.calls[0].arguments, (QStringList{"SOC", "", ""}));
    QCOMPARE(m_server.calls[1].arguments, QStringList{"DEP"});
    QCOMPARE(m_server.calls[2].arguments, (QStringList{"DEP", "X", "1"}));
    QCOMPARE(m_server.calls[3].arguments, (QStringList{"DEP", "Y", "2"}));
    QCOMPARE(m_server.calls[4].arguments, (QStringList{"DEP", "Z", "3"}));
    QCOMPARE(m_server.calls[5].arguments, QStringList{"DEP"});

    QCOMPARE(m_view.statuses, (QStringList{"Ouverture du serveur ...", "Importation des données ...",
                                           "Fermeture du serveur ...", kDone}));
    QCOMPARE(m_view.values, (QList<float>{0.0f, float(100.0 / 3), float(double(float(100.0 / 3)) + 100.0 / 3),
                                          float(double(float(double(float(100.0 / 3)) + 100.0 / 3)) + 100.0 / 3)}));
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "beep"}));
    QCOMPARE(m_dialogs.messages[0].icon, MessageIcon::None);
    QCOMPARE(m_dialogs.messages[0].title, std::nullopt);
    QVERIFY(!m_run->OLETIR());
    QCOMPARE(m_server.releases, 1);
    QVERIFY(!QFile::exists(m_executable.beside(QStringLiteral("Err_Inventaire.txt"))));
}

void TestInventaire::startAnswer_data()
{
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<bool>("sends");
    QTest::newRow("true") << QVariant(true) << true;
    QTest::newRow("-1") << QVariant(-1) << true;
    QTest::newRow("text -1") << QVariant(QStringLiteral("-1")) << true;
    QTest::newRow("false") << QVariant(false) << false;
    QTest::newRow("1") << QVariant(1) << false;
    QTest::newRow("no value") << QVariant() << false;
}

void TestInventaire::startAnswer()
{
    QFETCH(QVariant, answer);
    QFETCH(bool, sends);
    writeCountFile("X;1;\r\nNOPE;2;\r\n");
    m_server.onCall = [&](const QString &method, QStringList &, qsizetype) {
        return method == QLatin1String("InitInventaire") ? answer : QVariant();
    };
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 2);

    QCOMPARE(m_server.created, QStringList{QStringLiteral("GestionDovane.ClsProjet")});
    const QStringList expected = sends ? QStringList{"Init", "InitInventaire", "InventaireArticle", "InventaireArticle",
                                                     "ValidationInventaire"}
                                       : QStringList{"Init", "InitInventaire"};
    QCOMPARE(m_server.methods(), expected);
    // The closing steps follow either way; the missing-article message only if a code was missing.
    QCOMPARE(m_view.statuses.mid(2), (QStringList{"Fermeture du serveur ...", kDone}));
    QStringList events{"message:" + kDone};
    if (sends)
        events << "message:" + kMissing + m_executable.beside(QStringLiteral("Err_Inventaire.txt"));
    events << "beep";
    QCOMPARE(m_dialogs.events, events);
    QVERIFY(!m_run->OLETIR());
}

void TestInventaire::lineContents_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("quantity");

    for (const char *l : {"virgule", "point"}) {
        const QString locale = QString::fromLatin1(l);
        const bool comma = locale == QLatin1String("virgule");
        QTest::addRow("%s, decimal comma", l) << locale << QByteArray("X;1,5;") << "X" << (comma ? "1,5" : "1.5");
        QTest::addRow("%s, decimal point", l) << locale << QByteArray("X;1.5;") << "X" << (comma ? "1,5" : "1.5");
        QTest::addRow("%s, grouping", l) << locale << QByteArray("X;1 250;") << "X" << "1250";
        QTest::addRow("%s, negative", l) << locale << QByteArray("X;-2;") << "X" << "-2";
        QTest::addRow("%s, unclosed quantity", l) << locale << QByteArray("A1;5") << "A1" << "0";
        // Both fields of a line of spaces are empty; the empty code equals the empty barcode of A1.
        QTest::addRow("%s, spaces only", l) << locale << QByteArray("   ") << "A1" << "0";
        QTest::addRow("%s, barcode gives the code", l) << locale << QByteArray("3000000000002;4;") << "Y" << "4";
        QTest::addRow("%s, letter case from the database", l) << locale << QByteArray("x;4;") << "X" << "4";
        QTest::addRow("%s, third field ignored", l) << locale << QByteArray("X;4;lot 7;") << "X" << "4";
        QTest::addRow("%s, huge quantity", l) << locale << QByteArray("X;1234567890123456;") << "X" << "1,23456789012346E+15";
    }
}

void TestInventaire::lineContents()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, line);
    QFETCH(QString, code);
    QFETCH(QString, quantity);
    const ScopedLocale scoped(locale);
    if (locale == QLatin1String("point"))
        quantity.replace(QLatin1Char(','), QLatin1Char('.'));
    writeCountFile(line + "\r\n");
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_server.calls.size(), 4);
    QCOMPARE(m_server.calls[2].arguments, (QStringList{"DEP", code, quantity}));
}

void TestInventaire::unknownCodeIsSentEmptyAndReported()
{
    writeCountFile("X;1;\r\nNOPE;2;\r\nY;3;\r\n");
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_server.calls[3].arguments, (QStringList{"DEP", "", "2"}));
    QCOMPARE(m_server.calls[4].arguments, (QStringList{"DEP", "Y", "3"}));
    QVERIFY(m_run->bErr());
    QFile report(m_executable.beside(QStringLiteral("Err_Inventaire.txt")));
    QVERIFY(report.open(QIODevice::ReadOnly));
    QVERIFY(report.readAll().endsWith("L'article : NOPE n'existe pas dans la gestion en cours\r\n"));
    QCOMPARE(m_dialogs.messages.size(), 2);
    QCOMPARE(m_dialogs.messages[1].icon, MessageIcon::Critical);
    QCOMPARE(m_dialogs.messages[1].title, std::optional(QStringLiteral("InventaireTirvano")));
}

void TestInventaire::missingMessageStaysForLaterRuns()
{
    writeCountFile("NOPE;1;\r\n");
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    writeCountFile("X;1;\r\n");
    m_dialogs = {};
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone,
                                            "message:" + kMissing + m_executable.beside("Err_Inventaire.txt"), "beep"}));
}

void TestInventaire::emptyCountFile()
{
    writeCountFile("");
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_server.methods(), (QStringList{"Init", "InitInventaire", "ValidationInventaire"}));
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "beep"}));
    QCOMPARE(m_view.values, QList<float>{0.0f});
}

void TestInventaire::emptyLineEndsTheRunAndKeepsTheServer()
{
    writeCountFile("X;1;\r\nY;2;\r\n\r\nZ;3;\r\n");
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_server.methods(), (QStringList{"Init", "InitInventaire", "InventaireArticle", "InventaireArticle"}));
    QVERIFY(m_dialogs.events.isEmpty());
    QCOMPARE(m_view.messages, QStringLiteral("Importation des données ..."));
    QVERIFY(m_run->OLETIR());
    QCOMPARE(m_server.releases, 0);

    // The next run reuses that server, even for the other edition, and says nothing of opening it.
    writeCountFile("Z;3;\r\n");
    m_view.statuses.clear();
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 2);
    QCOMPARE(m_server.created, QStringList{kKelmar});
    QCOMPARE(m_view.statuses, (QStringList{"Importation des données ...", "Fermeture du serveur ...", kDone}));
    QCOMPARE(m_server.calls.last().method, QStringLiteral("ValidationInventaire"));
    QCOMPARE(m_server.releases, 1);
}

void TestInventaire::progressStopsShortWithDecimalCommas()
{
    // Four items in two lines: each line advances the bar by 25.
    writeCountFile("X;1,5;\r\nY;2,5;\r\n");
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_view.values, (QList<float>{0.0f, 25.0f, 50.0f}));
    QCOMPARE(m_dialogs.events.last(), QStringLiteral("beep"));
}

void TestInventaire::secondRunStartsTheBarAgain()
{
    writeCountFile("X;1;\r\nY;2;\r\nZ;3;\r\n");
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QVERIFY(m_view.value > 99.99f);
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_dialogs.events, (QStringList{"message:" + kDone, "beep", "message:" + kDone, "beep"}));
    QVERIFY(m_view.value > 99.99f && m_view.value <= 101.0f);
}

void TestInventaire::depotRewrittenByTheServer()
{
    writeCountFile("X;1;\r\nY;2;\r\n");
    m_server.onCall = [](const QString &method, QStringList &arguments, qsizetype) {
        if (method == QLatin1String("InitInventaire")) {
            arguments[0] = QStringLiteral("DEP-2");
            return QVariant(true);
        }
        if (method == QLatin1String("InventaireArticle")) {
            arguments[1] = QStringLiteral("ignored");
            arguments[2] = QStringLiteral("ignored");
        }
        return QVariant();
    };
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_server.calls[2].arguments, (QStringList{"DEP-2", "X", "1"}));
    QCOMPARE(m_server.calls[3].arguments, (QStringList{"DEP-2", "Y", "2"}));
    QCOMPARE(m_server.calls[4].arguments, QStringList{"DEP-2"});
}

void TestInventaire::failures_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<QString>("serverFailure"); // thrown instead of answering when not empty
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("linesSent");

    QTest::newRow("Init gives abc") << "Init" << QVariant(QStringLiteral("abc")) << "" << "Incompatibilité de type" << 0;
    QTest::newRow("InitInventaire gives 40000") << "InitInventaire" << QVariant(40000) << "" << "Dépassement de capacité" << 0;
    QTest::newRow("InventaireArticle gives abc") << "InventaireArticle" << QVariant(QStringLiteral("abc")) << ""
                                                 << "Incompatibilité de type" << 1;
    QTest::newRow("InventaireArticle fails") << "InventaireArticle" << QVariant() << "Article bloqué par un autre poste"
                                             << "Article bloqué par un autre poste" << 1;
    QTest::newRow("ValidationInventaire fails") << "ValidationInventaire" << QVariant() << "Inventaire déjà validé"
                                                << "Inventaire déjà validé" << 3;
}

void TestInventaire::failures()
{
    QFETCH(QString, method);
    QFETCH(QVariant, answer);
    QFETCH(QString, serverFailure);
    QFETCH(QString, description);
    QFETCH(int, linesSent);
    writeCountFile("X;1;\r\nY;2;\r\nZ;3;\r\n");
    m_server.onCall = [&](const QString &m, QStringList &, qsizetype) -> QVariant {
        if (m == method) {
            if (!serverFailure.isEmpty())
                throw Failure(Failure::AutomationError, serverFailure);
            return answer;
        }
        return m == QLatin1String("InitInventaire") ? QVariant(true) : QVariant();
    };
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);

    QCOMPARE(m_server.methods().count(QStringLiteral("InventaireArticle")), linesSent);
    QVERIFY(!m_server.methods().contains(QStringLiteral("ValidationInventaire")) || method == "ValidationInventaire");
    QCOMPARE(m_dialogs.events, QStringList{"message:Erreur dans votre fichier d'inventaire: " + description});
    QCOMPARE(m_dialogs.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(m_dialogs.messages[0].title, std::optional(QStringLiteral("InventaireTirvano")));
    QVERIFY(m_run->OLETIR()); // kept for the next run
    QVERIFY(m_view.statuses.last() != kDone);
}

void TestInventaire::itemCountOverflow()
{
    writeCountFile(QByteArray("X;1;\r\n").repeated(32768));
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_opened.size(), 1);
    QVERIFY(m_server.calls.isEmpty());
    QCOMPARE(m_dialogs.events, QStringList{"message:Erreur dans votre fichier d'inventaire: Dépassement de capacité"});

    // The count file is not left open: the next run reads it again.
    writeCountFile(QByteArray("X;1;\r\n").repeated(32767));
    m_dialogs = {};
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_server.methods().count(QStringLiteral("InventaireArticle")), 32767);
    QVERIFY(qAbs(m_view.value - 100.0f) < 0.05f);
    QCOMPARE(m_dialogs.events.last(), QStringLiteral("beep"));
}

void TestInventaire::serverNotCreated()
{
    writeCountFile("X;1;\r\n");
    m_server.createFailure = Failure(Failure::CannotCreateObject, QStringLiteral("Le serveur de gestion est absent"));
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(m_dialogs.events,
             QStringList{"message:Erreur dans votre fichier d'inventaire: Le serveur de gestion est absent"});
    QCOMPARE(m_view.statuses, QStringList{"Ouverture du serveur ..."});
}

void TestInventaire::databaseNotOpened()
{
    writeCountFile("X;1;\r\n");
    m_openFailure = Failure::fileNotFound(m_view.gestion);
    m_run->run(QStringLiteral("SOC"), QStringLiteral("DEP"), 1);
    QCOMPARE(m_dialogs.events,
             QStringList{"message:Erreur dans votre fichier d'inventaire: Fichier introuvable : " + m_view.gestion});
    QVERIFY(m_run->OLETIR());
    QVERIFY(m_server.calls.isEmpty());
}

QTEST_GUILESS_MAIN(TestInventaire)
#include "tst_inventaire.moc"
