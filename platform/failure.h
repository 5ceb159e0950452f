#pragma once

#include <QString>

#include <exception>
#include <string>

// A run-time failure: a number and a French description, shown to the operator as it stands.
// Components of our own word the description in French; a message from a third-party
// component is wrapped in a French sentence with the original text after it.
class Failure : public std::exception
{
public:
    Failure(int number, QString description);

    int number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.c_str(); }

    static Failure outOfMemory();
    static Failure overflow();
    static Failure divisionByZero();
    static Failure typeMismatch();
    static Failure invalidUseOfNull();
    static Failure invalidPropertyValue();
    static Failure fileNotFound(const QString &path);
    static Failure fileAccess(const QString &path, const QString &reason);

    // Numbers kept from the runtime errors that operators and support staff know.
    enum Number {
        Overflow = 6,
        OutOfMemory = 7,
        DivisionByZero = 11,
        TypeMismatch = 13,
        FileNotFound = 53,
        FileAccess = 75,
        NoDatabase = 91,
        InvalidUseOfNull = 94,
        InvalidPropertyValue = 380,
        CannotCreateObject = 429,
        UnknownMethod = 438,
        AutomationError = 440,
        ServerUnavailable = 462,
        DatabaseError = 3000,
    };

private:
    int m_number;
    QString m_description;
    std::string m_utf8;
};
