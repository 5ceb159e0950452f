#pragma once

#include "app/frmmain.h"
#include "tests/support/builtmdbreader.h"
#include "tests/support/recordingdialogs.h"

#include <QTemporaryDir>

#include <memory>

// A window of its own for each test: a temporary folder stands in for the executable's
// (settings file, report), and every dialog is answered by the test.
struct TestWindow {
    explicit TestWindow(AutomationFactory &automation, const QByteArray &settings = {})
    {
        if (!settings.isNull()) {
            QFile file(directory.filePath(QStringLiteral("Parametres.ini")));
            if (!file.open(QIODevice::WriteOnly) || file.write(settings) != settings.size())
                qFatal("cannot write the settings file");
        }
        window = std::make_unique<frmmain>(frmmain::Environment{
            dialogs, automation, openBuiltMdbDatabase, {directory.path(), QStringLiteral("InventaireTirvano")}});
    }

    QTemporaryDir directory;
    RecordingDialogs dialogs;
    std::unique_ptr<frmmain> window;
};
