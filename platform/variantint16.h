#pragma once

#include <QVariant>

// The conversion of a server result to a 16-bit signed integer, as the platform converts a
// variant: no value gives 0, true -1, numbers are rounded half to even, texts are read in the
// regional number format. Fails with "Incompatibilité de type" for anything that is not a
// number and with "Dépassement de capacité" outside -32768..32767.
qint16 variantToInt16(const QVariant &value);
