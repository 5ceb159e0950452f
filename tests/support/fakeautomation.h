#pragma once

#include "platform/automation.h"
#include "platform/failure.h"

#include <QHash>
#include <QStringList>

#include <functional>

// An in-process stand-in for the management server: records every call, answers as scripted.
class FakeAutomation : public AutomationFactory
{
public:
    struct Call {
        QString method;
        QStringList arguments;
    };

    class Object : public AutomationObject
    {
    public:
        explicit Object(FakeAutomation &owner) : m_owner(owner) {}
        ~Object() override { ++m_owner.releases; }
        QVariant call(const QString &method, QStringList &arguments) override
        {
            m_owner.calls.append({method, arguments});
            if (m_owner.onCall)
                return m_owner.onCall(method, arguments, m_owner.calls.size());
            return method == QLatin1String("InitInventaire") ? QVariant(true) : QVariant();
        }

    private:
        FakeAutomation &m_owner;
    };

    std::shared_ptr<AutomationObject> createObject(const QString &progId) override
    {
        created.append(progId);
        if (createFailure)
            throw *createFailure;
        return std::make_shared<Object>(*this);
    }

    QStringList methods() const
    {
        QStringList names;
        for (const Call &c : calls)
            names << c.method;
        return names;
    }

    QStringList created;
    QList<Call> calls;
    int releases = 0;
    std::optional<Failure> createFailure;
    // method, arguments (changeable, as by reference), number of the call in the run -> result
    std::function<QVariant(const QString &, QStringList &, qsizetype)> onCall;
};
