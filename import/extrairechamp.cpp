#include "import/extrairechamp.h"

#include "platform/failure.h"

namespace {
constexpr qsizetype kMaxPosition = 32767;
}

QString ExtraireChamp(const QString &ligne, qint16 n, const QString &separateur)
{
    if (n <= 0)
        return {};
    qsizetype fin = 0; // 1-based position of the separator that closed the previous field
    qsizetype debut = 1;
    for (qint16 i = 1; i <= n; ++i) {
        debut = fin + 1;
        if (debut > kMaxPosition)
            throw Failure::overflow();
        const qsizetype found = ligne.indexOf(separateur, debut - 1);
        if (found < 0 || (separateur.isEmpty() && debut > ligne.size()))
            return {};
        fin = found + 1;
        if (fin > kMaxPosition)
            throw Failure::overflow();
    }
    return ligne.mid(debut - 1, fin - debut);
}
