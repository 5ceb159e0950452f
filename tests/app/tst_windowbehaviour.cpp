// What the operator does with the window: the edition menu, the settings saved on request, the
// two pickers, the checks of "Valider", a long import and "Fermer"; the program's own message
// boxes and file filters. Dialogs are answered by the test; the settings file is a real file in
// a folder standing for the executable's. What the run itself does is tested on fakes below
// the window (tests/integration, tests/import).
#include "app/controls.h"
#include "app/qtdialogs.h"
#include "tests/support/articledb.h"
#include "tests/support/fakeautomation.h"
#include "tests/support/importtexts.h"
#include "tests/support/tables.h"
#include "tests/support/testwindow.h"

#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <utility>

namespace {

// What a widget shows each time it is painted, once per change.
struct PaintRecorder : QObject
{
    PaintRecorder(QWidget *widget, std::function<QString()> shown) : m_shown(std::move(shown))
    {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && (++paints, painted.isEmpty() || painted.last() != m_shown()))
            painted << m_shown();
        return false;
    }
    int paints = 0;
    QStringList painted;
    std::function<QString()> m_shown;
};

// A message as "icon|title|text".
QString shown(const RecordingDialogs::Message &m)
{
    const char *icons[] = {"none", "critical", "exclamation", "information"};
    return QString::fromLatin1(icons[int(m.icon)]) + '|' + m.title.value_or("-") + '|' + m.text;
}

} // namespace

class TestWindowBehaviour : public QObject
{
    Q_OBJECT

    FakeAutomation m_automation;

private Q_SLOTS:
    void init() { m_automation = {}; }

    // The edition as loaded, then as the menu leaves it; the ticks only show it, and the
    // settings saved hold the edition.
    void edition_data() { addTableRows("window.txt", "edition"); }

    void edition()
    {
        QFETCH(QByteArrayList, row);
        const QByteArray &gestion = row[0];
        TestWindow t(m_automation, gestion.isNull() ? QByteArray()
                                                    : "[Societe]\r\nSociete=S01\r\nDepot=D\xE9p\xF4t\r\nGestion="
                                                          + gestion + "\r\nGestionPath=/srv/Corvel.mdb\r\n");
        const QString loaded = t.text("Txtsociete") + '|' + t.text("Txtdepot") + '|' + t.text("lblGestion");
        QCOMPARE(loaded, gestion.isNull() ? "||" : QStringLiteral("S01|Dépôt|/srv/Corvel.mdb"));
        for (const QByteArray &item : row[1].split(' '))
            if (!item.isEmpty())
                t.click(QString::fromLatin1(item));
        QCOMPARE(QByteArray(t.ticked("mnukelmar") ? "mnukelmar" : "") + (t.ticked("mnudovane") ? "mnudovane" : ""),
                 row[2]);
        t.click("CmdDefaut");
        QVERIFY(readFile(t.settingsFile()).contains("\r\nGestion=" + row[3] + "\r\n"));
    }

    // The pickers show the paths they get. "Définir par défaut" writes the four keys from the
    // boxes, the edition and the path shown, then confirms; "Fermer" saves nothing.
    void settingsSavedOnRequestOnly()
    {
        TestWindow t(m_automation);
        t.setText("Txtsociete", QStringLiteral("Société «A»"));
        t.setText("Txtdepot", QStringLiteral("  D 1  "));
        t.click("mnudovane");
        t.pick("TblGestion_1", QStringLiteral("/srv/gestion été/Corvel.mdb"));
        QCOMPARE(t.text("lblchemin"), QString());
        t.pick("TlbFichier_1", QStringLiteral("/home/comptage"));
        QCOMPARE(t.text("lblGestion") + '|' + t.text("lblchemin"),
                 QStringLiteral("/srv/gestion été/Corvel.mdb|/home/comptage"));
        t.click("CmdDefaut");
        const QByteArray saved("[Societe]\r\nSociete=Soci\xE9t\xE9 \xAB"
                               "A\xBB\r\nDepot=  D 1  \r\nGestion=2\r\n"
                               "GestionPath=/srv/gestion \xE9t\xE9/Corvel.mdb\r\n");
        QCOMPARE(readFile(t.settingsFile()), saved);
        const QStringList events{"openFile:Gestion | *.mdb", "openFile:*.*", "message:Paramètres enregistrés"};
        QCOMPARE(t.dialogs.events, events);
        QCOMPARE(shown(t.dialogs.messages.value(0)), "information|InventaireTirvano|Paramètres enregistrés");
        t.show();
        t.setText("Txtsociete", QStringLiteral("modifiée"));
        t.click("mnukelmar");
        t.click("TlbPrpp_2");
        QVERIFY(!t.window->isVisible());
        QCOMPARE(t.dialogs.events, events);
        QCOMPARE(readFile(t.settingsFile()), saved);
    }

    // The checks come in this order, each with its message; a blank is a code. The database
    // picker leaves the count file unchosen.
    void validerChecks_data()
    {
        QTest::addColumn<QStringList>("row"); // company, depot, the pickers clicked in order, message
        using namespace importtexts;
        QTest::newRow("nothing") << QStringList{"", "", "", kNoCodes};
        QTest::newRow("no company") << QStringList{"", "D1", "TblGestion_1 TlbFichier_1", kNoCodes};
        QTest::newRow("no depot") << QStringList{"S1", "", "TblGestion_1 TlbFichier_1", kNoCodes};
        QTest::newRow("database, no count file") << QStringList{"S1", "D1", "TblGestion_1", kNoCountFile};
        QTest::newRow("no database") << QStringList{"S1", "D1", "TlbFichier_1", kNoDatabase};
        QTest::newRow("blanks are codes") << QStringList{" ", " ", "TlbFichier_1", kNoDatabase};
    }

