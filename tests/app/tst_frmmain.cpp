// The window as it stands: its controls, their places and looks, the keyboard, the toolbars,
// the image lists, the menu and the progress bar. What the handlers do is in tst_windowbehaviour.
#include "app/controls.h"
#include "tests/support/fakeautomation.h"
#include "tests/support/testwindow.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QToolButton>

#include <limits>
#include <utility>

namespace {

QImage argb(const QPixmap &pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

// Distinct colours among the opaque pixels of an image.
QSet<QRgb> opaqueColours(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255)
                colours.insert(image.pixel(x, y));
    return colours;
}

// "number description" of the failure a call throws, or "none".
template<typename Call> QString failure(Call call)
{
    try {
        call();
    } catch (const Failure &f) {
        return QString::number(f.number()) + QLatin1Char(' ') + f.description();
    }
    return QStringLiteral("none");
}

} // namespace

class TestFrmmain : public QObject
{
    Q_OBJECT

    FakeAutomation m_automation;
    std::unique_ptr<TestWindow> m_test;

    // A window shown and active, so that focus and painting behave as on screen.
    frmmain &window()
    {
        m_test = std::make_unique<TestWindow>(m_automation);
        m_test->window->show();
        if (!QTest::qWaitForWindowActive(m_test->window.get()))
            qFatal("window never became active");
        return *m_test->window;
    }

    template<typename T> T *control(const QString &name)
    {
        if (T *found = m_test->window->findChild<T *>(name))
            return found;
        qFatal("no control %s", qPrintable(name));
    }

private Q_SLOTS:
    void initTestCase() { QApplication::setFont(frmmain::applicationFont()); }
    void cleanup() { m_test.reset(); }

    // One row per control: pixels are the twips of the window's description divided by 15.
    // Flags: shown at start, takes the focus, takes the mouse, background white or grey
    // (window colour) for a label.
    void controls_data()
    {
        QTest::addColumn<QByteArray>("className");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("flags");
        const auto row = [](const char *name, const char *className, const char *text, QRect geometry,
                            const char *flags) {
            QTest::newRow(name) << QByteArray(className) << QString::fromUtf8(text) << geometry << QString(flags);
        };
        row("CmdDefaut", "QPushButton", "Définir par défaut", {6, 211, 97, 25}, "shown focus mouse");
        row("ProgressBar1", "ProgressBar", "", {20, 179, 283, 19}, "");
        row("Txtsociete", "QLineEdit", "", {8, 117, 151, 21}, "shown focus mouse");
        row("Txtdepot", "QLineEdit", "", {168, 117, 151, 21}, "shown focus mouse");
        row("TlbFichier", "Toolbar", "", {268, 16, 31, 29}, "shown mouse");
        row("TlbPrpp", "Toolbar", "", {256, 209, 65, 30}, "shown mouse");
        row("TblGestion", "Toolbar", "", {268, 56, 31, 29}, "shown mouse");
        row("lblGestion", "TextLabel", "", {18, 66, 247, 17}, "shown white");
        row("Label4", "TextLabel", "Gestion :", {20, 48, 45, 17}, "shown grey");
        row("LblMessages", "TextLabel", "", {20, 163, 195, 19}, "shown grey");
        row("Label3", "TextLabel", "Société :", {10, 101, 95, 17}, "shown grey");
        row("Label2", "TextLabel", "Code Dépôt :", {170, 101, 95, 17}, "shown grey");
        row("Label1", "TextLabel", "Fichier :", {20, 8, 45, 17}, "shown grey");
        row("lblchemin", "TextLabel", "", {18, 26, 247, 17}, "shown white");
    }

