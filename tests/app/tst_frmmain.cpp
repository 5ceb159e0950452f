#include "app/controls.h"
#include "app/frmmain.h"
#include "tests/support/fakeautomation.h"
#include "tests/support/testwindow.h"
#include "platform/failure.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <limits>
#include <memory>

namespace {

enum class Background { NotALabel, Window, White };

// What a control shows as its text; a progress bar shows none while its text is off.
QString shownText(const QWidget *widget)
{
    if (const auto *bar = qobject_cast<const QProgressBar *>(widget); bar && !bar->isTextVisible())
        return {};
    return widget->property("text").toString();
}

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

template<typename Call> int failureNumber(Call call)
{
    try {
        call();
    } catch (const Failure &failure) {
        return failure.number();
    }
    return 0;
}

} // namespace

Q_DECLARE_METATYPE(Background)

class TestFrmmain : public QObject
{
    Q_OBJECT

    FakeAutomation m_automation;
    std::unique_ptr<TestWindow> m_test;
    frmmain *m_window = nullptr;

    // A window shown and active, so that focus and painting behave as on screen.
    frmmain &window()
    {
        m_test = std::make_unique<TestWindow>(m_automation);
        m_window = m_test->window.get();
        m_window->show();
        if (!QTest::qWaitForWindowActive(m_window))
            qFatal("window never became active");
        return *m_window;
    }

    template<typename T> T *control(const QString &name)
    {
        T *found = m_window->findChild<T *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }

private Q_SLOTS:
    void initTestCase() { QApplication::setFont(frmmain::applicationFont()); }
    void cleanup()
    {
        m_test.reset();
        m_window = nullptr;
    }

    void controls_data();
    void controls();
    void textsFitTheirControls_data();
    void textsFitTheirControls();
    void tabGoesRoundTheCodesAndTheButton();
    void toolbars_data();
    void toolbars();
    void imageLists_data();
    void imageLists();
    void windowIconIsABarcodeWithARedBeam();
    void menu();
    void menuClickLeavesTheTickToTheHandler();
    void progressBar_data();
    void progressBar();
    void textBoxesHaveNoLengthLimit();
    void fixedWhateverSizeIsAsked();
};

// One row per control: pixels are the twips of the window's description divided by 15.
void TestFrmmain::controls_data()
{
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("takesFocus");
    QTest::addColumn<bool>("takesMouse");
    QTest::addColumn<Background>("background");

    const QString none;
    const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
    const auto label = QByteArray("TextLabel");
    const auto toolbar = QByteArray("Toolbar");
    using B = Background;
    row("CmdDefaut") << QByteArray("QPushButton") << QStringLiteral("Définir par défaut") << QRect(6, 211, 97, 25)
                     << true << true << true << B::NotALabel;
    row("ProgressBar1") << QByteArray("ProgressBar") << none << QRect(20, 179, 283, 19) << false << false << false
                        << B::NotALabel;
    row("Txtsociete") << QByteArray("QLineEdit") << none << QRect(8, 117, 151, 21) << true << true << true << B::NotALabel;
    row("Txtdepot") << QByteArray("QLineEdit") << none << QRect(168, 117, 151, 21) << true << true << true << B::NotALabel;
    row("TlbFichier") << toolbar << none << QRect(268, 16, 31, 29) << true << false << true << B::NotALabel;
    row("TlbPrpp") << toolbar << none << QRect(256, 209, 65, 30) << true << false << true << B::NotALabel;
    row("TblGestion") << toolbar << none << QRect(268, 56, 31, 29) << true << false << true << B::NotALabel;
    row("lblGestion") << label << none << QRect(18, 66, 247, 17) << true << false << false << B::White;
    row("Label4") << label << QStringLiteral("Gestion :") << QRect(20, 48, 45, 17) << true << false << false << B::Window;
    row("LblMessages") << label << none << QRect(20, 163, 195, 19) << true << false << false << B::Window;
    row("Label3") << label << QStringLiteral("Société :") << QRect(10, 101, 95, 17) << true << false << false << B::Window;
    row("Label2") << label << QStringLiteral("Code Dépôt :") << QRect(170, 101, 95, 17) << true << false << false
                  << B::Window;
    row("Label1") << label << QStringLiteral("Fichier :") << QRect(20, 8, 45, 17) << true << false << false << B::Window;
    row("lblchemin") << label << none << QRect(18, 26, 247, 17) << true << false << false << B::White;
}

