// Renders the window with sample content into a PNG, for the documentation:
//   QT_QPA_PLATFORM=offscreen frmmain_screenshot docs/screenshot.png
#include "app/controls.h"
#include "tests/support/fakeautomation.h"
#include "tests/support/testwindow.h"

#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshot.png");
    FakeAutomation automation;
    TestWindow t(automation);
    for (auto [name, text] : {std::pair{"Txtsociete", "01"},
                              {"Txtdepot", "DEP1"},
                              {"lblchemin", "/home/magasin/comptages/inventaire_depot1.txt"},
                              {"lblGestion", "/srv/gestion/Corvel.mdb"},
                              {"LblMessages", "Importation des données ..."}})
        t.setText(QLatin1String(name), QString::fromUtf8(text));
    auto *bar = t.find<ProgressBar>(QStringLiteral("ProgressBar1"));
    bar->setPreciseValue(60.0f);
    bar->show();
    t.window->show();
    if (!t.window->grab().save(output)) {
        QTextStream(stderr) << "Impossible d'écrire " << output << '\n';
        return 1;
    }
    return 0;
}
