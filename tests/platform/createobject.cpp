// Creates an object through the session-bus factory and prints the outcome. The automation
// suite runs it in an environment without a session bus: a process that has reached its
// session bus once keeps that connection.

#include "platform/dbusautomation.h"
#include "platform/failure.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    try {
        DBusAutomation().createObject(QString::fromLocal8Bit(argv[1]));
        std::puts("ok");
        return 0;
    } catch (const Failure &failure) {
        std::printf("%d\t%s\n", failure.number(), failure.description().toUtf8().constData());
        return 1;
    }
}
