#include "app/frmmain.h"
#include "app/qtdialogs.h"
#include "platform/dbusautomation.h"
#include "platform/mdbdatabase.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setFont(frmmain::applicationFont());
    // The interface is French whatever the user's language, the toolkit's own dialogs too.
    QTranslator toolkitFrench;
    if (toolkitFrench.load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&toolkitFrench);

    QtDialogs dialogs;
    DBusAutomation automation;
    frmmain window({dialogs, automation, openMdbDatabase, Executable::current()});
    dialogs.setParent(&window);
    window.show();
    return app.exec();
}
