// The reference management server: a stand-in for the management application's automation
// server, started by the session bus on demand (docs/automation.md).

#include "referenceserver.h"
#include "tools/programerror.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serveur de gestion de référence, joignable sur le bus D-Bus de session."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("progid"),
                                 QStringLiteral("Identifiant programmatique servi, p. ex. GestionKelmar.ClsProjet."));
    const QCommandLineOption dirOption(
        QStringLiteral("dir"),
        QStringLiteral("Répertoire du journal et du script (sinon TIRVANO_SERVER_DIR ; ni l'un ni l'autre : "
                       "pas de journal, réponses par défaut)."),
        QStringLiteral("répertoire"));
    const QCommandLineOption idleOption(QStringLiteral("idle-ms"),
                                        QStringLiteral("Délai d'arrêt après le dernier objet libéré, en millisecondes "
                                                       "(sinon TIRVANO_SERVER_IDLE_MS, sinon 5000)."),
                                        QStringLiteral("ms"));
    const QCommandLineOption keepOption(
        QStringLiteral("keep-objects"),
        QStringLiteral("Garder les objets d'un client qui quitte le bus jusqu'à leur libération "
                       "(pour essayer le serveur à la main, une commande gdbus par appel)."));
    parser.addOption(dirOption);
    parser.addOption(keepOption);
    parser.addOption(idleOption);
    if (!parser.parse(app.arguments()))
        fail(parser.errorText(), 2);
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.positionalArguments().size() != 1)
        fail(QStringLiteral("un identifiant programmatique est attendu"), 2);
    const QString progId = parser.positionalArguments().front();

    const QString directory =
        parser.isSet(dirOption) ? parser.value(dirOption) : qEnvironmentVariable("TIRVANO_SERVER_DIR");
    const QString idleText = parser.isSet(idleOption)
                                 ? parser.value(idleOption)
                                 : qEnvironmentVariable("TIRVANO_SERVER_IDLE_MS", QStringLiteral("5000"));
    bool ok = false;
    const int idleMs = idleText.toInt(&ok);
    if (!ok || idleMs < 0)
        fail(QStringLiteral("délai d'arrêt non valide : %1").arg(idleText), 2);

    // Started by a bus, the server joins that bus: the session address it inherited may name
    // another one.
    const QDBusConnection bus =
        qEnvironmentVariableIsSet("DBUS_STARTER_ADDRESS")
            ? QDBusConnection::connectToBus(QDBusConnection::ActivationBus, QStringLiteral("starter"))
            : QDBusConnection::sessionBus();
    if (!bus.isConnected())
        fail(QStringLiteral("bus D-Bus inaccessible : %1").arg(bus.lastError().message()));

    ReferenceServer server(bus, progId, directory, idleMs, parser.isSet(keepOption));
    QString error;
    if (!server.start(&error))
        fail(error);
    return app.exec();
}
