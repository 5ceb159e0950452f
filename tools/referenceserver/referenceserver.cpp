#include "referenceserver.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QJsonArray>

namespace {

const QString ClassFactory = QStringLiteral("Tirvano.Automation.ClassFactory");
const QString ObjectInterface = QStringLiteral("Tirvano.Automation.Object");

// The class's methods and how many text arguments each takes.
int argumentCount(const QString &method)
{
    if (method == QLatin1String("Init") || method == QLatin1String("InventaireArticle"))
        return 3;
    if (method == QLatin1String("InitInventaire") || method == QLatin1String("ValidationInventaire"))
        return 1;
    return -1;
}

QDBusMessage unknownMethod(const QDBusMessage &message)
{
    return message.createErrorReply(QDBusError::UnknownMethod,
                                    QStringLiteral("Méthode inconnue : %1.%2 (signature \"%3\")")
                                        .arg(message.interface(), message.member(), message.signature()));
}

QString methodXml(const QString &name, int count)
{
    QString xml = QStringLiteral("    <method name=\"%1\">\n").arg(name);
    for (int i = 1; i <= count; ++i)
        xml += QStringLiteral("      <arg name=\"in%1\" type=\"s\" direction=\"in\"/>\n").arg(i);
    xml += QStringLiteral("      <arg name=\"result\" type=\"v\" direction=\"out\"/>\n");
    for (int i = 1; i <= count; ++i)
        xml += QStringLiteral("      <arg name=\"out%1\" type=\"s\" direction=\"out\"/>\n").arg(i);
    return xml + QStringLiteral("    </method>\n");
}

} // namespace

ReferenceServer::ReferenceServer(const QDBusConnection &connection, const QString &progId, const QString &directory,
                                 int idleMs, bool keepObjects)
    : m_connection(connection),
      m_progId(progId),
      m_directory(directory),
      m_journal(directory, progId),
      m_keepObjects(keepObjects),
      m_clients(QString(), connection, QDBusServiceWatcher::WatchForUnregistration)
{
    // Precise: a coarse timer may fire up to 5 % early, and tests wait for this delay.
    m_idle.setTimerType(Qt::PreciseTimer);
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleMs);
    connect(&m_idle, &QTimer::timeout, this, [this] { quit(QStringLiteral("idle")); });

    // QtDBus reports no loss of the bus connection: look for it, so that no server outlives
    // a test bus.
    m_busCheck.setInterval(250);
    connect(&m_busCheck, &QTimer::timeout, this, [this] {
        if (!m_connection.isConnected())
            quit(QStringLiteral("bus"));
    });
    connect(&m_clients, &QDBusServiceWatcher::serviceUnregistered, this, &ReferenceServer::clientLeft);
}

bool ReferenceServer::start(QString *error)
{
    if (!m_directory.isEmpty() && !QDir().mkpath(m_directory)) {
        *error = QStringLiteral("impossible de créer le répertoire %1").arg(m_directory);
        return false;
    }
    // The objects first: messages that started the server arrive as soon as the name is ours.
    if (!m_connection.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath)) {
        *error = QStringLiteral("impossible d'enregistrer les objets : %1").arg(m_connection.lastError().message());
        return false;
    }
    if (!m_connection.registerService(m_progId)) {
        *error =
            QStringLiteral("impossible de prendre le nom %1 : %2").arg(m_progId, m_connection.lastError().message());
        return false;
    }
    m_journal.write({{QStringLiteral("event"), QStringLiteral("start")}});
    m_busCheck.start();
    m_idle.start();
    return true;
}

bool ReferenceServer::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    const QString path = message.path();
    const QString interface = message.interface();
    const QString member = message.member();
    // QtDBus leaves introspection of a virtual object to the object.
    if (interface == QLatin1String("org.freedesktop.DBus.Introspectable") && member == QLatin1String("Introspect")) {
        send(message, message.createReply(introspectionDocument(path)));
        return true;
    }
    if (path == QLatin1String("/")) {
        if (interface == ClassFactory && member == QLatin1String("CreateObject") && message.signature().isEmpty())
            createObject(message);
        else
            send(message, unknownMethod(message));
        return true;
    }

    const auto found = m_objects.find(path);
    if (found == m_objects.end()) {
        send(message, message.createErrorReply(QDBusError::UnknownObject,
                                               QStringLiteral("Aucun objet %1 : libéré ou jamais créé").arg(path)));
        return true;
    }
    if (interface == ObjectInterface) {
        if (member == QLatin1String("Release") && message.signature().isEmpty())
            release(message, path);
        else
            send(message, unknownMethod(message));
    } else if (interface == m_progId || interface.isEmpty())
        callMethod(message, path, found->second);
    else
        send(message, message.createErrorReply(QDBusError::UnknownInterface,
                                               QStringLiteral("Interface inconnue : %1").arg(interface)));
    return true;
}

