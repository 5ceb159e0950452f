#pragma once
// PROVISIONAL: replaced by the automation branch.
#include <QStringList>
#include <QVariant>
#include <memory>
class AutomationObject
{
public:
    virtual ~AutomationObject() = default;
    virtual QVariant call(const QString &method, QStringList &arguments) = 0;
};
class AutomationFactory
{
public:
    virtual ~AutomationFactory() = default;
    virtual std::shared_ptr<AutomationObject> createObject(const QString &progId) = 0;
};