void TestFrmmain::controls()
{
    QFETCH(QByteArray, className);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(bool, visible);
    QFETCH(bool, takesFocus);
    QFETCH(bool, takesMouse);
    QFETCH(Background, background);

    frmmain &w = window();
    QWidget *client = w.centralWidget();
    auto *widget = control<QWidget>(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(QByteArray(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget(), client);
    QCOMPARE(shownText(widget), text);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->isVisibleTo(&w), visible);
    QVERIFY(widget->isEnabled());
    QCOMPARE(widget->focusPolicy() != Qt::NoFocus, takesFocus);
    if (visible) {
        QWidget *hit = client->childAt(geometry.center());
        QCOMPARE(hit != nullptr && (hit == widget || widget->isAncestorOf(hit)), takesMouse);
    }
    if (background != Background::NotALabel) {
        // A spot inside the frame and clear of the (empty or left-aligned) text.
        const QColor expected = background == Background::White ? QColor(Qt::white)
                                                                 : client->palette().color(QPalette::Window);
        QCOMPARE(client->grab().toImage().pixelColor(geometry.right() - 2, geometry.bottom() - 2), expected);
    }
}

// The fixed places leave the texts little room: each must show whole at the program's font.
void TestFrmmain::textsFitTheirControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    for (const char *name : {"Label1", "Label2", "Label3", "Label4", "CmdDefaut"})
        QTest::newRow(name) << QString::fromLatin1(name) << QString();
    // The status texts of an import run.
    for (const char *status : {"Ouverture du serveur ...", "Importation des données ...", "Fermeture du serveur ...",
                               "Importation d'inventaire terminée ..."})
        QTest::newRow(status) << QStringLiteral("LblMessages") << QString::fromUtf8(status);
}

void TestFrmmain::textsFitTheirControls()
{
    QFETCH(QString, name);
    QFETCH(QString, text);

    window();
    auto *widget = control<QWidget>(name);
    if (!text.isEmpty())
        widget->setProperty("text", text);
    QVERIFY(!shownText(widget).isEmpty());
    QVERIFY2(widget->sizeHint().width() <= widget->width(),
             qPrintable(QStringLiteral("%1 px wanted").arg(widget->sizeHint().width())));
}

void TestFrmmain::tabGoesRoundTheCodesAndTheButton()
{
    frmmain &w = window();
    QCOMPARE(QApplication::focusWidget(), w.Txtsociete);
    for (QWidget *expected : QWidgetList{w.Txtdepot, w.CmdDefaut, w.Txtsociete, w.Txtdepot}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected);
    }
    for (QWidget *expected : QWidgetList{w.Txtsociete, w.CmdDefaut, w.Txtdepot}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), expected);
    }
}

void TestFrmmain::toolbars_data()
{
    QTest::addColumn<QString>("imageList");
    QTest::addColumn<QStringList>("toolTips");
    QTest::addColumn<QSize>("buttonSize");

    // Button n shows image n of its list.
    QTest::newRow("TlbFichier") << QStringLiteral("ImageList1") << QStringList{QStringLiteral("Ouvrir un fichier Inventaire")}
                                << QSize(31, 29);
    QTest::newRow("TblGestion") << QStringLiteral("ImageList1")
                                << QStringList{QStringLiteral("Sélectionner la base de gestion")} << QSize(31, 29);
    QTest::newRow("TlbPrpp") << QStringLiteral("ImgBT") << QStringList{QStringLiteral("Valider"), QStringLiteral("Fermer")}
                             << QSize(31, 30);
}

