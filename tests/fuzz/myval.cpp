// MyVal on any quantity text, under each regional setting: a finite number or an overflow.
#include "import/myval.h"
#include "tests/fuzz/fuzzsupport.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    for (const char *locale : {"virgule", "point", "arabe"}) {
        QLocale::setDefault(testLocale(QString::fromLatin1(locale)));
        const auto value = fuzz::resultOf([&] { return MyVal(text); }, {Failure::Overflow});
        FUZZ_CHECK(!value || (*value && std::isfinite(**value)));
    }
    FUZZ_CHECK(!MyVal(std::nullopt));
    return 0;
}
