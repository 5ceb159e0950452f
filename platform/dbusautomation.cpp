#include "platform/dbusautomation.h"

#include "platform/failure.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// libdbus's DBUS_TIMEOUT_INFINITE. Qt hands the timeout through to libdbus, whose default
// (-1) is 25 seconds: a validation of a large inventory may take minutes. The bus itself
// sets no limit either (dbus-daemon's reply_timeout is "never" unless configured), and it
// answers NoReply at once when the server leaves the bus without replying.
constexpr int WithoutTimeLimit = std::numeric_limits<int>::max();

QString errorText(const QDBusMessage &reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

Failure callFailure(const QDBusMessage &reply)
{
    const QString text = errorText(reply);
    const QDBusError::ErrorType type = QDBusError(reply).type();
    if (type == QDBusError::UnknownMethod || type == QDBusError::UnknownInterface || type == QDBusError::InvalidMember)
        return {Failure::UnknownMethod,
                QStringLiteral("Cet objet ne gère pas cette propriété ou cette méthode : ") + text};
    // The server left the bus during the call or before it, or our own connection is gone.
    if (type == QDBusError::NoReply || type == QDBusError::ServiceUnknown || type == QDBusError::Disconnected
        || type == QDBusError::UnknownObject
        || reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return {Failure::ServerUnavailable,
                QStringLiteral("Le serveur distant n'existe pas ou n'est pas disponible : ") + text};
    // The server's own words, as the operator is to read them.
    return {Failure::AutomationError, text};
}

// "v" followed by one "s" per argument.
bool hasByReferenceSignature(const QString &signature, qsizetype argumentCount)
{
    if (signature.size() != argumentCount + 1 || signature.front() != QLatin1Char('v'))
        return false;
    for (qsizetype i = 1; i < signature.size(); ++i) {
        if (signature[i] != QLatin1Char('s'))
            return false;
    }
    return true;
}

bool isEmptyArray(const QDBusArgument &argument)
{
    switch (argument.currentType()) {
    case QDBusArgument::ArrayType: {
        argument.beginArray();
        const bool empty = argument.atEnd();
        argument.endArray();
        return empty;
    }
    case QDBusArgument::MapType: {
        argument.beginMap();
        const bool empty = argument.atEnd();
        argument.endMap();
        return empty;
    }
    default:
        return false;
    }
}

// The basic value a result variant holds; an empty array of any element type is no value,
// an invalid QVariant. Anything else has no place in a result.
std::optional<QVariant> basicResult(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::QString:
        return value;
    case QMetaType::QByteArray: // QtDBus gives "ay" as a byte array
        if (value.toByteArray().isEmpty())
            return QVariant();
        return std::nullopt;
    case QMetaType::QStringList: // and "as" as a string list
        if (value.toStringList().isEmpty())
            return QVariant();
        return std::nullopt;
    default:
        if (value.metaType() == QMetaType::fromType<QDBusArgument>() && isEmptyArray(value.value<QDBusArgument>()))
            return QVariant();
        return std::nullopt;
    }
}

QString typeName(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return value.value<QDBusArgument>().currentSignature();
    return QString::fromLatin1(value.metaType().name());
}

// ASCII letters, digits and "_", not starting with a digit: a method name, or an element of
// an interface name.
bool isValidNameElement(QStringView element)
{
    if (element.isEmpty() || element.size() > 255 || element.front().isDigit())
        return false;
    for (const QChar c : element) {
        if (c.unicode() >= 128 || !(c.isLetterOrNumber() || c == QLatin1Char('_')))
            return false;
    }
    return true;
}

// A ProgID serves both as bus name and as interface name: two elements or more. libdbus
// aborts the process on a name it refuses, and QtDBus lets some of them through.
bool isValidProgId(const QString &progId)
{
    const QList<QStringView> elements = QStringView(progId).split(QLatin1Char('.'));
    return progId.size() <= 255 && elements.size() >= 2
           && std::all_of(elements.begin(), elements.end(), isValidNameElement);
}

Failure malformedReply(const QString &method, const QString &detail)
{
    return {Failure::AutomationError,
            QStringLiteral("Réponse incorrecte du serveur à ") + method + QStringLiteral(" : ") + detail};
}

class DBusObject final : public AutomationObject
{
public:
    DBusObject(const QDBusConnection &connection, QString server, QString path, QString classInterface)
        : m_connection(connection),
          m_server(std::move(server)),
          m_path(std::move(path)),
          m_interface(std::move(classInterface))
    {
    }
    DBusObject(const DBusObject &) = delete;
    DBusObject &operator=(const DBusObject &) = delete;

    ~DBusObject() override
    {
        // Without an application QtDBus no longer runs; the server drops the objects of a
        // client that leaves the bus anyway. Errors are of no interest: a server that is gone
        // has nothing left to release.
        if (!QCoreApplication::instance())
            return;
        const QDBusMessage message = QDBusMessage::createMethodCall(m_server, m_path, DBusAutomation::objectInterface(),
                                                                    QStringLiteral("Release"));
        m_connection.call(message, QDBus::Block, WithoutTimeLimit);
    }

    QVariant call(const QString &method, QStringList &arguments) override
    {
        if (!isValidNameElement(method))
            throw Failure(
                Failure::UnknownMethod,
                QStringLiteral(
                    "Cet objet ne gère pas cette propriété ou cette méthode : nom de méthode non valide sur D-Bus : ")
                    + method);
        QList<QVariant> in;
        in.reserve(arguments.size());
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            // A D-Bus string cannot hold U+0000: the text would reach the server cut short.
            if (arguments[i].contains(QChar(0)))
                throw Failure(
                    Failure::AutomationError,
                    QStringLiteral("L'argument %1 de %2 contient un caractère nul, que D-Bus ne peut pas transmettre")
                        .arg(i + 1)
                        .arg(method));
            in.append(arguments[i]);
        }
        // Calls go to the process that made the object: a server that has died is not
        // started again behind the caller's back, the call fails instead.
        QDBusMessage message = QDBusMessage::createMethodCall(m_server, m_path, m_interface, method);
        message.setArguments(in);
        const QDBusMessage reply = m_connection.call(message, QDBus::Block, WithoutTimeLimit);
        if (reply.type() == QDBusMessage::ErrorMessage)
            throw callFailure(reply);
        if (reply.type() != QDBusMessage::ReplyMessage || !hasByReferenceSignature(reply.signature(), arguments.size()))
            throw malformedReply(method, QStringLiteral("signature \"%1\" au lieu de \"v%2\"")
                                             .arg(reply.signature(), QString(arguments.size(), QLatin1Char('s'))));

        const QList<QVariant> out = reply.arguments();
        const QVariant value = qvariant_cast<QDBusVariant>(out.front()).variant();
        std::optional<QVariant> result = basicResult(value);
        if (!result)
            throw malformedReply(method, QStringLiteral("résultat de type \"%1\"").arg(typeName(value)));
        for (qsizetype i = 0; i < arguments.size(); ++i)
            arguments[i] = out[i + 1].toString();
        return *std::move(result);
    }

private:
    QDBusConnection m_connection;
    QString m_server; // unique bus name of the process that made the object
    QString m_path;
    QString m_interface;
};

} // namespace