void TestFrmmain::toolbars()
{
    QFETCH(QString, imageList);
    QFETCH(QStringList, toolTips);
    QFETCH(QSize, buttonSize);

    window();
    auto *bar = control<Toolbar>(QString::fromLatin1(QTest::currentDataTag()));
    const auto *list = control<ImageList>(imageList);
    QCOMPARE(bar->buttonCount(), toolTips.size());
    QCOMPARE(bar->actions().size(), toolTips.size());
    QCOMPARE(bar->iconSize(), list->imageSize());
    auto *overflow = bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
    QVERIFY(overflow && !overflow->isVisible());
    QVERIFY_THROWS_EXCEPTION(Failure, bar->button(0));
    QVERIFY_THROWS_EXCEPTION(Failure, bar->button(bar->buttonCount() + 1));

    QSignalSpy clicks(bar, &Toolbar::ButtonClick);
    for (int index = 1; index <= bar->buttonCount(); ++index) {
        QAction *action = bar->button(index);
        QToolButton *button = bar->buttonWidget(index);
        QCOMPARE(action->toolTip(), toolTips.at(index - 1));
        QVERIFY(action->text().isEmpty());
        QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QVERIFY(action->isEnabled() && button->isVisible());
        QCOMPARE(button->size(), buttonSize);
        QVERIFY(bar->rect().contains(button->geometry()));
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        const QImage image = argb(list->image(index));
        for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active})
            QCOMPARE(argb(action->icon().pixmap(list->imageSize(), mode)), image);

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(clicks.takeFirst().first().toInt(), index);

        // Disabled, the button looks the same and stays silent.
        const QImage enabledLook = button->grab().toImage();
        action->setEnabled(false);
        QCOMPARE(button->grab().toImage(), enabledLook);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks.size(), 0);
    }
}

void TestFrmmain::imageLists_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colours");

    QTest::newRow("ImageList1") << 1 << QSize(24, 23) << 256;
    QTest::newRow("ImgBT") << 2 << QSize(24, 24) << 16;
}

void TestFrmmain::imageLists()
{
    QFETCH(int, count);
    QFETCH(QSize, size);
    QFETCH(int, colours);

    window();
    const auto *list = control<ImageList>(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(list->count(), count);
    QCOMPARE(list->imageSize(), size);
    for (int index = 1; index <= count; ++index) {
        const QImage image = argb(list->image(index));
        QCOMPARE(image.size(), size);
        // Silver is transparent: the corners let the background through, no opaque silver is left.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        const QSet<QRgb> opaque = opaqueColours(image);
        QVERIFY(!opaque.contains(qRgb(192, 192, 192)));
        QVERIFY(opaque.size() >= 2 && opaque.size() < colours);
    }
    QCOMPARE(failureNumber([&] { list->image(0); }), 35600);
    QCOMPARE(failureNumber([&] { list->image(count + 1); }), 35600);

    // A list takes only readable images of its own size.
    ImageList other(QStringLiteral("autre"), size, QColor(192, 192, 192), nullptr);
    QCOMPARE(failureNumber([&] { other.add(QStringLiteral(":/images/absente.xpm")); }), int(Failure::FileNotFound));
    const QString otherSize = size.height() == 23 ? QStringLiteral(":/images/tick.xpm") : QStringLiteral(":/images/folder.xpm");
    QCOMPARE(failureNumber([&] { other.add(otherSize); }), int(Failure::InvalidPropertyValue));
    QCOMPARE(other.count(), 0);
}

void TestFrmmain::windowIconIsABarcodeWithARedBeam()
{
    frmmain &w = window();
    QVERIFY(w.windowIcon().availableSizes().contains(QSize(32, 32)));
    const QImage image = argb(w.windowIcon().pixmap(QSize(32, 32)));
    QCOMPARE(image.size(), QSize(32, 32));
    const QSet<QRgb> colours = opaqueColours(image);
    QVERIFY(colours.size() <= 16);
    for (QRgb expected : {qRgb(255, 0, 0), qRgb(0, 0, 0), qRgb(255, 255, 255)})
        QVERIFY(colours.contains(expected));
}

void TestFrmmain::menu()
{
    frmmain &w = window();
    const QList<QAction *> bar = w.menuBar()->actions();
    QCOMPARE(bar.size(), 1);
    QCOMPARE(bar.first()->menu(), w.mnuparam);
    QCOMPARE(w.mnuparam->objectName(), QStringLiteral("mnuparam"));
    QCOMPARE(w.mnuparam->title(), QStringLiteral("&Parametres"));
    QVERIFY(bar.first()->isEnabled() && bar.first()->isVisible());

    QCOMPARE(w.mnuparam->actions(), (QList<QAction *>{w.mnukelmar, w.mnudovane}));
    const QStringList names = {QStringLiteral("mnukelmar"), QStringLiteral("mnudovane")};
    const QStringList texts = {QStringLiteral("Gestion &Kelmar"), QStringLiteral("Gestion &Dovane")};
    for (qsizetype i = 0; i < names.size(); ++i) {
        QAction *item = w.mnuparam->actions().at(i);
        QCOMPARE(item->objectName(), names[i]);
        QCOMPARE(item->text(), texts[i]);
        QVERIFY(item->isCheckable() && !item->isChecked());
        QVERIFY(item->isEnabled() && item->isVisible());
        QVERIFY(item->shortcut().isEmpty());
    }
}

void TestFrmmain::menuClickLeavesTheTickToTheHandler()
{
    QAction item(QStringLiteral("Gestion &Kelmar"));
    item.setCheckable(true);
    QList<bool> seen;
    bool tick = false;
    connectMenuClick(&item, &item, [&] {
        seen.append(item.isChecked());
        if (tick)
            item.setChecked(true);
    });

    item.trigger();
    QVERIFY(!item.isChecked());
    tick = true;
    item.trigger();
    QVERIFY(item.isChecked());
    tick = false;
    item.trigger();
    QVERIFY(item.isChecked());
    QCOMPARE(seen, (QList<bool>{false, false, true}));
}

void TestFrmmain::progressBar_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("shown");

    QTest::newRow("0") << 0.0f << true << 0;
    QTest::newRow("33.333") << 33.333f << true << 3333;
    QTest::newRow("one step of three") << 100.0f / 3.0f << true << 3333;
    QTest::newRow("60") << 60.0f << true << 6000;
    QTest::newRow("101") << 101.0f << true << 10100;
    QTest::newRow("-1") << -1.0f << false << 0;
    QTest::newRow("just below 0") << -0.001f << false << 0;
    QTest::newRow("101.5") << 101.5f << false << 0;
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << false << 0;
    QTest::newRow("infinite") << std::numeric_limits<float>::infinity() << false << 0;
}

