// What the operator does with the window: settings at start and on request, the edition menu,
// the two pickers, the checks of "Valider", an import and "Fermer". Dialogs are answered by
// the test; the settings file is a real file in a folder standing for the executable's.
#include "app/controls.h"
#include "app/qtdialogs.h"
#include "tests/support/articledb.h"
#include "tests/support/fakeautomation.h"
#include "tests/support/testwindow.h"
#include "tests/testlocale.h"

#include <QAction>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTest>
#include <QTimer>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Counts the paints a widget receives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

const QString kCodes = QStringLiteral("Vous devez saisir un code dépôt et un code société");
const QString kCountFile = QStringLiteral("Vous devez selectionner un fichier d'inventaire");
const QString kDatabase = QStringLiteral("Vous devez selectionner le fichier Corvel.mdb de votre gestion");

} // namespace

class TestWindowBehaviour : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setFont(frmmain::applicationFont()); }
    void init() { m_automation = {}; }
    void firstStartWithoutSettings();
    void loadsSettings_data();
    void loadsSettings();
    void editionMenu_data();
    void editionMenu();
    void savesDefaults();
    void saveThenReload();
    void keepsAHandWrittenSettingsFile();
    void longPathReadsBackCut();
    void validerChecks_data();
    void validerChecks();
    void pickers();
    void importFromTheWindow();
    void validerDisabledUntilTheNextPick();
    void fermerSavesNothing();
    void fileDialogFilters_data();
    void fileDialogFilters();

private:
    FakeAutomation m_automation;
};

void TestWindowBehaviour::firstStartWithoutSettings()
{
    TestWindow t(m_automation);
    frmmain &w = *t.window;
    QCOMPARE(w.Txtsociete->text(), QString());
    QCOMPARE(w.Txtdepot->text(), QString());
    QCOMPARE(w.lblGestion->text(), QString());
    QCOMPARE(w.Gestion, qint16(1));
    QVERIFY(!w.mnukelmar->isChecked());
    QVERIFY(!w.mnudovane->isChecked());
    QVERIFY(w.TlbPrpp->button(1)->isEnabled());
    QVERIFY(!QFile::exists(w.FicParam));
    QCOMPARE(w.FicParam, t.directory.filePath("Parametres.ini"));

    QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);
    QCOMPARE(t.dialogs.messages.size(), 1);
    QCOMPARE(t.dialogs.messages[0].text, kCodes);

    // Saving creates the file with its one section and four keys.
    QTest::mouseClick(w.CmdDefaut, Qt::LeftButton);
    QCOMPARE(readFile(w.FicParam), QByteArray("[Societe]\r\nSociete=\r\nDepot=\r\nGestion=1\r\nGestionPath=\r\n"));
}

void TestWindowBehaviour::loadsSettings_data()
{
    QTest::addColumn<QByteArray>("gestion");
    QTest::addColumn<int>("edition");
    QTest::addColumn<bool>("kelmar");
    QTest::addColumn<bool>("dovane");
    QTest::newRow("1") << QByteArray("1") << 1 << true << false;
    QTest::newRow("2") << QByteArray("2") << 2 << false << true;
    QTest::newRow("abc") << QByteArray("abc") << 2 << false << true;
    QTest::newRow("blank then 1") << QByteArray(" 1") << 2 << false << true;
    QTest::newRow("empty") << QByteArray("") << 1 << false << false;
}

void TestWindowBehaviour::loadsSettings()
{
    QFETCH(QByteArray, gestion);
    QFETCH(int, edition);
    QFETCH(bool, kelmar);
    QFETCH(bool, dovane);
    TestWindow t(m_automation, "[Societe]\r\nSociete=S01\r\nDepot=D\xE9p\xF4t\r\nGestion=" + gestion
                                   + "\r\nGestionPath=/srv/gestion/Corvel.mdb\r\n");
    frmmain &w = *t.window;
    QCOMPARE(w.Societe, QStringLiteral("S01"));
    QCOMPARE(w.Depot, QStringLiteral("Dépôt"));
    QCOMPARE(w.Txtsociete->text(), QStringLiteral("S01"));
    QCOMPARE(w.Txtdepot->text(), QStringLiteral("Dépôt"));
    QCOMPARE(w.lblGestion->text(), QStringLiteral("/srv/gestion/Corvel.mdb"));
    QCOMPARE(int(w.Gestion), edition);
    QCOMPARE(w.mnukelmar->isChecked(), kelmar);
    QCOMPARE(w.mnudovane->isChecked(), dovane);
    QCOMPARE(w.Fichier, QString());
    QCOMPARE(w.lblchemin->text(), QString());
}

