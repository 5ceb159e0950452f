#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Our own reader and writer of the profile ("ini") text layout, on Windows-1252 bytes:
//
//     [Section]
//     key=value
//
// Section and key names match whatever the letter case of their ASCII and Latin-1 letters, and
// whatever blanks surround them. A value is stored exactly as it stands, with no quoting and no
// escaping: it is written as "key=value" and read back as everything after the first "=", blanks
// included, so that a value written reads back as the same text. Lines starting with ";" or "#"
// are comments. Where a section or a key appears twice, the first one counts; the others are
// kept untouched.
namespace profile {

// The value of `key` in `section`; empty when the file, the section or the key is missing, or
// when the file cannot be read.
QByteArray readValue(const QString &path, QByteArrayView section, QByteArrayView key);

// Sets `key` in `section` to `value`. A missing file, section or key is created (a new section
// at the end of the file, a new key at the end of its section, before the section's trailing
// blank lines); an existing key's line is replaced where it stands. Every other line is kept as
// it was, in its order; the file is written with CR LF line ends. The file is replaced whole,
// through a temporary file, so that it is never left half written.
// False, with nothing changed on disk, when the file cannot be read or replaced, or when the
// names or the value cannot stand on one line of the layout.
bool writeValue(const QString &path, QByteArrayView section, QByteArrayView key, QByteArrayView value);

} // namespace profile
