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
#include <QMessageBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <utility>

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

// What a widget shows each time it is painted, once per change.
struct PaintRecorder : QObject {
    PaintRecorder(QWidget *widget, std::function<QString()> shown) : m_shown(std::move(shown))
    {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        ++paints;
        if (painted.isEmpty() || painted.last() != m_shown())
            painted << m_shown();
        return false;
    }
    int paints = 0;
    QStringList painted;
    std::function<QString()> m_shown;
};

const QString kCodes = QStringLiteral("Vous devez saisir un code dépôt et un code société");
const QString kCountFile = QStringLiteral("Vous devez selectionner un fichier d'inventaire");
const QString kDatabase = QStringLiteral("Vous devez selectionner le fichier Corvel.mdb de votre gestion");

} // namespace

class TestWindowBehaviour : public QObject
{
    Q_OBJECT

    FakeAutomation m_automation;

private Q_SLOTS:
    void initTestCase() { QApplication::setFont(frmmain::applicationFont()); }
    void init() { m_automation = {}; }

    void firstStartWithoutSettings()
    {
        TestWindow t(m_automation);
        frmmain &w = *t.window;
        QCOMPARE(w.Txtsociete->text() + w.Txtdepot->text() + w.lblGestion->text(), QString());
        QCOMPARE(w.Gestion, qint16(1));
        QVERIFY(!w.mnukelmar->isChecked() && !w.mnudovane->isChecked());
        QCOMPARE(w.FicParam, t.directory.filePath("Parametres.ini"));
        QVERIFY(!QFile::exists(w.FicParam));
        // Saving creates the file with its one section and four keys.
        QTest::mouseClick(w.CmdDefaut, Qt::LeftButton);
        QCOMPARE(readFile(w.FicParam), QByteArray("[Societe]\r\nSociete=\r\nDepot=\r\nGestion=1\r\nGestionPath=\r\n"));
    }

    // The edition as loaded, then as the menu leaves it; what is saved is the edition, its item
    // ticked or not.
    void edition_data()
    {
        QTest::addColumn<QByteArray>("gestion"); // in the settings at start
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<int>("edition");
        QTest::addColumn<int>("ticked"); // 1 Kelmar, 2 Dovane, 0 neither
        QTest::newRow("1") << QByteArray("1") << QStringList{} << 1 << 1;
        QTest::newRow("2") << QByteArray("2") << QStringList{} << 2 << 2;
        QTest::newRow("abc") << QByteArray("abc") << QStringList{} << 2 << 2;
        QTest::newRow("nothing") << QByteArray("") << QStringList{} << 1 << 0;
        QTest::newRow("Kelmar once") << QByteArray("") << QStringList{"mnukelmar"} << 1 << 1;
        QTest::newRow("Kelmar twice") << QByteArray("") << QStringList{"mnukelmar", "mnukelmar"} << 1 << 0;
        QTest::newRow("Dovane while Kelmar ticked") << QByteArray("1") << QStringList{"mnudovane"} << 2 << 2;
        QTest::newRow("Kelmar while Dovane ticked") << QByteArray("2") << QStringList{"mnukelmar"} << 1 << 1;
        QTest::newRow("Dovane twice from Kelmar") << QByteArray("1") << QStringList{"mnudovane", "mnudovane"} << 2 << 0;
    }

    void edition()
    {
        QFETCH(QByteArray, gestion);
        QFETCH(QStringList, clicks);
        QFETCH(int, edition);
        QFETCH(int, ticked);
        TestWindow t(m_automation, "[Societe]\r\nSociete=S01\r\nDepot=D\xE9p\xF4t\r\nGestion=" + gestion
                                       + "\r\nGestionPath=/srv/gestion/Corvel.mdb\r\n");
        frmmain &w = *t.window;
        QCOMPARE(w.Societe + "|" + w.Txtsociete->text(), QStringLiteral("S01|S01"));
        QCOMPARE(w.Depot + "|" + w.Txtdepot->text(), QStringLiteral("Dépôt|Dépôt"));
        QCOMPARE(w.lblGestion->text(), QStringLiteral("/srv/gestion/Corvel.mdb"));
        for (const QString &item : clicks)
            w.findChild<QAction *>(item)->trigger();
        QCOMPARE(int(w.Gestion), edition);
        QCOMPARE(w.mnukelmar->isChecked(), ticked == 1);
        QCOMPARE(w.mnudovane->isChecked(), ticked == 2);
        QTest::mouseClick(w.CmdDefaut, Qt::LeftButton);
        QVERIFY(readFile(w.FicParam).contains("\r\nGestion=" + QByteArray::number(edition) + "\r\n"));
    }