void TestWindowBehaviour::editionMenu_data()
{
    QTest::addColumn<QByteArray>("gestion"); // in the settings at start
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<int>("edition");
    QTest::addColumn<bool>("kelmar");
    QTest::addColumn<bool>("dovane");
    QTest::newRow("Kelmar once") << QByteArray("") << QStringList{"mnukelmar"} << 1 << true << false;
    QTest::newRow("Kelmar twice") << QByteArray("") << QStringList{"mnukelmar", "mnukelmar"} << 1 << false << false;
    QTest::newRow("Dovane while Kelmar ticked") << QByteArray("1") << QStringList{"mnudovane"} << 2 << false << true;
    QTest::newRow("Kelmar while Dovane ticked") << QByteArray("2") << QStringList{"mnukelmar"} << 1 << true << false;
    QTest::newRow("Dovane twice from Kelmar") << QByteArray("1") << QStringList{"mnudovane", "mnudovane"} << 2 << false
                                              << false;
    QTest::newRow("untick Kelmar then Dovane") << QByteArray("1") << QStringList{"mnukelmar", "mnudovane"} << 2 << false
                                               << true;
}

void TestWindowBehaviour::editionMenu()
{
    QFETCH(QByteArray, gestion);
    QFETCH(QStringList, clicks);
    QFETCH(int, edition);
    QFETCH(bool, kelmar);
    QFETCH(bool, dovane);
    TestWindow t(m_automation, "[Societe]\r\nGestion=" + gestion + "\r\n");
    frmmain &w = *t.window;
    for (const QString &item : clicks)
        w.findChild<QAction *>(item)->trigger();
    QCOMPARE(int(w.Gestion), edition);
    QCOMPARE(w.mnukelmar->isChecked(), kelmar);
    QCOMPARE(w.mnudovane->isChecked(), dovane);

    // What is saved is the edition, ticked or not, and the next start ticks its item.
    QTest::mouseClick(w.CmdDefaut, Qt::LeftButton);
    QVERIFY(readFile(w.FicParam).contains("\r\nGestion=" + QByteArray::number(edition) + "\r\n"));
    frmmain next({t.dialogs, m_automation, openMdbDatabase, {t.directory.path(), QStringLiteral("InventaireTirvano")}});
    QCOMPARE(int(next.Gestion), edition);
    QCOMPARE(next.mnukelmar->isChecked(), edition == 1);
    QCOMPARE(next.mnudovane->isChecked(), edition == 2);
}

void TestWindowBehaviour::savesDefaults()
{
    TestWindow t(m_automation, "[Societe]\r\nSociete=OLD\r\nDepot=OLD\r\nGestion=2\r\nGestionPath=/old.mdb\r\n");
    frmmain &w = *t.window;
    w.Txtsociete->setText(QStringLiteral("S02"));
    w.Txtdepot->setText(QStringLiteral("D02"));
    t.dialogs.fileAnswers = {QStringLiteral("/srv/nouvelle.mdb")};
    QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
    QCOMPARE(w.Societe, QStringLiteral("OLD"));

    QTest::mouseClick(w.CmdDefaut, Qt::LeftButton);
    QCOMPARE(readFile(w.FicParam),
             QByteArray("[Societe]\r\nSociete=S02\r\nDepot=D02\r\nGestion=2\r\nGestionPath=/srv/nouvelle.mdb\r\n"));
    QCOMPARE(w.Societe, QStringLiteral("S02"));
    QCOMPARE(w.Depot, QStringLiteral("D02"));
    QCOMPARE(t.dialogs.messages.size(), 1);
    QCOMPARE(t.dialogs.messages[0].text, QStringLiteral("Paramètres enregistrés"));
    QCOMPARE(t.dialogs.messages[0].icon, MessageIcon::Information);
    QCOMPARE(t.dialogs.messages[0].title, std::optional(QStringLiteral("InventaireTirvano")));
}

