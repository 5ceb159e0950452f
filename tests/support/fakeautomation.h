#pragma once

#include "platform/automation.h"
#include "platform/failure.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <functional>

// An in-process stand-in for the management server: records every call, answers as scripted.
class FakeAutomation : public AutomationFactory
{
public:
    struct Call
    {
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
            return m_owner.answer(method, arguments);
        }

    private:
        FakeAutomation &m_owner;
    };

    std::shared_ptr<AutomationObject> createObject(const QString &progId) override
    {
        created.append(progId);
        return std::make_shared<Object>(*this);
    }

    // Every call as "Method argument|argument", with the arguments it was given.
    QStringList journal() const
    {
        QStringList lines;
        for (const Call &c : calls)
            lines << c.method + QLatin1Char(' ') + c.arguments.join(QLatin1Char('|'));
        return lines;
    }

    // The answer of the rules, else true to InitInventaire and nothing to the others. A rule is
    // "Method[#n] <what>", for all its calls or its n-th: "=42" an integer result, "=\"text\""
    // a text result, "!description" a failure, ">text" the first argument rewritten.
    QVariant answer(const QString &method, QStringList &arguments) const
    {
        const auto calledSoFar =
            std::count_if(calls.begin(), calls.end(), [&](const Call &c) { return c.method == method; });
        const QString numbered = method + QLatin1Char('#') + QString::number(calledSoFar);
        QVariant result = method == QLatin1String("InitInventaire") ? QVariant(true) : QVariant();
        for (const QString &rule : rules) {
            const qsizetype space = rule.indexOf(QLatin1Char(' '));
            const QString value = rule.mid(space + 2);
            if (rule.left(space) != method && rule.left(space) != numbered)
                continue;
            if (rule[space + 1] == QLatin1Char('!'))
                throw Failure(Failure::AutomationError, value);
            if (rule[space + 1] == QLatin1Char('>'))
                arguments[0] = value;
            else if (rule[space + 1] == QLatin1Char('='))
                result =
                    value.startsWith(QLatin1Char('"')) ? QVariant(value.mid(1).chopped(1)) : QVariant(value.toInt());
        }
        return result;
    }

    QStringList created;
    QList<Call> calls;
    int releases = 0;
    QStringList rules;
    // method, arguments (changeable, as by reference), number of the call in the run -> result
    std::function<QVariant(const QString &, QStringList &, qsizetype)> onCall;
};