    // What "Définir par défaut" saves, the next start shows; the fields follow the boxes on saving only.
    void saveThenReload_data()
    {
        QTest::addColumn<QString>("societe");
        QTest::addColumn<QString>("depot");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("pathReadBack");
        const QString accents = QStringLiteral("/srv/gestion été/Corvel.mdb");
        const QString longPath = QStringLiteral("/srv/") + QString(295, QLatin1Char('x'));
        QTest::newRow("accents and blanks") << "Société «A»" << "  D 1  " << accents << accents;
        QTest::newRow("300-character path") << "S02" << "D02" << longPath << longPath.left(254);
    }

    void saveThenReload()
    {
        QFETCH(QString, societe);
        QFETCH(QString, depot);
        QFETCH(QString, path);
        QFETCH(QString, pathReadBack);
        TestWindow t(m_automation, "[Societe]\r\nSociete=OLD\r\nDepot=OLD\r\nGestion=1\r\nGestionPath=/old.mdb\r\n");
        frmmain &w = *t.window;
        w.Txtsociete->setText(societe);
        w.Txtdepot->setText(depot);
        w.mnudovane->trigger();
        t.dialogs.fileAnswers = {path};
        QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
        QCOMPARE(w.Societe + "|" + w.Depot, QStringLiteral("OLD|OLD"));

        QTest::mouseClick(w.CmdDefaut, Qt::LeftButton);
        QCOMPARE(w.Societe + "|" + w.Depot, societe + "|" + depot);
        QCOMPARE(t.dialogs.messages.size(), 1);
        QCOMPARE(t.dialogs.messages[0].text, QStringLiteral("Paramètres enregistrés"));
        QCOMPARE(t.dialogs.messages[0].icon, MessageIcon::Information);
        QCOMPARE(t.dialogs.messages[0].title, std::optional(QStringLiteral("InventaireTirvano")));

        // The next start of the program.
        frmmain next({t.dialogs, m_automation, openMdbDatabase, {t.directory.path(), QStringLiteral("InventaireTirvano")}});
        QCOMPARE(next.Txtsociete->text() + "|" + next.Txtdepot->text(), societe + "|" + depot);
        QCOMPARE(next.lblGestion->text(), pathReadBack);
        QCOMPARE(int(next.Gestion), 2);
        QVERIFY(next.mnudovane->isChecked() && !next.mnukelmar->isChecked());
    }

    void keepsAHandWrittenSettingsFile()
    {
        TestWindow t(m_automation, "; réglages du poste\r\n[Affichage]\r\nTheme=clair\r\n\r\n[SOCIETE]\r\n"
                                   "# code du magasin\r\nsociete=M1\r\nGestion=2\r\n\r\n[Autre]\r\nX=1\r\n");
        QCOMPARE(t.window->Txtsociete->text(), QStringLiteral("M1"));
        t.window->Txtdepot->setText(QStringLiteral("D9"));
        QTest::mouseClick(t.window->CmdDefaut, Qt::LeftButton);
        QCOMPARE(readFile(t.window->FicParam),
                 QByteArray("; réglages du poste\r\n[Affichage]\r\nTheme=clair\r\n\r\n[SOCIETE]\r\n"
                            "# code du magasin\r\nsociete=M1\r\nGestion=2\r\nDepot=D9\r\nGestionPath=\r\n\r\n"
                            "[Autre]\r\nX=1\r\n"));
    }

    // The checks come in this order; a blank is a code.
    void validerChecks_data()
    {
        QTest::addColumn<QString>("societe");
        QTest::addColumn<QString>("depot");
        QTest::addColumn<QString>("countFile"); // picked when not empty
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing") << "" << "" << "" << "" << kCodes;
        QTest::newRow("no company") << "" << "D1" << "c.txt" << "g.mdb" << kCodes;
        QTest::newRow("no depot") << "S1" << "" << "c.txt" << "g.mdb" << kCodes;
        QTest::newRow("codes, nothing picked") << "S1" << "D1" << "" << "" << kCountFile;
        QTest::newRow("no database") << "S1" << "D1" << "c.txt" << "" << kDatabase;
        QTest::newRow("blanks are codes") << " " << " " << "c.txt" << "" << kDatabase;
    }