void TestFrmmain::progressBar()
{
    QFETCH(float, value);
    QFETCH(bool, accepted);
    QFETCH(int, shown);

    ProgressBar *bar = window().ProgressBar1;
    const QProgressBar *qtBar = bar;
    QCOMPARE(bar->orientation(), Qt::Horizontal);
    QCOMPARE(bar->minimum(), 0.0f);
    QCOMPARE(bar->maximum(), 101.0f);
    QCOMPARE(bar->value(), 0.0f);
    QCOMPARE(qtBar->maximum(), 10100);

    bar->setValue(12.5f);
    if (accepted) {
        bar->setValue(value);
        QCOMPARE(bar->value(), value);
        QCOMPARE(qtBar->value(), shown);
        return;
    }
    try {
        bar->setValue(value);
        QFAIL("value taken");
    } catch (const Failure &failure) {
        QCOMPARE(failure.number(), int(Failure::InvalidPropertyValue));
        QCOMPARE(failure.description(), QStringLiteral("Valeur de propriété non valide"));
    }
    QCOMPARE(bar->value(), 12.5f);
    QCOMPARE(qtBar->value(), 1250);
}

void TestFrmmain::textBoxesHaveNoLengthLimit()
{
    frmmain &w = window();
    const QString longText(100000, QLatin1Char('7'));
    for (QLineEdit *box : {w.Txtsociete, w.Txtdepot}) {
        box->setText(longText);
        box->end(false);
        QTest::keyClicks(box, QStringLiteral("89"));
        QCOMPARE(box->text(), longText + QStringLiteral("89"));
    }
}

void TestFrmmain::fixedWhateverSizeIsAsked()
{
    frmmain &w = window();
    QCOMPARE(w.windowTitle(), QStringLiteral("Inventaire TIRVANO"));
    QCOMPARE(w.centralWidget()->size(), QSize(323, 248));
    QCOMPARE(w.centralWidget()->geometry().top(), w.menuBar()->geometry().bottom() + 1);

    const QSize before = w.size();
    QHash<QWidget *, QRect> places;
    for (QWidget *child : w.centralWidget()->findChildren<QWidget *>())
        places.insert(child, child->geometry());
    for (const QSize asked : {before * 2, before / 2, QSize(before.width() + 1, before.height())}) {
        w.resize(asked);
        QCoreApplication::processEvents();
        QCOMPARE(w.size(), before);
        QCOMPARE(w.centralWidget()->size(), QSize(323, 248));
        for (auto it = places.cbegin(); it != places.cend(); ++it)
            QCOMPARE(it.key()->geometry(), it.value());
    }
}

QTEST_MAIN(TestFrmmain)
#include "tst_frmmain.moc"
