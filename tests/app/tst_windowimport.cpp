// The demo through the whole window: the database made by the writer's command from
// demo/articles.txt, demo/comptage.txt as it stands, the edition chosen in the menu, and the
// reference management server started by a private bus under that edition's name.
#include "platform/dbusautomation.h"
#include "tests/support/importtexts.h"
#include "tests/support/testbus.h"
#include "tests/support/testwindow.h"

#include <QProcess>

class TestWindowImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void importsTheDemoUnderTheEditionOfTheMenu()
    {
        QApplication::setFont(frmmain::applicationFont());
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY2(bus.isConnected(), "the suite runs under dbus-run-session with the test bus configuration");
        testbus::ServerDirectory server;
        QVERIFY(testbus::setActivationEnvironment(bus, {{QStringLiteral("TIRVANO_SERVER_DIR"), server.path()}}));
        DBusAutomation automation(bus);
        TestWindow t(automation, "[Societe]\r\nSociete=01\r\nDepot=DEP1\r\nGestion=1\r\n");
        const QString database = t.directory.filePath("Gestion.mdb");
        QCOMPARE(QProcess::execute(QStringLiteral(TIRVANO_MDBWRITER),
                                   {database, "--table", "Article", "--columns", "Code:20,CodeBarre:13,Libelle:50", "--input",
                                    QStringLiteral(TIRVANO_SOURCE_DIR "/demo/articles.txt")}),
                 0);
        t.show();
        t.click("mnudovane");
        t.pick("TblGestion_1", database);
        t.pick("TlbFichier_1", QStringLiteral(TIRVANO_SOURCE_DIR "/demo/comptage.txt"));
        t.click("TlbPrpp_1");

        QCOMPARE(server.journal().value(0).value(QStringLiteral("progId")).toString(), testbus::Dovane);
        QCOMPARE(server.summary({"create", "call", "release"}).join('\n') + '\n',
                 QString::fromUtf8(readFile(QStringLiteral(TIRVANO_SOURCE_DIR "/tests/data/demo-journal.txt"))));
        QCOMPARE(t.text("LblMessages"), importtexts::kDone);
        QCOMPARE(t.dialogs.messages.size(), 2); // the end, and the articles left out
    }
};

QTEST_MAIN(TestWindowImport)
#include "tst_windowimport.moc"