    void validerChecks()
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
        t.dialogs.fileAnswers = {countFile};
        if (!countFile.isEmpty())
            QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);

        QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);
        QCOMPARE(t.dialogs.messages.size(), 1);
        QCOMPARE(t.dialogs.messages[0].text, message);
        QCOMPARE(t.dialogs.messages[0].icon, MessageIcon::Exclamation);
        QCOMPARE(t.dialogs.messages[0].title, std::optional(QStringLiteral("InventaireTirvano")));
        // Nothing changed: no import, the fields as loaded, the button still enabled.
        QVERIFY(m_automation.created.isEmpty());
        QCOMPARE(w.Societe, QStringLiteral("AVANT"));
        QVERIFY(w.ProgressBar1->isHidden() && w.TlbPrpp->button(1)->isEnabled());
    }

    void pickers()
    {
        TestWindow t(m_automation);
        frmmain &w = *t.window;
        t.dialogs.fileAnswers = {QStringLiteral("/srv/Corvel.mdb"), QStringLiteral("/home/comptage")};
        QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
        QCOMPARE(w.lblGestion->text(), QStringLiteral("/srv/Corvel.mdb"));
        QCOMPARE(w.Fichier + w.lblchemin->text(), QString());

        QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
        QCOMPARE(w.Fichier + "|" + w.lblchemin->text(), QStringLiteral("/home/comptage|/home/comptage"));
        QCOMPARE(t.dialogs.filters, (QStringList{"Gestion | *.mdb", "*.*"}));
        // A cancelled dialog reports the name it reported last, and the picker takes it.
        QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
        QCOMPARE(w.lblGestion->text(), QStringLiteral("/home/comptage"));
    }

    void importFromTheWindow()
    {
        const ScopedLocale comma(QStringLiteral("virgule"));
        TestWindow t(m_automation, "[Societe]\r\nSociete=S1\r\nDepot=D1\r\nGestion=1\r\n");
        frmmain &w = *t.window;
        const QString countFile = t.directory.filePath("comptage.txt");
        writeFile(countFile, "X;1;\r\n2;2,5;\r\n");
        t.dialogs.fileAnswers = {writeArticles(t.directory.filePath("gestion.mdb"), {article("X", "1"), article("Y", "2")}),
                                 countFile};
        QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
        QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
        w.Txtdepot->setText(QStringLiteral("D2"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // During the run the status line and the bar are painted as they change, while events wait.
        PaintRecorder status(w.LblMessages, [&] { return w.LblMessages->text(); });
        PaintRecorder bar(w.ProgressBar1, [&] { return QString::number(double(w.ProgressBar1->preciseValue())); });
        bool eventHandled = false;
        QTimer::singleShot(0, &w, [&] { eventHandled = true; });
        QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);
        QVERIFY(!eventHandled);
        QCOMPARE(status.painted, (QStringList{"", "Ouverture du serveur ...", "Importation des données ...",
                                              "Fermeture du serveur ...", "Importation d'inventaire terminée ..."}));
        QCOMPARE(bar.painted, (QStringList{"0", "33.3333", "66.6667"}));
        // The depot is the box's as "Valider" is clicked, not the one loaded.
        QCOMPARE(m_automation.calls[3].arguments, (QStringList{"D2", "Y", "2,5"}));
    }

    // A long run paints the bar when its filled width changes, not at every line, and at its
    // end, before any event is handled, the screen shows the bar as it is.
    void longRunPaintsTheBarOncePerPixel()
    {
        TestWindow t(m_automation, "[Societe]\r\nSociete=S1\r\nDepot=D1\r\nGestion=1\r\n");
        frmmain &w = *t.window;
        const QString countFile = t.directory.filePath("comptage.txt");
        writeFile(countFile, QByteArray("X;1;\r\n").repeated(4000));
        t.dialogs.fileAnswers = {writeArticles(t.directory.filePath("gestion.mdb"), {article("X", "1")}), countFile};
        QTest::mouseClick(w.TblGestion->buttonWidget(1), Qt::LeftButton);
        QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // What the screen shows of the bar against the bar drawn afresh, every few hundred lines.
        PaintRecorder bar(w.ProgressBar1, [&] { return QString(); });
        int compared = 0;
        int different = 0;
        m_automation.onCall = [&](const QString &method, QStringList &, qsizetype call) {
            if (call % 333 == 0 || method == QLatin1String("ValidationInventaire")) {
                const QPoint place = w.ProgressBar1->mapTo(&w, QPoint(0, 0));
                const QSize size = w.ProgressBar1->size();
                const QImage shown = w.screen()->grabWindow(w.winId(), place.x(), place.y(), size.width(), size.height()).toImage();
                ++compared;
                different += shown.convertToFormat(QImage::Format_RGB32)
                             != w.ProgressBar1->grab().toImage().convertToFormat(QImage::Format_RGB32);
            }
            return QVariant(true);
        };
        QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);
        QCOMPARE(m_automation.calls.size(), 4003);
        QCOMPARE(compared, 13);
        const int ownPaints = bar.paints - compared; // each fresh drawing paints the bar too
        QVERIFY2(ownPaints <= w.ProgressBar1->width() + 3, qPrintable(QString::number(ownPaints)));
        QCOMPARE(different, 0);
    }

    // Even a run that fails on the database disables "Valider"; picking a count file enables it.
    void validerDisabledUntilTheNextPick()
    {
        TestWindow t(m_automation, "[Societe]\r\nSociete=S1\r\nDepot=D1\r\nGestionPath=/nulle/part.mdb\r\n");
        frmmain &w = *t.window;
        t.dialogs.fileAnswers = {t.directory.filePath("comptage.txt")};
        writeFile(t.dialogs.fileAnswers[0], "X;1;\r\n");
        const QStringList pickAndFail{"openFile:*.*",
                                      "message:Erreur dans votre fichier d'inventaire: Fichier introuvable : /nulle/part.mdb"};
        QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
        QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);
        QCOMPARE(std::exchange(t.dialogs.events, {}), pickAndFail);
        QVERIFY(!w.TlbPrpp->button(1)->isEnabled());
        QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);
        QVERIFY(t.dialogs.events.isEmpty());

        // The same file picked again (the dialog cancelled) will do.
        QTest::mouseClick(w.TlbFichier->buttonWidget(1), Qt::LeftButton);
        QVERIFY(w.TlbPrpp->button(1)->isEnabled());
        QTest::mouseClick(w.TlbPrpp->buttonWidget(1), Qt::LeftButton);
        QCOMPARE(t.dialogs.events, pickAndFail);
    }

    void fermerSavesNothing()
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

    // The program's own file dialog lists what the filter lets through, names without a dot included.
    void fileDialogFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("nameFilters");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("database") << "Gestion | *.mdb" << "Gestion (*.mdb)" << QStringList{"Corvel.mdb"};
        QTest::newRow("count file") << "*.*" << "Tous les fichiers (*)" << QStringList{"Corvel.mdb", "comptage", "inventaire.txt"};
    }

    void fileDialogFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QString, nameFilters);
        QFETCH(QStringList, listed);
        QCOMPARE(QtDialogs::nameFilters(filter), nameFilters);
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
            for (int row = 0; row < model->rowCount(root); ++row)
                if (model->flags(model->index(row, 0, root)) & Qt::ItemIsEnabled)
                    names << model->index(row, 0, root).data().toString();
            names.sort();
            return names;
        };
        QTRY_COMPARE(shown(), listed);
    }

    // The program's message boxes: OK only, the title asked for or the application's, and the
    // text as it stands even when it looks like markup.
    void messageBoxes_data()
    {
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<QString>("shownTitle");
        QTest::newRow("own title") << std::optional(QStringLiteral("InventaireTirvano")) << "InventaireTirvano";
        QTest::newRow("no title") << std::optional<QString>() << "Inventaire TIRVANO";
    }

    void messageBoxes()
    {
        QFETCH(std::optional<QString>, title);
        QFETCH(QString, shownTitle);
        const QString text = QStringLiteral("Fichier introuvable : /tmp/<b>stock</b>.txt");
        QString seen;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = box->windowTitle() + "|" + box->text() + "|" + QString::number(box->textFormat()) + "|"
                   + QString::number(box->buttons().size());
            box->accept();
        });
        QtDialogs().message(text, MessageIcon::Critical, title);
        QCOMPARE(seen, shownTitle + "|" + text + "|" + QString::number(Qt::PlainText) + "|1");
    }
};

QTEST_MAIN(TestWindowBehaviour)
#include "tst_windowbehaviour.moc"