void TestWindowBehaviour::saveThenReload()
{
    TestWindow t(m_automation);
    t.window->Txtsociete->setText(QStringLiteral("Société «A»"));
    t.window->Txtdepot->setText(QStringLiteral("  D 1  "));
    t.window->mnudovane->trigger();
    t.dialogs.fileAnswers = {QStringLiteral("/srv/gestion été/Corvel.mdb")};
    QTest::mouseClick(t.window->TblGestion->buttonWidget(1), Qt::LeftButton);
    QTest::mouseClick(t.window->CmdDefaut, Qt::LeftButton);

    frmmain next({t.dialogs, m_automation, openMdbDatabase, {t.directory.path(), QStringLiteral("InventaireTirvano")}});
    QCOMPARE(next.Txtsociete->text(), QStringLiteral("Société «A»"));
    QCOMPARE(next.Txtdepot->text(), QStringLiteral("  D 1  "));
    QCOMPARE(next.lblGestion->text(), QStringLiteral("/srv/gestion été/Corvel.mdb"));
    QCOMPARE(int(next.Gestion), 2);
    QVERIFY(next.mnudovane->isChecked());
}

void TestWindowBehaviour::keepsAHandWrittenSettingsFile()
{
    const QByteArray before = "; réglages du poste\r\n[Affichage]\r\nTheme=clair\r\n\r\n[SOCIETE]\r\n"
                              "# code du magasin\r\nsociete=M1\r\nGestion=2\r\n\r\n[Autre]\r\nX=1\r\n";
    TestWindow t(m_automation, before);
    QCOMPARE(t.window->Txtsociete->text(), QStringLiteral("M1"));
    t.window->Txtdepot->setText(QStringLiteral("D9"));
    QTest::mouseClick(t.window->CmdDefaut, Qt::LeftButton);
    QCOMPARE(readFile(t.window->FicParam),
             QByteArray("; réglages du poste\r\n[Affichage]\r\nTheme=clair\r\n\r\n[SOCIETE]\r\n"
                        "# code du magasin\r\nsociete=M1\r\nGestion=2\r\nDepot=D9\r\nGestionPath=\r\n\r\n"
                        "[Autre]\r\nX=1\r\n"));
}

void TestWindowBehaviour::longPathReadsBackCut()
{
    const QString longPath = QStringLiteral("/srv/") + QString(295, QLatin1Char('x'));
    TestWindow t(m_automation);
    t.dialogs.fileAnswers = {longPath};
    QTest::mouseClick(t.window->TblGestion->buttonWidget(1), Qt::LeftButton);
    QTest::mouseClick(t.window->CmdDefaut, Qt::LeftButton);
    frmmain next({t.dialogs, m_automation, openMdbDatabase, {t.directory.path(), QStringLiteral("InventaireTirvano")}});
    QCOMPARE(next.lblGestion->text(), longPath.left(254));
}

void TestWindowBehaviour::validerChecks_data()
{
    QTest::addColumn<QString>("societe");
    QTest::addColumn<QString>("depot");
    QTest::addColumn<QString>("countFile"); // picked when not empty
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("message");

    QTest::newRow("nothing") << "" << "" << "" << "" << kCodes;
    QTest::newRow("no company") << "" << "D1" << "c.txt" << "g.mdb" << kCodes;
    QTest::newRow("no depot") << "S1" << "" << "c.txt" << "g.mdb" << kCodes;
    QTest::newRow("codes, no count file") << "S1" << "D1" << "" << "g.mdb" << kCountFile;
    QTest::newRow("codes, nothing picked") << "S1" << "D1" << "" << "" << kCountFile;
    QTest::newRow("no database") << "S1" << "D1" << "c.txt" << "" << kDatabase;
    QTest::newRow("blanks are filled") << " " << " " << "c.txt" << "" << kDatabase;
}