DBusAutomation::DBusAutomation() = default;

DBusAutomation::DBusAutomation(const QDBusConnection &connection) : m_connection(connection)
{
}

std::shared_ptr<AutomationObject> DBusAutomation::createObject(const QString &progId)
{
    const QDBusConnection connection = m_connection ? *m_connection : QDBusConnection::sessionBus();
    const QString cannot = QStringLiteral("Impossible de créer l'objet ") + progId;
    if (!connection.isConnected()) {
        QString reason = connection.lastError().message();
        if (reason.isEmpty())
            reason = QStringLiteral("aucune connexion au bus");
        throw Failure(Failure::CannotCreateObject,
                      cannot + QStringLiteral(", le bus D-Bus est inaccessible : ") + reason);
    }

    if (!isValidProgId(progId))
        throw Failure(Failure::CannotCreateObject,
                      cannot + QStringLiteral(" : identifiant programmatique non valide sur D-Bus"));

    // The first message to the name starts its server if none is running.
    const QDBusMessage message = QDBusMessage::createMethodCall(progId, QStringLiteral("/"), classFactoryInterface(),
                                                                QStringLiteral("CreateObject"));
    const QDBusMessage reply = connection.call(message, QDBus::Block, WithoutTimeLimit);
    if (reply.type() == QDBusMessage::ErrorMessage)
        throw Failure(Failure::CannotCreateObject, cannot + QStringLiteral(" : ") + errorText(reply));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("o"))
        throw Failure(Failure::CannotCreateObject,
                      cannot
                          + QStringLiteral(" : réponse incorrecte du serveur (signature \"%1\" au lieu de \"o\")")
                                .arg(reply.signature()));
    const QString path = qvariant_cast<QDBusObjectPath>(reply.arguments().front()).path();
    return std::make_shared<DBusObject>(connection, reply.service(), path, progId);
}
