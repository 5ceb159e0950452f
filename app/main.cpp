#include "app/frmmain.h"
#include "app/qtdialogs.h"
#include "platform/dbusautomation.h"
#include "platform/mdbdatabase.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setFont(frmmain::applicationFont());

    QtDialogs dialogs;
    DBusAutomation automation;
    frmmain window({dialogs, automation, openMdbDatabase, Executable::current()});
    dialogs.setParent(&window);
    window.show();
    return app.exec();
}
