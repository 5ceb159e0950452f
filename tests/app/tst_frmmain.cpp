// The window as it opens: its controls against the control table (tests/data), the keyboard
// included; the toolbars' images, the progress bar's range and what a screen reader reads of
// a label.
// What the handlers do is in tst_windowbehaviour.
#include "app/controls.h"
#include "tests/support/failures.h"
#include "tests/support/fakeautomation.h"
#include "tests/support/importtexts.h"
#include "tests/support/testwindow.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMetaEnum>
#include <QPushButton>
#include <QToolButton>

#include <limits>
#include <optional>

namespace {

// A control as the table lists it: name, class; for a widget its place in its parent, its
// state (its focus and where Tab takes it included) and what a screen reader calls it; then
// its text (a toolbar button's tooltip, a menu's title, a menu item's caption).
QString describe(const frmmain &w, QObject *control)
{
    QStringList line{control->objectName(), control->metaObject()->className()};
    QString text = control->property("text").toString();
    if (auto *item = qobject_cast<QAction *>(control)) {
        line << (item->isCheckable() ? "checkable" : "") << (item->isChecked() ? "ticked" : "");
    } else if (auto *menu = qobject_cast<QMenu *>(control)) {
        text = menu->title();
    } else if (auto *widget = qobject_cast<QWidget *>(control)) {
        const QRect g = widget->geometry();
        QStringList state{widget->isVisibleTo(&w) ? "shown" : "hidden"};
        if (widget->focusPolicy() != Qt::NoFocus)
            state << (widget->hasFocus() ? "focused" : "focus");
        if (widget->focusPolicy() & Qt::TabFocus) { // where Tab goes next
            QWidget *next = widget->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus) || !next->isVisibleTo(&w) || !next->isEnabled())
                next = next->nextInFocusChain();
            state << "tab>" + next->objectName();
        }
        QWidget *hit = w.childAt(widget->mapTo(&w, widget->rect().center()));
        if (!widget->isHidden() && hit && (hit == widget || widget->isAncestorOf(hit)))
            state << "mouse";
        if (widget->autoFillBackground() && widget->palette().color(QPalette::Window) == Qt::white)
            state << "white";
        const QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(widget);
        line << QStringLiteral("%1,%2,%3,%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()) << state.join(',')
             << QStringLiteral("%1[%2]").arg(QMetaEnum::fromType<QAccessible::Role>().valueToKey(reader->role()),
                                             reader->text(QAccessible::Name));
        if (widget->inherits("QToolButton"))
            text = widget->toolTip();
        if (auto *bar = qobject_cast<QProgressBar *>(widget); bar && !bar->isTextVisible())
            text.clear();
    }
    return (line << text).join(' ').simplified();
}

} // namespace

class TestFrmmain : public QObject
{
    Q_OBJECT

    FakeAutomation m_automation;
    std::optional<TestWindow> m_test;

    TestWindow &window()
    {
        m_test.emplace(m_automation);
        m_test->show();
        return *m_test;
    }

private Q_SLOTS:
    void cleanup() { m_test.reset(); }

    void controlTable()
    {
        TestWindow &t = window();
        int rows = 0;
        for (const QString &line : QString::fromUtf8(readFile(TIRVANO_TEST_DATA "/frmmain-controls.txt")).split('\n')) {
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            ++rows;
            auto *control = t.find<QObject>(line.section(' ', 0, 0));
            QCOMPARE(describe(*t.window, control), line.simplified());
            // At the program's font every caption shows whole; a code box takes a code of any length.
            auto *widget = qobject_cast<QWidget *>(control);
            if (qobject_cast<QLabel *>(widget) || qobject_cast<QPushButton *>(widget))
                QVERIFY2(widget->sizeHint().width() <= widget->width(), qPrintable(line));
            if (auto *box = qobject_cast<QLineEdit *>(widget)) {
                box->setText(QString(40000, '7'));
                QCOMPARE(box->text().size(), 40000);
            }
        }
        QCOMPARE(rows, 22);
        auto *status = t.find<QLabel>(QStringLiteral("LblMessages"));
        for (const QString &text : {importtexts::kOpening, importtexts::kImporting, importtexts::kClosing, importtexts::kDone}) {
            status->setText(text);
            QVERIFY2(status->sizeHint().width() <= status->width(), qPrintable(text));
        }
        // A named label carries its text to a screen reader as its description.
        t.setText("lblchemin", QStringLiteral("/stock/comptage.txt"));
        const QAccessibleInterface *path = QAccessible::queryAccessibleInterface(t.find("lblchemin"));
        QCOMPARE(path->text(QAccessible::Description), QStringLiteral("/stock/comptage.txt"));
        // Its title, its icon, and a size that no one changes.
        QCOMPARE(t.window->windowTitle(), QStringLiteral("Inventaire TIRVANO"));
        QVERIFY(t.window->windowIcon().availableSizes().contains(QSize(32, 32)));
        const QSize size = t.window->size();
        t.window->resize(size * 2);
        QCoreApplication::processEvents();
        QCOMPARE(t.window->size(), size);
    }

    // Button n shows image n of its list, silver let through, whether enabled or not; a list
    // is indexed from 1.
    void toolbarImages_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("image");
        QTest::newRow("TlbFichier_1") << "ImageList1" << 1;
        QTest::newRow("TblGestion_1") << "ImageList1" << 1;
        QTest::newRow("TlbPrpp_1") << "ImgBT" << 1;
        QTest::newRow("TlbPrpp_2") << "ImgBT" << 2;
    }

    void toolbarImages()
    {
        QFETCH(QString, list);
        QFETCH(int, image);
        TestWindow &t = window();
        const auto *images = t.find<ImageList>(list);
        const QImage shown = images->image(image).toImage().convertToFormat(QImage::Format_ARGB32);
        const QIcon icon = t.find<QToolButton>(QTest::currentDataTag())->icon();
        for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled})
            QCOMPARE(icon.pixmap(images->imageSize(), mode).toImage().convertToFormat(QImage::Format_ARGB32), shown);
        QCOMPARE(qAlpha(shown.pixel(0, 0)), 0); // the corners are silver
        for (int outside : {0, images->count() + 1})
            QCOMPARE(failureOf([&] { images->image(outside); }), QStringLiteral("35600 Index hors limites"));
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
        auto *bar = window().find<ProgressBar>(QStringLiteral("ProgressBar1"));
        bar->setPreciseValue(12.5f);
        QCOMPARE(failureOf([&] { bar->setPreciseValue(value); }),
                 kept == value ? QString() : QStringLiteral("380 Valeur de propriété non valide"));
        QCOMPARE(bar->preciseValue(), kept);
        QCOMPARE(bar->value(), shown);
    }
};

QTEST_MAIN(TestFrmmain)
#include "tst_frmmain.moc"
