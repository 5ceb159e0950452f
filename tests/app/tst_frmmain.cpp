// The window as it opens: its controls against the control table (tests/data), the keyboard
// and what a screen reader reads included; the progress bar's range.
// What the handlers do is in tst_windowbehaviour.
#include "app/controls.h"
#include "tests/support/failures.h"
#include "tests/support/fakeautomation.h"
#include "tests/support/importtexts.h"
#include "tests/support/testwindow.h"

#include <QAccessible>
#include <QLineEdit>
#include <QMenu>
#include <QMetaEnum>
#include <QPushButton>
#include <QToolButton>

#include <limits>

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

private Q_SLOTS:
    void controlTable()
    {
        FakeAutomation automation;
        TestWindow t(automation);
        t.show();
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
            if (auto *button = qobject_cast<QToolButton *>(widget)) { // its colours even when disabled
                const QIcon icon = button->icon();
                QCOMPARE(icon.pixmap(button->iconSize(), QIcon::Disabled).toImage(),
                         icon.pixmap(button->iconSize()).toImage());
            }
            if (auto *box = qobject_cast<QLineEdit *>(widget)) {
                box->setText(QString(40000, '7'));
                QCOMPARE(box->text().size(), 40000);
            }
        }
        QCOMPARE(rows, 22);
        auto *status = t.find<QLabel>(QStringLiteral("LblMessages"));
        for (const QString &text :
             {importtexts::kOpening, importtexts::kImporting, importtexts::kClosing, importtexts::kDone}) {
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

    // The bar takes 0..101, which Qt's bar shows in hundredths; a value outside is refused and
    // leaves it as it was.
    void progressBar()
    {
        ProgressBar bar(QStringLiteral("bar"), nullptr);
        for (float value : {0.0f, 100.0f / 3.0f, 101.0f}) {
            bar.setPreciseValue(value);
            QCOMPARE(bar.value(), qRound(value * 100));
        }
        for (float refused : {-0.001f, 101.5f, std::numeric_limits<float>::quiet_NaN()}) {
            QCOMPARE(failureOf([&] { bar.setPreciseValue(refused); }),
                     QStringLiteral("380 Valeur de propriété non valide"));
            QCOMPARE(bar.preciseValue(), 101.0f);
        }
    }
};

QTEST_MAIN(TestFrmmain)
#include "tst_frmmain.moc"
