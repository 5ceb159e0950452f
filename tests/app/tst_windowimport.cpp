// A whole import driven from the window, against the reference management server started by
// a private bus, on a real database and a real count file.
#include "app/controls.h"
#include "platform/dbusautomation.h"
#include "tests/support/articledb.h"
#include "tests/support/testbus.h"
#include "tests/support/testwindow.h"

#include <QAction>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QToolButton>

using namespace testbus;

class TestWindowImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void importsThroughTheServer_data();
    void importsThroughTheServer();
    void importsTheDemo();

private:
    QDBusConnection m_bus = QDBusConnection::sessionBus();
    ServerDirectory m_server;
};

void TestWindowImport::initTestCase()
{
    QApplication::setFont(frmmain::applicationFont());
    QVERIFY2(m_bus.isConnected(), "the suite runs under dbus-run-session with the test bus configuration");
    QVERIFY(setActivationEnvironment(m_bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), m_server.path()},
                                             {QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QStringLiteral("500")}}));
}

void TestWindowImport::init()
{
    QVERIFY(killServer(m_bus, Kelmar));
    QVERIFY(killServer(m_bus, Dovane));
    m_server.clear();
}

void TestWindowImport::importsThroughTheServer_data()
{
    QTest::addColumn<QString>("menuItem"); // clicked before the import, or none
    QTest::addColumn<QString>("progId");
    QTest::newRow("Kelmar from the settings") << "" << Kelmar;
    QTest::newRow("Dovane from the menu") << "mnudovane" << Dovane;
}

void TestWindowImport::importsThroughTheServer()
{
    QFETCH(QString, menuItem);
    QFETCH(QString, progId);
    DBusAutomation automation(m_bus);
    TestWindow t(automation, "[Societe]\r\nSociete=S1\r\nDepot=D1\r\nGestion=1\r\n");
    frmmain &w = *t.window;
    const QString database =
        writeArticles(t.directory.filePath("gestion.mdb"), {article("X1", "3760000000017"), article("Y2", std::nullopt)});
    const QString countFile = t.directory.filePath("comptage.txt");
    {
        QFile file(countFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("3760000000017;4;\r\nINCONNU;2;\r\ny2;7;\r\n");
    }
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    if (!menuItem.isEmpty())
        w.findChild<QAction *>(menuItem)->trigger();
    t.dialogs.fileAnswers = {database, countFile};
    QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
    QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
    QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);

    QCOMPARE(m_server.summary({"create", "call", "release"}),
             (QStringList{"create /1", "call /1 Init S1||", "call /1 InitInventaire D1",
                          "call /1 InventaireArticle D1|X1|4", "call /1 InventaireArticle D1||2",
                          "call /1 InventaireArticle D1|Y2|7", "call /1 ValidationInventaire D1", "release /1"}));
    QCOMPARE(m_server.journal().first().value(QStringLiteral("progId")).toString(), progId);

    QCOMPARE(w.LblMessages->text(), QStringLiteral("Importation d'inventaire terminée ..."));
    QVERIFY(qAbs(w.ProgressBar1->preciseValue() - 100.0f) < 0.01f);
    QVERIFY(w.ProgressBar1->isVisible());
    QVERIFY(!w.TlbPrpp->button(1)->isEnabled());
    QCOMPARE(t.dialogs.events,
             (QStringList{"openFile:Gestion | *.mdb", "openFile:*.*", "message:Importation d'inventaire terminée ...",
                          "message:Certains articles n'ont pu être remontés. Vous trouverez une liste de ces articles "
                          "dans le fichier\r\n\r\n"
                              + t.directory.filePath("Err_Inventaire.txt"),
                          "beep"}));
    QFile report(t.directory.filePath("Err_Inventaire.txt"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    QVERIFY(report.readAll().endsWith("L'article : INCONNU n'existe pas dans la gestion en cours\r\n"));
}

// What scripts/demo sets up: the database made by the writer's command from demo/articles.txt,
// and demo/comptage.txt as it stands.
void TestWindowImport::importsTheDemo()
{
    DBusAutomation automation(m_bus);
    TestWindow t(automation, "[Societe]\r\nSociete=01\r\nDepot=DEP1\r\nGestion=1\r\n");
    const QString database = t.directory.filePath("Gestion.mdb");
    QProcess writer;
    writer.start(QStringLiteral(TIRVANO_MDBWRITER),
                 {database, "--table", "Article", "--columns", "Code:20,CodeBarre:13,Libelle:50", "--input",
                  QStringLiteral(TIRVANO_SOURCE_DIR "/demo/articles.txt")});
    QVERIFY(writer.waitForFinished());
    QCOMPARE(writer.exitCode(), 0);

    frmmain &w = *t.window;
    t.dialogs.fileAnswers = {database, QStringLiteral(TIRVANO_SOURCE_DIR "/demo/comptage.txt")};
    QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
    QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
    QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);

    const QStringList calls = m_server.summary({"call"});
    QCOMPARE(calls.size(), 14);
    QCOMPARE(calls[2], QStringLiteral("call /1 InventaireArticle DEP1|MART01|12"));
    QCOMPARE(calls[3], QStringLiteral("call /1 InventaireArticle DEP1|TOURN05|8"));
    QCOMPARE(calls[6], QStringLiteral("call /1 InventaireArticle DEP1|VIS4X40|2"));
    QCOMPARE(calls[10], QStringLiteral("call /1 InventaireArticle DEP1||4"));
    QCOMPARE(calls[13], QStringLiteral("call /1 ValidationInventaire DEP1"));
    QCOMPARE(t.dialogs.messages.size(), 2);
    QVERIFY(qAbs(w.ProgressBar1->preciseValue() - 100.0f) < 0.01f);
}

QTEST_MAIN(TestWindowImport)
#include "tst_windowimport.moc"
