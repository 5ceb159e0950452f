#include "platform/failure.h"

Failure::Failure(int number, QString description)
    : m_number(number), m_description(std::move(description)), m_utf8(m_description.toStdString())
{
}

Failure Failure::outOfMemory()
{
    return {OutOfMemory, QStringLiteral("Mémoire insuffisante")};
}

Failure Failure::overflow()
{
    return {Overflow, QStringLiteral("Dépassement de capacité")};
}

Failure Failure::divisionByZero()
{
    return {DivisionByZero, QStringLiteral("Division par zéro")};
}

Failure Failure::typeMismatch()
{
    return {TypeMismatch, QStringLiteral("Incompatibilité de type")};
}

Failure Failure::invalidUseOfNull()
{
    return {InvalidUseOfNull, QStringLiteral("Utilisation incorrecte de Null")};
}

Failure Failure::invalidPropertyValue()
{
    return {InvalidPropertyValue, QStringLiteral("Valeur de propriété non valide")};
}

Failure Failure::fileNotFound(const QString &path)
{
    return {FileNotFound, QStringLiteral("Fichier introuvable : ") + path};
}

Failure Failure::fileAccess(const QString &path, const QString &reason)
{
    QString text = QStringLiteral("Erreur d'accès au fichier : ") + path;
    if (!reason.isEmpty())
        text += QStringLiteral(" (") + reason + QLatin1Char(')');
    return {FileAccess, text};
}