    void validerChecks()
    {
        QFETCH(QStringList, row);
        TestWindow t(m_automation);
        t.setText("Txtsociete", row[0]);
        t.setText("Txtdepot", row[1]);
        for (const QString &picker : row[2].split(' ', Qt::SkipEmptyParts))
            t.pick(picker, QStringLiteral("/srv/choisi"));
        t.click("TlbPrpp_1");
        QCOMPARE(t.dialogs.messages.size(), 1);
        QCOMPARE(shown(t.dialogs.messages[0]), "exclamation|InventaireTirvano|" + row[3]);
        // Nothing changed: no import, the bar hidden, the button still enabled.
        QVERIFY(m_automation.created.isEmpty());
        QVERIFY(t.find("ProgressBar1")->isHidden() && t.find("TlbPrpp_1")->isEnabled());
    }

    // During a long run the status line and the bar are painted as they change, while events
    // wait: the bar once per pixel it gains, not at every line, and what the screen shows of it
    // is the bar as it is. The codes are the boxes' as "Valider" is clicked, the edition the
    // loaded one. (What the run does on a failure is tested below the window.)
    void longRunPaintsTheBarOncePerPixel()
    {
        TestWindow t(m_automation, "[Societe]\r\nSociete=S1\r\nDepot=D1\r\nGestion=1\r\n");
        t.pick("TblGestion_1", writeArticles(t.directory.filePath("gestion.mdb"), {article("X", "1")}));
        writeFile(t.directory.filePath("comptage.txt"), QByteArray("X;1;\r\n").repeated(4000));
        t.pick("TlbFichier_1", t.directory.filePath("comptage.txt"));
        t.show();
        t.setText("Txtdepot", QStringLiteral("D2"));
        frmmain &w = *t.window;
        auto *bar = t.find<ProgressBar>(QStringLiteral("ProgressBar1"));
        PaintRecorder status(t.find("LblMessages"), [&] { return t.text("LblMessages"); });
        PaintRecorder barPaints(bar, [] { return QString(); });
        int compared = 0;
        int different = 0;
        m_automation.onCall = [&](const QString &method, QStringList &, qsizetype call) {
            if (call % 333 == 0 || method == QLatin1String("ValidationInventaire")) {
                const QPoint place = bar->mapTo(&w, QPoint(0, 0));
                const QImage screen =
                    w.screen()->grabWindow(w.winId(), place.x(), place.y(), bar->width(), bar->height()).toImage();
                ++compared;
                different += screen.convertToFormat(QImage::Format_RGB32)
                             != bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
            }
            return QVariant(true);
        };
        bool eventHandled = false;
        QTimer::singleShot(0, &w, [&] { eventHandled = true; });
        t.click("TlbPrpp_1");
        QVERIFY(!eventHandled);
        using namespace importtexts;
        QCOMPARE(status.painted, (QStringList{"", kOpening, kImporting, kClosing, kDone}));
        QCOMPARE(m_automation.created, QStringList{"GestionKelmar.ClsProjet"});
        QCOMPARE(m_automation.calls.size(), 4003);
        QCOMPARE(m_automation.calls[0].arguments, (QStringList{"S1", "", ""}));
        QCOMPARE(m_automation.calls[2].arguments, (QStringList{"D2", "X", "1"}));
        QCOMPARE(compared, 13);
        const int ownPaints = barPaints.paints - compared; // each fresh drawing paints the bar too
        QVERIFY2(ownPaints >= bar->width() - 10 && ownPaints <= bar->width() + 3,
                 qPrintable(QString::number(ownPaints)));
        QCOMPARE(different, 0);
        // "Valider" then waits for a count file to be picked, the same one again will do.
        QVERIFY(!t.find("TlbPrpp_1")->isEnabled());
        t.pick("TlbFichier_1", t.directory.filePath("comptage.txt"));
        QVERIFY(t.find("TlbPrpp_1")->isEnabled());
    }

    // "*.*" reaches Qt as "*": Qt's "*.*" would hide the names without a dot.
    void fileFilters()
    {
        QCOMPARE(QtDialogs::nameFilters(QStringLiteral("Gestion | *.mdb")), QStringLiteral("Gestion (*.mdb)"));
        QCOMPARE(QtDialogs::nameFilters(QStringLiteral("*.*")), QStringLiteral("Tous les fichiers (*)"));
    }

    // The program's message boxes: OK only, the title the application's unless asked, and the
    // text as it stands even when it looks like markup.
    void messageBox()
    {
        const QString text = QStringLiteral("Fichier introuvable : /tmp/<b>stock</b>.txt");
        QString seen;
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen = QStringLiteral("%1|%2|%3|%4")
                           .arg(box->windowTitle(), box->text())
                           .arg(box->textFormat())
                           .arg(box->buttons().size());
                box->accept();
            }
        });
        QtDialogs().message(text, MessageIcon::Exclamation, std::nullopt);
        QCOMPARE(seen, "Inventaire TIRVANO|" + text + '|' + QString::number(Qt::PlainText) + "|1");
    }
};

QTEST_MAIN(TestWindowBehaviour)
#include "tst_windowbehaviour.moc"
