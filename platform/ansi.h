#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The single-byte "ANSI" code page of every text file the system reads or writes: Windows-1252.
// Bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the same code
// point, so any byte sequence round-trips. Characters the code page cannot hold become "?".
namespace ansi {

QString decode(QByteArrayView bytes);
QByteArray encode(QStringView text);

} // namespace ansi
