// MyVal on any quantity text, under each regional setting: a finite number or an overflow.
#include "import/myval.h"
#include "tests/fuzz/fuzzsupport.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const char *locale : fuzz::kLocales) {
        fuzz::useLocale(locale);
        try {
            const std::optional<double> value = MyVal(text);
            FUZZ_CHECK(value && std::isfinite(*value));
        } catch (const Failure &failure) {
            fuzz::expectFailure(failure, {Failure::Overflow});
        }
    }
    FUZZ_CHECK(!MyVal(std::nullopt));
    return 0;
}