    void controls()
    {
        QFETCH(QByteArray, className);
        QFETCH(QString, text);
        QFETCH(QRect, geometry);
        QFETCH(QString, flags);

        frmmain &w = window();
        QWidget *client = w.centralWidget();
        auto *widget = control<QWidget>(QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(QByteArray(widget->metaObject()->className()), className);
        QCOMPARE(widget->parentWidget(), client);
        QCOMPARE(widget->inherits("QProgressBar") ? QString() : widget->property("text").toString(), text);
        QCOMPARE(widget->geometry(), geometry);
        const auto has = [&](const char *flag) { return flags.contains(QLatin1String(flag)); };
        QCOMPARE(widget->isVisibleTo(&w), has("shown"));
        QVERIFY(widget->isEnabled());
        QCOMPARE(widget->focusPolicy() != Qt::NoFocus, has("focus"));
        if (QWidget *hit = client->childAt(geometry.center()); has("shown"))
            QCOMPARE(hit == widget || widget->isAncestorOf(hit), has("mouse"));
        // A spot inside the frame and clear of the (empty or left-aligned) text.
        if (has("white") || has("grey"))
            QCOMPARE(client->grab().toImage().pixelColor(geometry.right() - 2, geometry.bottom() - 2),
                     has("white") ? QColor(Qt::white) : client->palette().color(QPalette::Window));
        // The fixed places leave the captions little room: each must show whole at the program's font.
        if (!text.isEmpty())
            QVERIFY2(widget->sizeHint().width() <= widget->width(), qPrintable(QString::number(widget->sizeHint().width())));
        // A code box takes a code of any length.
        if (auto *box = qobject_cast<QLineEdit *>(widget)) {
            box->setText(QString(40000, QLatin1Char('7')));
            QCOMPARE(box->text().size(), 40000);
        }
    }

    void statusTextsFit()
    {
        TextLabel *status = window().LblMessages;
        for (const char *text : {"Ouverture du serveur ...", "Importation des données ...", "Fermeture du serveur ...",
                                 "Importation d'inventaire terminée ..."}) {
            status->setText(QString::fromUtf8(text));
            QVERIFY2(status->sizeHint().width() <= status->width(), text);
        }
    }

    // The keyboard goes round the two code boxes and the button, both ways; nothing else takes it.
    void tabGoesRoundTheCodesAndTheButton()
    {
        frmmain &w = window();
        QCOMPARE(QApplication::focusWidget(), w.Txtsociete);
        for (QWidget *expected : QWidgetList{w.Txtdepot, w.CmdDefaut, w.Txtsociete}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), expected);
        }
        QTest::keyClick(w.Txtsociete, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), w.CmdDefaut);
    }

    // Button n shows image n of its list; silver is the lists' transparent colour.
    void toolbarsAndTheirImages_data()
    {
        QTest::addColumn<QString>("imageList");
        QTest::addColumn<QStringList>("toolTips");
        QTest::addColumn<QSize>("imageSize");
        QTest::addColumn<QSize>("buttonSize");
        QTest::addColumn<int>("colours"); // the images' depth
        QTest::newRow("TlbFichier") << "ImageList1" << QStringList{"Ouvrir un fichier Inventaire"} << QSize(24, 23)
                                    << QSize(31, 29) << 256;
        QTest::newRow("TblGestion") << "ImageList1" << QStringList{"Sélectionner la base de gestion"} << QSize(24, 23)
                                    << QSize(31, 29) << 256;
        QTest::newRow("TlbPrpp") << "ImgBT" << QStringList{"Valider", "Fermer"} << QSize(24, 24) << QSize(31, 30) << 16;
    }

    void toolbarsAndTheirImages()
    {
        QFETCH(QString, imageList);
        QFETCH(QStringList, toolTips);
        QFETCH(QSize, imageSize);
        QFETCH(QSize, buttonSize);
        QFETCH(int, colours);

        window();
        auto *bar = control<Toolbar>(QString::fromLatin1(QTest::currentDataTag()));
        const auto *list = control<ImageList>(imageList);
        const int count = int(toolTips.size());
        QCOMPARE(bar->buttonCount(), count);
        QCOMPARE(list->count(), count);
        QCOMPARE(list->imageSize(), imageSize);
        QCOMPARE(bar->iconSize(), imageSize);
        auto *overflow = bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
        QVERIFY(overflow && !overflow->isVisible());
        QCOMPARE(failure([&] { bar->button(count + 1); }), QStringLiteral("35600 Index hors limites"));
        for (int outside : {0, count + 1})
            QCOMPARE(failure([&] { list->image(outside); }), QStringLiteral("35600 Index hors limites"));

        QList<int> clicks;
        connect(bar, &Toolbar::ButtonClick, this, [&](int index) { clicks << index; });
        for (int index = 1; index <= count; ++index) {
            QAction *action = bar->button(index);
            QToolButton *button = bar->buttonWidget(index);
            QCOMPARE(action->toolTip(), toolTips.at(index - 1));
            QVERIFY(action->text().isEmpty() && button->toolButtonStyle() == Qt::ToolButtonIconOnly);
            QVERIFY(action->isEnabled() && button->isVisible());
            QCOMPARE(button->size(), buttonSize);
            QVERIFY(bar->rect().contains(button->geometry()));
            const QImage image = argb(list->image(index));
            QCOMPARE(argb(action->icon().pixmap(imageSize)), image);
            // The corners let the background through, no opaque silver is left.
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
            const QSet<QRgb> opaque = opaqueColours(image);
            QVERIFY(!opaque.contains(qRgb(192, 192, 192)) && opaque.size() >= 2 && opaque.size() < colours);

            // Disabled, the button keeps its coloured image and stays silent.
            QTest::mouseClick(button, Qt::LeftButton);
            const QImage enabledLook = button->grab().toImage();
            action->setEnabled(false);
            QCOMPARE(button->grab().toImage(), enabledLook);
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(std::exchange(clicks, {}), QList<int>{index});
        }

        // A list takes only readable images of its own size.
        ImageList other(QStringLiteral("autre"), imageSize, QColor(192, 192, 192), nullptr);
        QCOMPARE(failure([&] { other.add(":/images/absente.xpm"); }), "53 Fichier introuvable : :/images/absente.xpm");
        QCOMPARE(failure([&] { other.add(imageSize.height() == 23 ? ":/images/tick.xpm" : ":/images/folder.xpm"); }),
                 QStringLiteral("380 Valeur de propriété non valide"));
        QCOMPARE(other.count(), 0);
    }

    void menu()
    {
        frmmain &w = window();
        QCOMPARE(w.menuBar()->actions(), QList<QAction *>{w.mnuparam->menuAction()});
        QCOMPARE(w.mnuparam->objectName() + QLatin1Char(' ') + w.mnuparam->title(), QStringLiteral("mnuparam &Parametres"));
        QCOMPARE(w.mnuparam->actions(), (QList<QAction *>{w.mnukelmar, w.mnudovane}));
        QStringList items;
        for (QAction *item : w.mnuparam->actions())
            items << item->objectName() + QLatin1Char(' ') + item->text() + (item->isCheckable() ? " checkable" : "")
                         + (item->isChecked() ? " ticked" : "");
        QCOMPARE(items, (QStringList{"mnukelmar Gestion &Kelmar checkable", "mnudovane Gestion &Dovane checkable"}));
    }

    // Qt's bar counts in hundredths of the control's value; a refused value leaves it as it was.
    void progressBar_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("kept");
        QTest::addColumn<int>("shown");
        QTest::newRow("0") << 0.0f << 0.0f << 0;
        QTest::newRow("one step of three") << 100.0f / 3.0f << 100.0f / 3.0f << 3333;
        QTest::newRow("101") << 101.0f << 101.0f << 10100;
        QTest::newRow("just below 0") << -0.001f << 12.5f << 1250;
        QTest::newRow("101.5") << 101.5f << 12.5f << 1250;
        QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << 12.5f << 1250;
    }

    void progressBar()
    {
        QFETCH(float, value);
        QFETCH(float, kept);
        QFETCH(int, shown);

        ProgressBar *bar = window().ProgressBar1;
        QVERIFY(!bar->isTextVisible());
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 10100);
        QCOMPARE(bar->preciseValue(), 0.0f);
        bar->setPreciseValue(12.5f);
        QCOMPARE(failure([&] { bar->setPreciseValue(value); }),
                 kept == value ? QStringLiteral("none") : QStringLiteral("380 Valeur de propriété non valide"));
        QCOMPARE(bar->preciseValue(), kept);
        QCOMPARE(bar->value(), shown);
    }

    // What a screen reader announces for each control that takes input or shows a path or the
    // progress, the window holding something: its role, its name and what it holds (a text,
    // a value out of the maximum, or the description that carries a label's text; a button
    // holds nothing).
    void accessibility_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("holds");
        const auto row = [](const char *control, QAccessible::Role role, const char *name, const char *holds) {
            QTest::newRow(control) << int(role) << QString::fromUtf8(name) << QString::fromUtf8(holds);
        };
        row("Txtsociete", QAccessible::EditableText, "Société", "01");
        row("Txtdepot", QAccessible::EditableText, "Code Dépôt", "DEP1");
        row("lblchemin", QAccessible::StaticText, "Fichier", "/stock/comptage.txt");
        row("lblGestion", QAccessible::StaticText, "Gestion", "/stock/Gestion.mdb");
        row("LblMessages", QAccessible::StaticText, "État", "Importation des données ...");
        row("ProgressBar1", QAccessible::ProgressBar, "Progression", "5000 / 10100");
        row("TlbFichier_1", QAccessible::Button, "Ouvrir un fichier Inventaire", nullptr);
        row("TblGestion_1", QAccessible::Button, "Sélectionner la base de gestion", nullptr);
        row("TlbPrpp_1", QAccessible::Button, "Valider", nullptr);
        row("TlbPrpp_2", QAccessible::Button, "Fermer", nullptr);
        row("Label4", QAccessible::StaticText, "Gestion :", "");
    }

    void accessibility()
    {
        QFETCH(int, role);
        QFETCH(QString, name);
        QFETCH(QString, holds);

        frmmain &w = window();
        w.Txtsociete->setText(QStringLiteral("01"));
        w.Txtdepot->setText(QStringLiteral("DEP1"));
        w.lblchemin->setText(QStringLiteral("/stock/comptage.txt"));
        w.lblGestion->setText(QStringLiteral("/stock/Gestion.mdb"));
        w.LblMessages->setText(QStringLiteral("Importation des données ..."));
        w.ProgressBar1->setPreciseValue(50.0f);
        QAccessibleInterface *control = QAccessible::queryAccessibleInterface(this->control<QWidget>(QTest::currentDataTag()));
        QCOMPARE(int(control->role()), role);
        QCOMPARE(control->text(QAccessible::Name), name);
        if (holds.isNull())
            return;
        if (const QAccessibleValueInterface *value = control->valueInterface())
            QCOMPARE(value->currentValue().toString() + " / " + value->maximumValue().toString(), holds);
        else if (const QAccessibleTextInterface *text = control->textInterface())
            QCOMPARE(text->text(0, text->characterCount()), holds);
        else
            QCOMPARE(control->text(QAccessible::Description), holds);
    }

    // Its title, its icon (a barcode with a red beam, 32 x 32 in 16 colours) and a size no one changes.
    void windowItself()
    {
        frmmain &w = window();
        QCOMPARE(w.windowTitle(), QStringLiteral("Inventaire TIRVANO"));
        QVERIFY(w.windowIcon().availableSizes().contains(QSize(32, 32)));
        const QSet<QRgb> colours = opaqueColours(argb(w.windowIcon().pixmap(QSize(32, 32))));
        QVERIFY(colours.size() <= 16);
        for (QRgb expected : {qRgb(255, 0, 0), qRgb(0, 0, 0), qRgb(255, 255, 255)})
            QVERIFY(colours.contains(expected));

        QCOMPARE(w.centralWidget()->size(), QSize(323, 248));
        QCOMPARE(w.centralWidget()->geometry().top(), w.menuBar()->geometry().bottom() + 1);
        const QSize before = w.size();
        for (const QSize asked : {before * 2, before / 2}) {
            w.resize(asked);
            QCoreApplication::processEvents();
            QCOMPARE(w.size(), before);
        }
    }
};

QTEST_MAIN(TestFrmmain)
#include "tst_frmmain.moc"
