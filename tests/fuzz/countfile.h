#pragma once

// A count file made of the input; one first byte in 16 puts the rest just before the end of the
// readers' 64 KB buffer, so that line ends and quotes straddle it.
#include "tests/fuzz/fuzzsupport.h"

namespace fuzz {

inline QByteArray countFileBytes(const uint8_t *data, size_t size)
{
    if (size == 0)
        return {};
    QByteArray bytes;
    if ((data[0] & 0xF0) == 0xF0)
        bytes = QByteArray(64 * 1024 - (data[0] & 0x0F), 'x');
    bytes.append(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    return bytes;
}

} // namespace fuzz
