#pragma once

#include "app/frmmain.h"
#include "tests/support/builtmdbreader.h"
#include "tests/support/files.h"
#include "tests/support/recordingdialogs.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A window of its own for each test: a temporary folder stands in for the executable's
// (settings file, report), and every dialog is answered by the test. Controls are reached by
// their names, as the operator reaches them by their places.
struct TestWindow
{
    // Without settings, the window starts as on a first run.
    explicit TestWindow(AutomationFactory &automation, const QByteArray &settings = {})
    {
        if (!settings.isNull())
            writeFile(settingsFile(), settings);
        QApplication::setFont(frmmain::applicationFont()); // as the program does before its window
        window = std::make_unique<frmmain>(frmmain::Environment{
            dialogs, automation, openBuiltMdbDatabase, {directory.path(), QStringLiteral("InventaireTirvano")}});
    }

    template <typename T = QWidget> T *find(const QString &name) const
    {
        if (auto *found = window->findChild<T *>(name))
            return found;
        qFatal("no control %s", qPrintable(name));
    }
    QString text(const QString &name) const { return find<QObject>(name)->property("text").toString(); }
    void setText(const QString &name, const QString &text) { find<QObject>(name)->setProperty("text", text); }
    bool ticked(const QString &item) const { return find<QAction>(item)->isChecked(); }

    // A click on a button ("CmdDefaut", "TlbPrpp_1") or on a menu item ("mnudovane").
    void click(const QString &name)
    {
        if (auto *item = window->findChild<QAction *>(name))
            item->trigger();
        else
            QTest::mouseClick(find(name), Qt::LeftButton);
    }
    // A picker's button clicked, the dialog answering `file`.
    void pick(const QString &button, const QString &file)
    {
        dialogs.fileAnswers = {file};
        click(button);
    }
    // On screen and active, so that focus and the mouse behave as for the operator.
    void show()
    {
        window->show();
        if (!QTest::qWaitForWindowActive(window.get()))
            qFatal("the window never became active");
    }
    QString settingsFile() const { return directory.filePath(QStringLiteral("Parametres.ini")); }

    QTemporaryDir directory;
    RecordingDialogs dialogs;
    std::unique_ptr<frmmain> window;
};
