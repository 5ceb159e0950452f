#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

// An automation object of the management application: its methods are called by name and
// every argument is a text passed by reference. Dropping the last reference releases the
// object on its server; no method ends it.
class AutomationObject
{
public:
    virtual ~AutomationObject() = default;

    // Calls `method` with `arguments` in order and waits for the answer without a time limit.
    // The server's final values of the arguments are copied back into `arguments`. The result
    // is the basic value the server gave (bool, uchar, short, ushort, int, uint, qlonglong,
    // qulonglong, double or QString), or an invalid QVariant when it gave no value: what
    // variantToInt16 converts. Throws Failure.
    virtual QVariant call(const QString &method, QStringList &arguments) = 0;
};

// Creates automation objects from their programmatic identifier ("GestionKelmar.ClsProjet").
class AutomationFactory
{
public:
    virtual ~AutomationFactory() = default;

    // Starts the server if needed and returns a fresh object. Throws Failure
    // (Failure::CannotCreateObject) when no object can be had.
    virtual std::shared_ptr<AutomationObject> createObject(const QString &progId) = 0;
};