void ReferenceServer::createObject(const QDBusMessage &message)
{
    Instance instance;
    try {
        instance.script =
            Script::load(m_directory.isEmpty() ? QString() : QDir(m_directory).filePath(QStringLiteral("script.json")));
    } catch (const ScriptError &error) {
        m_journal.write(
            {{QStringLiteral("event"), QStringLiteral("script-error")}, {QStringLiteral("message"), error.message}});
        send(message, message.createErrorReply(QStringLiteral("Tirvano.Automation.Error.Script"), error.message));
        return;
    }
    const QString path = QStringLiteral("/%1").arg(++m_lastId);
    instance.client = message.service();
    if (!m_clients.watchedServices().contains(instance.client))
        m_clients.addWatchedService(instance.client);
    m_objects.emplace(path, std::move(instance));
    m_idle.stop();
    m_journal.write({{QStringLiteral("event"), QStringLiteral("create")},
                     {QStringLiteral("object"), path},
                     {QStringLiteral("client"), message.service()}});
    send(message, message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
}

void ReferenceServer::release(const QDBusMessage &message, const QString &path)
{
    m_objects.erase(path);
    m_journal.write({{QStringLiteral("event"), QStringLiteral("release")}, {QStringLiteral("object"), path}});
    send(message, message.createReply());
    objectsGone();
}

void ReferenceServer::callMethod(const QDBusMessage &message, const QString &path, Instance &instance)
{
    const QString method = message.member();
    const int count = argumentCount(method);
    if (count < 0) {
        send(message, message.createErrorReply(QDBusError::UnknownMethod,
                                               QStringLiteral("Méthode inconnue de %1 : %2").arg(m_progId, method)));
        return;
    }
    if (message.signature() != QString(count, QLatin1Char('s'))) {
        send(message,
             message.createErrorReply(QDBusError::InvalidArgs,
                                      QStringLiteral("%1 attend %2 argument(s) texte (signature \"%3\"), reçu \"%4\"")
                                          .arg(method)
                                          .arg(count)
                                          .arg(QString(count, QLatin1Char('s')), message.signature())));
        return;
    }

    QStringList arguments;
    for (const QVariant &argument : message.arguments())
        arguments.append(argument.toString());
    const int callNumber = ++instance.calls[method];
    m_journal.write({{QStringLiteral("event"), QStringLiteral("call")},
                     {QStringLiteral("object"), path},
                     {QStringLiteral("method"), method},
                     {QStringLiteral("call"), callNumber},
                     {QStringLiteral("arguments"), QJsonArray::fromStringList(arguments)}});

    const Answer answer = instance.script.answer(method, callNumber, arguments);
    QDBusMessage reply;
    if (!answer.errorName.isEmpty()) {
        reply = message.createErrorReply(answer.errorName, answer.errorMessage);
    } else if (answer.malformed) {
        reply = message.createReply(QStringLiteral("réponse incorrecte"));
    } else {
        QList<QVariant> out;
        out.reserve(answer.arguments.size() + 1);
        out.append(QVariant::fromValue(QDBusVariant(answer.result)));
        for (const QString &argument : answer.arguments)
            out.append(argument);
        reply = message.createReply(out);
    }
    send(message, reply, answer.delayMs);
}

void ReferenceServer::clientLeft(const QString &client)
{
    m_clients.removeWatchedService(client);
    if (m_keepObjects)
        return;
    for (auto it = m_objects.begin(); it != m_objects.end();) {
        if (it->second.client == client) {
            m_journal.write({{QStringLiteral("event"), QStringLiteral("drop")},
                             {QStringLiteral("object"), it->first},
                             {QStringLiteral("client"), client}});
            it = m_objects.erase(it);
        } else {
            ++it;
        }
    }
    objectsGone();
}

void ReferenceServer::objectsGone()
{
    if (m_objects.empty())
        m_idle.start();
}

void ReferenceServer::send(const QDBusMessage &call, const QDBusMessage &reply, int delayMs)
{
    if (!call.isReplyRequired())
        return;
    if (delayMs <= 0) {
        m_connection.send(reply);
        return;
    }
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, reply] { m_connection.send(reply); });
}

void ReferenceServer::quit(const QString &reason)
{
    m_idle.stop();
    m_busCheck.stop();
    m_journal.write({{QStringLiteral("event"), QStringLiteral("exit")}, {QStringLiteral("reason"), reason}});
    QCoreApplication::exit(0);
}

QString ReferenceServer::introspectionDocument(const QString &path) const
{
    QString xml = QStringLiteral("<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n"
                                 "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
                                 "    <method name=\"Introspect\">\n"
                                 "      <arg name=\"xml\" type=\"s\" direction=\"out\"/>\n"
                                 "    </method>\n"
                                 "  </interface>\n");
    xml += introspect(path);
    if (path == QLatin1String("/")) {
        for (const auto &[objectPath, instance] : m_objects)
            xml += QStringLiteral("  <node name=\"%1\"/>\n").arg(objectPath.mid(1));
    }
    return xml + QStringLiteral("</node>\n");
}

QString ReferenceServer::introspect(const QString &path) const
{
    if (path == QLatin1String("/")) {
        return QStringLiteral("  <interface name=\"%1\">\n"
                              "    <method name=\"CreateObject\">\n"
                              "      <arg name=\"object\" type=\"o\" direction=\"out\"/>\n"
                              "    </method>\n"
                              "  </interface>\n")
            .arg(ClassFactory);
    }
    if (m_objects.find(path) == m_objects.end())
        return {};
    return QStringLiteral("  <interface name=\"%1\">\n    <method name=\"Release\"/>\n  </interface>\n")
               .arg(ObjectInterface)
           + QStringLiteral("  <interface name=\"%1\">\n").arg(m_progId) + methodXml(QStringLiteral("Init"), 3)
           + methodXml(QStringLiteral("InitInventaire"), 1) + methodXml(QStringLiteral("InventaireArticle"), 3)
           + methodXml(QStringLiteral("ValidationInventaire"), 1) + QStringLiteral("  </interface>\n");
}
