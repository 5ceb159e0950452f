#pragma once

#include "platform/failure.h"

#include <QString>

// What a call fails with, as the operator would read it: its number, a space and its
// description; the empty text when it does not fail.
template <typename Call> QString failureOf(Call &&call)
{
    try {
        call();
    } catch (const Failure &failure) {
        return QString::number(failure.number()) + QLatin1Char(' ') + failure.description();
    }
    return QString();
}
