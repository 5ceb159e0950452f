// Renders the window with sample content into a PNG, for the documentation:
//   QT_QPA_PLATFORM=offscreen frmmain_screenshot docs/screenshot.png
#include "app/controls.h"
#include "app/frmmain.h"
#include "app/qtdialogs.h"
#include "platform/mdbdatabase.h"
#include "tests/support/fakeautomation.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setFont(frmmain::applicationFont());
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshot.png");

    QtDialogs dialogs;
    FakeAutomation automation;
    frmmain window({dialogs, automation, openMdbDatabase, {QDir::tempPath(), QStringLiteral("InventaireTirvano")}});
    window.Txtsociete->setText(QStringLiteral("01"));
    window.Txtdepot->setText(QStringLiteral("DEP1"));
    window.lblchemin->setText(QStringLiteral("/home/magasin/comptages/inventaire_depot1.txt"));
    window.lblGestion->setText(QStringLiteral("/srv/gestion/Corvel.mdb"));
    window.LblMessages->setText(QStringLiteral("Importation des données ..."));
    window.ProgressBar1->setPreciseValue(60.0f);
    window.ProgressBar1->show();
    window.show();

    if (!window.grab().save(output)) {
        QTextStream(stderr) << "Impossible d'écrire " << output << '\n';
        return 1;
    }
    return 0;
}
