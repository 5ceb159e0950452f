// MyVal on any quantity text, under each regional setting: a finite number or an overflow.
#include "import/myval.h"
#include "tests/fuzz/fuzzsupport.h"

void fuzzOne(const QByteArray &input)
{
    const QString text = QString::fromUtf8(input);
    for (const char *locale : {"virgule", "point", "arabe"}) {
        QLocale::setDefault(testLocale(QString::fromLatin1(locale)));
        const auto value = fuzz::resultOf([&] { return MyVal(text); }, {Failure::Overflow});
        FUZZ_CHECK(!value || (*value && std::isfinite(**value)));
    }
}
