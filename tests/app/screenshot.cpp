// Renders the window with sample content into a PNG, for the documentation:
//   QT_QPA_PLATFORM=offscreen frmmain_screenshot docs/screenshot.png
#include "app/controls.h"
#include "app/frmmain.h"
#include "app/qtdialogs.h"
#include "platform/mdbdatabase.h"
#include "tests/support/fakeautomation.h"

#include <QApplication>
#include <QDir>
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
    for (auto [name, text] : {std::pair{"Txtsociete", "01"}, {"Txtdepot", "DEP1"},
                              {"lblchemin", "/home/magasin/comptages/inventaire_depot1.txt"},
                              {"lblGestion", "/srv/gestion/Corvel.mdb"}, {"LblMessages", "Importation des données ..."}})
        window.findChild<QWidget *>(QLatin1String(name))->setProperty("text", QString::fromUtf8(text));
    auto *bar = window.findChild<ProgressBar *>(QStringLiteral("ProgressBar1"));
    bar->setPreciseValue(60.0f);
    bar->show();
    window.show();

    if (!window.grab().save(output)) {
        QTextStream(stderr) << "Impossible d'écrire " << output << '\n';
        return 1;
    }
    return 0;
}
