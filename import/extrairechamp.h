#pragma once

#include <QString>

// The n-th field of a count-file line, counted from 1: the text between the (n-1)-th and the
// n-th separator. A field is read only when a separator closes it; a missing field is empty.
// Positions are 16-bit: a separator found beyond position 32,767, or a search that would have
// to start beyond it, fails with an overflow.
QString ExtraireChamp(const QString &ligne, qint16 n, const QString &separateur);
