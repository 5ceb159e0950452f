#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

// A script that cannot be used; the message is French and names what is wrong.
struct ScriptError
{
    QString message;
};

// What the server answers to one call.
struct Answer
{
    QVariant result;       // content of the result variant, ready for marshalling
    QStringList arguments; // final values of the arguments
    QString errorName;     // an error reply instead, when not empty
    QString errorMessage;
    int delayMs = 0;
    bool malformed = false; // a reply that breaks the protocol: a lone text
};

// The answers of the server, scripted for tests by a JSON file (docs/automation.md):
// rules applied in order, each matching a method and optionally its n-th call on one object;
// a later matching rule overrides what an earlier one set. Without rules every method gives
// true and leaves its arguments as they came.
class Script
{
public:
    // Throws ScriptError.
    static Script parse(const QByteArray &json);
    // A missing file gives the default answers. Throws ScriptError.
    static Script load(const QString &path);

    Answer answer(const QString &method, int callNumber, const QStringList &arguments) const;

    static QString defaultErrorName() { return QStringLiteral("Tirvano.Automation.Error.Failed"); }

private:
    struct Rule
    {
        QString method;
        int call = 0; // 0: every call
        std::optional<QVariant> result;
        std::optional<QString> error;
        QString errorName;
        std::optional<int> delayMs;
        std::vector<std::optional<QString>> out;
        std::optional<bool> malformed;
    };

    std::vector<Rule> m_rules;
};
