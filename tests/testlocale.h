#pragma once

#include <QLocale>
#include <QString>

// Regional settings of the two kinds an operator may have: decimal comma or decimal point.
inline QLocale testLocale(const QString &name)
{
    if (name == QLatin1String("virgule"))
        return QLocale(QLocale::French, QLocale::France);
    if (name == QLatin1String("arabe")) // decimal separator U+066B, neither comma nor point
        return QLocale(QLocale::Arabic, QLocale::Egypt);
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

// Sets the default locale for the lifetime of a test row and puts the previous one back.
class ScopedLocale
{
public:
    explicit ScopedLocale(const QString &name) : m_previous(QLocale()) { QLocale::setDefault(testLocale(name)); }
    ~ScopedLocale() { QLocale::setDefault(m_previous); }
    ScopedLocale(const ScopedLocale &) = delete;
    ScopedLocale &operator=(const ScopedLocale &) = delete;

private:
    QLocale m_previous;
};