void TestWindowBehaviour::validerChecks()
{
    QFETCH(QString, societe);
    QFETCH(QString, depot);
    QFETCH(QString, countFile);
    QFETCH(QString, database);
    QFETCH(QString, message);
    TestWindow t(m_automation, "[Societe]\r\nSociete=AVANT\r\nDepot=AVANT\r\nGestionPath=" + database.toUtf8() + "\r\n");
    frmmain &w = *t.window;
    w.Txtsociete->setText(societe);
    w.Txtdepot->setText(depot);
    if (!countFile.isEmpty()) {
        t.dialogs.fileAnswers = {countFile};
        QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
    }
    t.dialogs.messages.clear();

    QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);
    QCOMPARE(t.dialogs.messages.size(), 1);
    QCOMPARE(t.dialogs.messages[0].text, message);
    QCOMPARE(t.dialogs.messages[0].icon, MessageIcon::Exclamation);
    QCOMPARE(t.dialogs.messages[0].title, std::optional(QStringLiteral("InventaireTirvano")));
    // Nothing changed: no import, the fields as loaded, the button still enabled.
    QVERIFY(m_automation.created.isEmpty());
    QCOMPARE(w.Societe, QStringLiteral("AVANT"));
    QVERIFY(w.ProgressBar1->isHidden());
    QVERIFY(w.TlbPrpp->button(1)->isEnabled());
}

void TestWindowBehaviour::pickers()
{
    TestWindow t(m_automation);
    frmmain &w = *t.window;
    t.dialogs.fileAnswers = {QStringLiteral("/srv/Corvel.mdb"), QStringLiteral("/home/comptage")};
    QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
    QCOMPARE(w.lblGestion->text(), QStringLiteral("/srv/Corvel.mdb"));
    QCOMPARE(w.Fichier, QString());
    QCOMPARE(w.lblchemin->text(), QString());

    QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
    QCOMPARE(w.Fichier, QStringLiteral("/home/comptage"));
    QCOMPARE(w.lblchemin->text(), QStringLiteral("/home/comptage"));
    QCOMPARE(t.dialogs.filters, (QStringList{"Gestion | *.mdb", "*.*"}));

    // A cancelled dialog reports the name it reported last, and the picker takes it.
    QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
    QCOMPARE(w.lblGestion->text(), QStringLiteral("/home/comptage"));
}

