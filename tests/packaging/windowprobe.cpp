// Loaded into an installed program (QT_QPA_GENERIC_PLUGINS=windowprobe): once a top-level
// window is on screen it prints its title, its size and the program's folder, then closes
// the window, as the operator would.

#include <QCoreApplication>
#include <QGenericPlugin>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include <cstdio>

class WindowProbe : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "windowprobe.json")

public:
    QObject *create(const QString &, const QString &) override
    {
        auto *timer = new QTimer; // the application deletes it
        QObject::connect(timer, &QTimer::timeout, timer, [timer] {
            for (QWindow *window : QGuiApplication::topLevelWindows()) {
                if (window->isExposed() && window->type() == Qt::Window) {
                    std::printf("fenêtre affichée : %s %dx%d %s\n", qPrintable(window->title()), window->width(),
                                window->height(), qPrintable(QCoreApplication::applicationDirPath()));
                    std::fflush(stdout);
                    timer->stop();
                    window->close();
                    return;
                }
            }
        });
        timer->start(20);
        return timer;
    }
};

#include "windowprobe.moc"
