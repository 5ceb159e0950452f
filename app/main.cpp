#include "app/frmmain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The title of a message box that sets none.
    QApplication::setApplicationDisplayName(QStringLiteral("Inventaire TIRVANO"));
    QApplication::setFont(frmmain::applicationFont());
    frmmain window;
    window.show();
    return app.exec();
}
