#pragma once

#include "platform/automation.h"

#include <QDBusConnection>

#include <optional>

// Automation over D-Bus (docs/automation.md): the programmatic identifier is a bus name whose
// server the bus starts on demand; the object's class interface carries the same name.
class DBusAutomation : public AutomationFactory
{
public:
    // The user's session bus, reached at the first object created.
    DBusAutomation();
    // A bus of the caller's choice, e.g. a test bus.
    explicit DBusAutomation(const QDBusConnection &connection);

    std::shared_ptr<AutomationObject> createObject(const QString &progId) override;

    static QString classFactoryInterface() { return QStringLiteral("Tirvano.Automation.ClassFactory"); }
    static QString objectInterface() { return QStringLiteral("Tirvano.Automation.Object"); }

private:
    std::optional<QDBusConnection> m_connection;
};