void TestWindowBehaviour::importFromTheWindow()
{
    const ScopedLocale comma(QStringLiteral("virgule"));
    TestWindow t(m_automation, "[Societe]\r\nSociete=S1\r\nDepot=D1\r\nGestion=1\r\n");
    frmmain &w = *t.window;
    const QString database = writeArticles(t.directory.filePath("gestion.mdb"), {article("X", "1"), article("Y", "2")});
    const QString countFile = t.directory.filePath("comptage.txt");
    writeFile(countFile, "X;1;\r\n2;2,5;\r\n");
    t.dialogs.fileAnswers = {database, countFile};
    QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
    QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
    w.Txtdepot->setText(QStringLiteral("D2"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // During the run the status line and the bar are painted at once, while events wait.
    PaintCounter statusPaints(w.LblMessages);
    PaintCounter barPaints(w.ProgressBar1);
    bool eventHandled = false;
    QTimer::singleShot(0, &w, [&] { eventHandled = true; });
    QStringList seenDuringRun;
    m_automation = {};
    m_automation.onCall = [&](const QString &method, QStringList &, qsizetype) {
        seenDuringRun << method + ":" + w.LblMessages->text() + ":" + QString::number(double(w.ProgressBar1->value()))
                             + (w.ProgressBar1->isVisible() ? ":visible" : ":hidden");
        return method == QLatin1String("InitInventaire") ? QVariant(true) : QVariant();
    };
    QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);

    QVERIFY(!eventHandled);
    QCOMPARE(seenDuringRun, (QStringList{"Init:Importation des données ...:0:visible",
                                         "InitInventaire:Importation des données ...:0:visible",
                                         "InventaireArticle:Importation des données ...:0:visible",
                                         "InventaireArticle:Importation des données ...:33.3333:visible",
                                         "ValidationInventaire:Importation des données ...:66.6667:visible"}));
    QCOMPARE(m_automation.calls[0].arguments, (QStringList{"S1", "", ""}));
    QCOMPARE(m_automation.calls[3].arguments, (QStringList{"D2", "Y", "2,5"}));
    QVERIFY(statusPaints.paints >= 4);
    QVERIFY(barPaints.paints >= 3);
    QCOMPARE(w.Depot, QStringLiteral("D2"));
    QCOMPARE(w.LblMessages->text(), QStringLiteral("Importation d'inventaire terminée ..."));
    QCOMPARE(t.dialogs.events.last(), QStringLiteral("beep"));
    QVERIFY(!w.TlbPrpp->button(1)->isEnabled());
    QVERIFY(!w.ProgressBar1->isHidden());
}

void TestWindowBehaviour::validerDisabledUntilTheNextPick()
{
    TestWindow t(m_automation, "[Societe]\r\nSociete=S1\r\nDepot=D1\r\nGestionPath=/nulle/part.mdb\r\n");
    frmmain &w = *t.window;
    const QString countFile = t.directory.filePath("comptage.txt");
    writeFile(countFile, "X;1;\r\n");
    t.dialogs.fileAnswers = {countFile};
    m_automation = {};
    QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
    QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);

    // The import failed on the database, yet the button is disabled all the same.
    QCOMPARE(t.dialogs.messages.last().text,
             QStringLiteral("Erreur dans votre fichier d'inventaire: Fichier introuvable : /nulle/part.mdb"));
    QVERIFY(!w.TlbPrpp->button(1)->isEnabled());
    const qsizetype messages = t.dialogs.messages.size();
    QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);
    QCOMPARE(t.dialogs.messages.size(), messages);
    QCOMPARE(m_automation.created.size(), 1);

    // Picking the same file again enables it.
    QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
    QVERIFY(w.TlbPrpp->button(1)->isEnabled());
    QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);
    QCOMPARE(t.dialogs.messages.size(), messages + 1);
}

void TestWindowBehaviour::fermerSavesNothing()
{
    const QByteArray settings = "[Societe]\r\nSociete=S1\r\n";
    TestWindow t(m_automation, settings);
    frmmain &w = *t.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.Txtsociete->setText(QStringLiteral("modifiée"));
    w.mnudovane->trigger();
    QTest::mouseClick(w.TlbPrpp->buttonWidget(2), Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QVERIFY(t.dialogs.events.isEmpty());
    QCOMPARE(readFile(w.FicParam), settings);
}

void TestWindowBehaviour::fileDialogFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("nameFilters");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("database") << "Gestion | *.mdb" << "Gestion (*.mdb)" << QStringList{"Corvel.mdb"};
    QTest::newRow("count file") << "*.*" << "Tous les fichiers (*)" << QStringList{"Corvel.mdb", "comptage", "inventaire.txt"};
}

void TestWindowBehaviour::fileDialogFilters()
{
    QFETCH(QString, filter);
    QFETCH(QString, nameFilters);
    QFETCH(QStringList, listed);
    QCOMPARE(QtDialogs::nameFilters(filter), nameFilters);

    // The dialog itself lists what the filter lets through, names without a dot included.
    QTemporaryDir dir;
    for (const char *name : {"Corvel.mdb", "comptage", "inventaire.txt"})
        writeFile(dir.filePath(QString::fromLatin1(name)), "x");
    QFileDialog dialog(nullptr, QString(), dir.path(), nameFilters);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto *model = dialog.findChild<QFileSystemModel *>();
    QVERIFY(model);
    const auto shown = [&] {
        QStringList names;
        const QModelIndex root = model->index(dir.path());
        for (int row = 0; row < model->rowCount(root); ++row) {
            const QModelIndex index = model->index(row, 0, root);
            if (model->flags(index) & Qt::ItemIsEnabled)
                names << model->fileName(index);
        }
        names.sort();
        return names;
    };
    QTRY_COMPARE(shown(), listed);
}

QTEST_MAIN(TestWindowBehaviour)
#include "tst_windowbehaviour.moc"
