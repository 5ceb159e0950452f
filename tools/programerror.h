#pragma once

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>

// How the tools speak of what goes wrong: one line "<program> : <message>" on standard error,
// the program named as its executable is.
inline void complain(const QString &message)
{
    const QByteArray line =
        (QCoreApplication::applicationName() + QStringLiteral(" : ") + message + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
}

// Complains and ends the program: exit code 1 for bad data or a file that cannot be used,
// 2 for a command line that cannot be understood.
[[noreturn]] inline void fail(const QString &message, int exitCode = 1)
{
    complain(message);
    std::exit(exitCode);
}
